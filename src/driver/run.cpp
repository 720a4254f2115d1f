#include "driver/run.h"

#include "driver/os_check.h"
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

// The run's boxes share one caption and one text buffer: an id missing from
// the string table leaves the previous text in place.
class Messenger {
 public:
  explicit Messenger(Platform& platform) : platform_(platform) {
    loadMessage(platform_, msg::productTitle, caption_);
  }
  // With `silent` the box is only logged, and `assumed` taken as its answer.
  int show(MessageId id, unsigned style, bool silent, int assumed = box::idOk) {
    loadMessage(platform_, id, text_);
    return showBoxUnlessSilent(platform_, silent, id, text_, caption_, style, assumed);
  }
  int showText(MessageId id, const std::wstring& text, unsigned style, bool silent) {
    text_ = text;
    return showBoxUnlessSilent(platform_, silent, id, text_, caption_, style, box::idOk);
  }

 private:
  Platform& platform_;
  std::wstring caption_;
  std::wstring text_;
};

InstallerResult finishWithRestartDecision(Platform& platform, const InstallOptions& options,
                                          Messenger& messenger, RunLog& log) {
  bool markerPresent = false;
  isRestartMarkerPresent(platform, markerPresent);
  if (!markerPresent || options.noRestart) {
    logEvent(platform, markerPresent ? L"restart: not offered (-norestart), the marker stays"
                                     : L"restart: none due");
    messenger.show(restartBrowserNotice(options), box::ok, options.silent);
    return code::success;
  }

  logEvent(platform, L"restart: due; the marker goes before it is offered");
  deleteRestartMarker(platform);
  if (messenger.show(restartQuestion(options), box::yesNo | box::iconWarning, options.silent,
                     box::idYes) != box::idYes) {
    logEvent(platform, L"restart: declined");
    return code::success;
  }
  logEvent(platform,
           L"restart: requested now; the log ends here (exit code 0, or 7 with "
           L"box 111 if it cannot be started)");
  log.close();
  if (platform.restartSystem()) return code::success;
  messenger.show(msg::restartFailed, box::ok, options.silent);
  return restartFailedResult;
}

std::wstring programVersion() {
#ifdef ELDORIS_VERSION_TEXT
  return L"" ELDORIS_VERSION_TEXT;
#else
  return L"(version unknown)";
#endif
}

void logStart(Platform& platform, const InstallOptions& options) {
  const TextRead program = platform.programPath();
  logEvent(platform,
           L"eldoris-setup " + programVersion() + L": " +
               (program.result == 0 ? program.text
                                    : L"path unreadable, error " + decimal(program.result)));
  const TextRead directory = platform.currentDirectory();
  logEvent(platform,
           L"current directory: " + (directory.result == 0
                                         ? directory.text
                                         : L"unreadable, error " + decimal(directory.result)));
  logEvent(platform, L"command line: " + platform.commandLine());
  logEvent(platform, L"options: " + describeOptions(options));
}

InstallerResult runSteps(Platform& platform, InstallOptions& options, Messenger& messenger,
                         RunLog& log) {
  const bool admin = platform.isUserAnAdmin();
  logEvent(platform, admin ? L"administrator: yes" : L"administrator: no");
  if (!admin) {
    messenger.show(msg::mustRunAsAdministrator, box::iconError, options.silent);
    return 1;
  }

  const InstallerResult system = checkOperatingSystem(platform, options.silent);
  if (system != 0) return system;

  if (messenger.show(confirmationMessage(options), box::yesNo, options.silent, box::idYes) ==
      box::idNo) {
    return code::success;
  }

  if (options.selectDialog && options.installProvider) {
    if (options.silent) {
      logEvent(platform, L"configuration dialog: not shown (-silent)");
    } else {
      logEvent(platform, L"configuration dialog: shown");
      if (platform.showConfigurationDialog(options) == DialogOutcome::cancelled) {
        logEvent(platform, L"configuration dialog: cancelled");
        return code::success;
      }
      logEvent(platform, L"configuration dialog: Далее; protection class " +
                             quoted(options.protectionClass) + L", language " +
                             quoted(options.providerLanguage));
    }
  }

  if (options.installProvider) {
    const InstallerResult result =
        runProviderSetup(platform, L"csp", options.providerArgs, options.silent, options.reinstall,
                         options.noUpdate);
    if (result != 0) return result;
  }
  if (options.installUecProvider) {
    const InstallerResult result =
        runProviderSetup(platform, L"ucsp", options.uecProviderArgs, options.silent,
                         options.reinstall, options.noUpdate);
    if (result != 0) return result;
  }

  // The Windows Installer's own interface is off for this process's calls, the
  // first of which is in installPlugin; set only now, because it loads msi.dll,
  // which the question and a declined run need not wait for.
  logEvent(platform, L"Windows Installer: its own interface set to none");
  platform.msiSetInternalUiNone();

  std::wstring logPath;
  const InstallerResult plugin =
      installPlugin(platform, options.pluginArgs, options.silent, logPath, options.reinstall);
  if (plugin == code::userExit) return plugin;
  if (plugin != 0) {
    std::wstring text;
    composeFailureText(platform, msg::pluginInstallFailed, plugin, logPath, text);
    messenger.showText(msg::pluginInstallFailed, text, box::iconError, options.silent);
    return plugin;
  }

  return finishWithRestartDecision(platform, options, messenger, log);
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

// What an exit code means, as the README's table of exit codes has it.
std::wstring exitCodeMeaning(InstallerResult result) {
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
    case code::envVarNotFound:
      return L"TMP is not set";
    case code::noData:
      return L"no plug-in package found beside the program";
    case code::userExit:
      return L"the user declined";
    case 1618:
      return L"another installation is running: retry later";
    default:
      return L"the error code of the Windows Installer or of a provider setup, or the Windows "
             L"error of a program that could not be started";
  }
}

}  // namespace

InstallerResult runBootstrapper(Platform& platform, const std::wstring& commandLineTail) {
  Messenger messenger(platform);
  InstallOptions options;
  if (!commandLineTail.empty() &&
      parseCommandLine(platform, options) == ParseOutcome::helpRequested) {
    showHelp(platform, options);
    return code::success;
  }

  RunLog log(platform);
  const AttachedLog attached(platform, log);
  logStart(platform, options);
  const InstallerResult result = runSteps(platform, options, messenger, log);
  logEvent(platform, L"exit code " + decimal(result) + L": " + exitCodeMeaning(result));
  return result;
}

}  // namespace eldoris
