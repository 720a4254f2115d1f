#include "driver/run.h"

#include "driver/admin_check.h"
#include "driver/one_run.h"
#include "driver/os_check.h"
#include "messages/audience.h"
#include "messages/code_meaning.h"
#include "messages/message_ids.h"
#include "messages/messages.h"
#include "messages/run_log.h"
#include "options/options.h"
#include "plugin/install_plugin.h"
#include "provider/provider_setup.h"
#include "restart/restart_marker.h"

namespace eldoris {

namespace {

MessageId byProviders(const InstallOptions& options, MessageId both, MessageId providerOnly,
                      MessageId uecOnly, MessageId neither) {
  if (options.installProvider) return options.installUecProvider ? both : providerOnly;
  return options.installUecProvider ? uecOnly : neither;
}

// The run's boxes share one caption. A text that cannot be loaded is never
// shown in another's place: the box is failed (showBoxUnlessSilent).
class Messenger {
 public:
  explicit Messenger(RunContext& run)
      : run_(run), captionError_(loadMessage(run_.platform, msg::productTitle, caption_)) {}
  // With `silent` the box is only logged, and `assumed` taken as its answer.
  BoxAnswer show(MessageId id, unsigned style, bool silent, int assumed = box::idOk) {
    std::wstring text;
    const std::uint32_t error = loadMessage(run_.platform, id, text);
    return showBoxUnlessSilent(run_, silent, id, text, caption_, style, assumed, error);
  }
  BoxAnswer showText(MessageId id, const std::wstring& text, unsigned style, bool silent) {
    return showBoxUnlessSilent(run_, silent, id, text, caption_, style, box::idOk);
  }
  // Why the caption could not be loaded (the boxes then have none); 0 where it was.
  std::uint32_t captionError() const { return captionError_; }

 private:
  RunContext& run_;
  std::wstring caption_;
  std::uint32_t captionError_;
};

// The plug-in's failure box, with the code and the log where there is one.
void showPluginFailure(Platform& platform, Messenger& messenger, bool silent,
                       InstallerResult result, const std::wstring& logPath) {
  std::wstring text;
  composeFailureText(platform, msg::pluginInstallFailed, result, logPath, text);
  messenger.showText(msg::pluginInstallFailed, text, box::iconError, silent);
}

// A provider setup that asks for a restart has stopped the run before the
// plug-in. Its 3010 or 1641 would read as success to a deployment tool that
// reads the codes as -restartcodes promises: there the run ends with a code
// that tools read as a failure, and the log says what to do.
InstallerResult providerFailure(RunContext& run, const InstallOptions& options,
                                Messenger& messenger, InstallerResult result) {
  // Held by another run where a person is asked: the plug-in's failure box
  // says why the run ended, as when msiexec answers 1618.
  if (run.lockRefused) showPluginFailure(run.platform, messenger, options.silent, result, L"");
  const bool asksForRestart = result == code::rebootInitiated || result == code::rebootRequired ||
                              result == code::restartRequired;
  if (!options.restartCodes || !asksForRestart) return result;
  logEvent(run, L"the provider setup asks for a restart (" + decimal(result) +
                    L") before the plug-in is installed: restart the computer, then run the "
                    L"program again");
  return providerRestartResult;
}

InstallerResult finishWithRestartDecision(RunContext& run, const InstallOptions& options,
                                          Messenger& messenger, RunLog& log) {
  run.codeSource.reset();
  // With -restartcodes a deployment tool learns of the restart from the exit
  // code, as from msiexec's; without it the codes stay as they always were.
  const InstallerResult notStarted = options.restartCodes ? code::rebootRequired : code::success;
  const InstallerResult started = options.restartCodes ? code::rebootInitiated : code::success;
  const InstallerResult failed = options.restartCodes ? code::rebootRequired : restartFailedResult;

  const MarkerState marker = forgetStaleRestartMarker(run);
  // A marker that cannot be read may hold a due restart: the run says so
  // rather than guess, unless this run's installer asked for one anyway.
  if (marker.kind == MarkerState::Kind::unknown && !run.restartAsked) {
    return failedCall(run, L"reading the restart marker", marker.error);
  }
  const bool markerPresent = marker.kind != MarkerState::Kind::absent;
  const bool due = markerPresent || run.restartAsked;
  if (!due || options.noRestart) {
    logEvent(run, !due            ? L"restart: none due"
                  : markerPresent ? L"restart: not offered (-norestart), the marker stays"
                                  : L"restart: not offered (-norestart), and the marker could not "
                                    L"be written: the exit code, 3010, says it is due");
    const MessageId notice = restartBrowserNotice(options);
    const BoxAnswer shown = messenger.show(notice, box::ok, options.silent);
    if (shown.failed()) return boxNotShown(run, notice, shown);
    if (!due) return code::success;
    return markerPresent ? notStarted : code::rebootRequired;
  }

  logEvent(run, L"restart: due");
  // Never box::notAsked: the confirmation, which comes first, ends such a run.
  const MessageId question = restartQuestion(options);
  const BoxAnswer answer =
      messenger.show(question, box::yesNo | box::iconWarning, options.silent, box::idYes);
  // No answer: the marker stays, and a later run offers the restart again.
  if (answer.failed()) return boxNotShown(run, question, answer);
  if (!answer.is(box::idYes)) {
    // Without the lock, another run may be writing it: left, and offered again later.
    if (holdRunLock(run) == 0) {
      logEvent(run, L"restart: declined; the marker goes");
      deleteRestartMarker(run);
    }
    return notStarted;
  }
  // Another run installing now would be broken off: it is not started then.
  const InstallerResult alone = holdRunLock(run);
  // A restart, even one asked at once, can still be aborted: a marker of
  // this start stays through it, since the restart itself makes it stale.
  // One without that mark would outlive the restart (and, with -silent,
  // restart the computer at every later run): it goes first, as it always did.
  const bool goesFirst = alone == 0 && markerPresent && !marker.endsWithThisStart;
  if (goesFirst) {
    logEvent(run, L"restart: the marker, which a restart would not make stale, goes first");
    deleteRestartMarker(run);
  }
  // Where it is not there for a later run; without the lock another run may
  // be writing it, and it is left as it is.
  const bool putBack = alone == 0 && (goesFirst || !markerPresent);
  RestartResult result{RestartResult::Kind::failed, alone};
  if (alone == 0) {
    logEvent(run, L"restart: requested now through " +
                      std::wstring(restartCallName(restartCallFor(versionOf(run)))) +
                      L"; once it has started the log ends here, exit code " + decimal(started) +
                      L" (" + decimal(failed) + L" with box 111 if it cannot be started)");
    result = requestRestart(run);
  }
  if (result.kind == RestartResult::Kind::started) {
    log.close();
    return started;
  }
  if (result.kind == RestartResult::Kind::underWay ||
      result.kind == RestartResult::Kind::scheduled) {
    // Another program's shutdown may still be aborted: the marker stays, or
    // is put back where it went, and a later run offers the restart again.
    if (putBack) {
      logEvent(run, L"restart: the marker is put back until that one comes");
      createRestartMarker(run);
    }
    messenger.show(msg::restartUnderWay, box::ok, options.silent);
    return result.kind == RestartResult::Kind::underWay ? started : failed;
  }
  // The restart is still due: the next run offers it again.
  logEvent(run, L"restart: could not be started (" + windowsErrorMeaning(result.error) +
                    (putBack ? L"); the marker is put back" : L"); the marker stays"));
  if (putBack) createRestartMarker(run);
  const BoxAnswer shown = messenger.show(msg::restartFailed, box::ok, options.silent);
  // 7 (3010) says the restart is due: a box that could not be shown changes nothing of that.
  if (shown.failed()) logEvent(run, L"the run still ends with " + decimal(failed));
  return failed;
}

std::wstring programVersion() {
#ifdef ELDORIS_VERSION_TEXT
  return L"" ELDORIS_VERSION_TEXT;
#else
  return L"(version unknown)";
#endif
}

void logStart(RunContext& run, const InstallOptions& options, const Audience& audience) {
  const TextRead program = run.platform.programPath();
  logEvent(run, L"eldoris-setup " + programVersion() + L": " +
                    (program.result == 0 ? program.text
                                         : L"path unreadable, error " + decimal(program.result)));
  const TextRead directory = run.platform.currentDirectory();
  logEvent(run, L"current directory: " + (directory.result == 0
                                              ? directory.text
                                              : L"unreadable, error " + decimal(directory.result)));
  logEvent(run, L"command line: " + run.platform.commandLine());
  logEvent(run, L"options: " + describeOptions(options));
  logEvent(run, L"desktop: " + audience.why);
}

// Where nobody sees the help, the exit code tells a typo from a request:
// msiexec's own code for a bad command line, which no deployment tool retries.
InstallerResult helpNotShown(RunContext& run, const ParseResult& parsed) {
  const bool asked = parsed.outcome == ParseOutcome::helpRequested;
  logEvent(run, (asked ? L"help asked for with " : L"argument not understood: ") +
                    quoted(parsed.argument) + L"; the help is not shown (no visible desktop)");
  return asked ? code::success : code::invalidCommandLine;
}

InstallerResult runSteps(RunContext& run, InstallOptions& options, Messenger& messenger,
                         RunLog& log) {
  const AdminAnswer admin = askWhetherAdministrator(run.platform);
  if (admin.error != 0) return failedCall(run, L"reading " + std::wstring(admin.how), admin.error);
  logEvent(run, (admin.admin ? L"administrator: yes (" : L"administrator: no (") +
                    std::wstring(admin.how) + L")");
  if (!admin.admin) {
    messenger.show(msg::mustRunAsAdministrator, box::iconError, options.silent);
    return 1;
  }

  const InstallerResult system = checkOperatingSystem(run, options.silent);
  if (system != 0) return system;

  // The run lock is taken before the first change, and let go while a box
  // waits for a person (holdRunLock, letGoOfRunLock).
  const MessageId question = confirmationMessage(options);
  const BoxAnswer confirmed = messenger.show(question, box::yesNo, options.silent, box::idYes);
  // A question nobody answered is no Yes: nothing is installed.
  if (confirmed.failed()) return boxNotShown(run, question, confirmed);
  if (confirmed.is(box::notAsked)) return code::requiresInteractiveDesktop;
  if (confirmed.is(box::idNo)) return code::success;

  // Without -silent only where a person sees it: elsewhere the question above
  // has ended the run.
  if (options.selectDialog && options.installProvider) {
    if (options.silent) {
      logEvent(run, L"configuration dialog: not shown (-silent)");
    } else {
      logEvent(run, L"configuration dialog: shown");
      letGoOfRunLock(run);
      std::uint32_t error = 0;
      const DialogOutcome outcome = run.platform.showConfigurationDialog(options, error);
      if (outcome == DialogOutcome::cancelled) {
        logEvent(run, L"configuration dialog: cancelled");
        return code::success;
      }
      if (outcome == DialogOutcome::failed) {
        // Nobody chose «Далее»: nothing is installed.
        const InstallerResult result = error != 0 ? failedCallResult(error) : internalErrorResult;
        noteCodeSource(run, result,
                       L"the configuration dialog could not be shown: " +
                           windowsErrorMeaning(error != 0 ? error : result));
        return result;
      }
      logEvent(run, L"configuration dialog: Далее; protection class " +
                        quoted(options.protectionClass) + L", language " +
                        quoted(options.providerLanguage));
    }
  }

  // Each step's own failure, or one whose source it notes: never an earlier step's.
  run.codeSource.reset();
  if (options.installProvider) {
    const InstallerResult result = runProviderSetup(
        run, L"csp", options.providerArgs, options.silent, options.reinstall, options.noUpdate);
    if (result != 0) return providerFailure(run, options, messenger, result);
  }
  run.codeSource.reset();
  if (options.installUecProvider) {
    const InstallerResult result = runProviderSetup(
        run, L"ucsp", options.uecProviderArgs, options.silent, options.reinstall, options.noUpdate);
    if (result != 0) return providerFailure(run, options, messenger, result);
  }

  // The Windows Installer's own interface is off for this process's calls, the
  // first of which is in installPlugin; set only now, because it loads msi.dll,
  // which the question and a declined run need not wait for.
  const std::uint32_t loaded = run.platform.msiSetInternalUiNone();
  if (loaded != 0) return failedCall(run, L"loading msi.dll from the system directory", loaded);
  logEvent(run, L"Windows Installer: its own interface set to none");

  std::wstring logPath;
  run.codeSource.reset();
  const InstallerResult plugin =
      installPlugin(run, options.pluginArgs, options.silent, logPath, options.reinstall);
  if (plugin == code::userExit) return plugin;
  if (plugin != 0) {
    showPluginFailure(run.platform, messenger, options.silent, plugin, logPath);
    return plugin;
  }

  return finishWithRestartDecision(run, options, messenger, log);
}

}  // namespace

MessageId confirmationMessage(const InstallOptions& options) {
  return byProviders(options, msg::confirmPluginAndBothProviders, msg::confirmPluginAndProvider,
                     msg::confirmPluginAndUecProvider, msg::confirmPlugin);
}

MessageId restartQuestion(const InstallOptions& options) {
  return byProviders(options, msg::restartNowWithBothProviders, msg::restartNowWithProvider,
                     msg::restartNowWithUecProvider, msg::restartNow);
}

MessageId restartBrowserNotice(const InstallOptions& options) {
  return byProviders(options, msg::restartBrowserWithBothProviders, msg::restartBrowserWithProvider,
                     msg::restartBrowserWithUecProvider, msg::restartBrowser);
}

namespace {

// What an exit code of the program's own means, as the README's table of
// exit codes has it.
std::wstring ownCodeMeaning(InstallerResult result) {
  switch (result) {
    case code::success:
      return L"success";
    case 1:
      return L"not run as administrator";
    case 2:
      return L"the Windows version could not be read";
    case 3:
      return L"Windows 2000 without Service Pack 4";
    case 4:
      return L"Windows XP without Service Pack 2";
    case 5:
      return L"Windows Server 2003 without Service Pack 2";
    case windowsTooOldResult:
      return L"Windows older than 2000";
    case restartFailedResult:
      return L"a restart was due but could not be started: restart by hand";
    case code::fileExists:
      return L"every name for an installer's log in TMP is taken by files the program did not "
             L"make";
    case code::invalidCommandLine:
      return L"an argument was not understood, and nobody can see the help";
    case code::installAlreadyRunning:
      return L"another run of the program, or another installation keeping the Windows Installer "
             L"busy, went on past the wait (-msiwait), or a person is asked: retry later";
    case code::logFailure:
      return L"a log could not be made: the one -log names, or an installer's (the lines above "
             L"say which)";
    case code::envVarNotFound:
      return L"TMP is not set";
    case code::noData:
      return L"no plug-in package found beside the program";
    case providerRestartResult:
      return L"a provider setup asks for a restart before the plug-in is installed "
             L"(-restartcodes): restart the computer, then run the program again";
    case code::userExit:
      return L"the user declined";
    case code::requiresInteractiveDesktop:
      return L"a question must be asked, and nobody can see the desktop: use -silent";
    case code::rebootInitiated:
      return L"success; the restart has been started (-restartcodes)";
    case code::rebootRequired:
      return L"success; a restart is due (-restartcodes)";
    default:
      return L"a code the program does not give";
  }
}

// The last line of the log: whose code the run ends with, and what it means.
std::wstring exitCodeMeaning(const RunContext& run, InstallerResult result) {
  if (result != 0 && run.codeSource && run.codeSource->code == result) {
    return run.codeSource->description;
  }
  return L"the program's own: " + ownCodeMeaning(result);
}

}  // namespace

InstallerResult runBootstrapper(Platform& platform, const std::wstring& commandLineTail) {
  // Before the command line: the help is a box too.
  RunContext run(platform);
  const Audience audience = whoCanSee(platform.desktopView(), versionOf(run));
  run.desktopVisible = audience.visible;
  Messenger messenger(run);
  InstallOptions options;
  ParseResult parsed;
  if (!commandLineTail.empty()) parsed = parseCommandLine(platform, options);
  const bool helpAsked = parsed.outcome == ParseOutcome::helpRequested ||
                         parsed.outcome == ParseOutcome::notUnderstood;
  if (helpAsked && audience.visible) {
    const Answer<int> shown = showHelp(platform, options);
    return shown.failed() ? failedCallResult(shown.error) : code::success;
  }

  RunLog log(platform, options.logFile);
  const AttachedLog attached(run, log);
  logStart(run, options, audience);
  if (messenger.captionError() != 0) {
    logEvent(run, L"the boxes' caption cannot be loaded (" +
                      windowsErrorMeaning(messenger.captionError()) + L"): they have none");
  }
  // Where nobody is asked anything, a busy Windows Installer is waited for.
  if (options.silent || !audience.visible) {
    run.installerWaitSeconds = options.installerWaitSeconds;
  }
  if (log.accountError() != 0) {
    logEvent(run, L"-log " + quoted(options.logFile) +
                      L": the account the run is cannot be read (" +
                      windowsErrorMeaning(log.accountError()) +
                      L"): its folders are trusted where SYSTEM, the Administrators or "
                      L"TrustedInstaller own them");
  }
  if (log.inRequestedFolder()) {
    // Named after the run's own log, so that a run whose log is beside
    // another run's never touches that run's installers' logs either.
    run.installerLogStem = withoutExtension(log.path());
    if (log.waitsForTheName()) {
      logEvent(run, L"-log " + quoted(options.logFile) + L": " + log.requested() +
                        L" holds the log of a run before this one: this log is beside it, " +
                        log.path() +
                        L", until this run changes the computer, when it takes the name");
    }
  } else if (!log.notUsed().empty()) {
    logEvent(run, L"-log " + quoted(options.logFile) + L": " + log.notUsed() +
                      L"; this log and the installers' are in TMP instead");
  }
  run.takeRunLock = &takeTheRunLock;
  InstallerResult result = code::logFailure;
  if (log.refused()) {
    logEvent(run, L"-log " + quoted(options.logFile) + L": " + log.requested() +
                      L" cannot be written (error " + decimal(*log.refused()) +
                      L"); nothing is installed");
    // A person sees why: the plug-in's failure box, with the code.
    showPluginFailure(platform, messenger, options.silent, result, L"");
  } else {
    result = parsed.outcome == ParseOutcome::unreadable
                 ? failedCall(run,
                              L"splitting the command line (CommandLineToArgvW): no option "
                              L"is read, and nothing is done",
                              parsed.error)
             : helpAsked ? helpNotShown(run, parsed)
                         : runSteps(run, options, messenger, log);
  }
  logEvent(run, L"exit code " + decimal(result) + L": " + exitCodeMeaning(run, result));
  return result;
}

}  // namespace eldoris
