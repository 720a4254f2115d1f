#include "provider/provider_setup.h"

#include "installer/child_run.h"
#include "installer/installer_wait.h"
#include "installer/log_name.h"
#include "installer/package_search.h"
#include "installer/text_search.h"
#include "messages/code_meaning.h"
#include "messages/message_ids.h"
#include "messages/messages.h"
#include "messages/run_log.h"

namespace eldoris {

std::wstring buildProviderCommandLine(const std::wstring& subdirectory, const std::wstring& logPath,
                                      const std::wstring& extraArguments, bool silent,
                                      bool reinstall, bool noUpdate, bool desktopVisible) {
  std::wstring arguments = extraArguments;
  if (!logPath.empty()) arguments.insert(0, L"/Lv! \"\"\"" + logPath + L"\"\"\" ");
  if (!isQuiet(arguments)) arguments.insert(0, uiLevel(desktopVisible) + std::wstring(L" "));

  std::wstring line = subdirectory + L"\\Setup.exe -args \"" + arguments + L"\"";
  line += L" -noreboot -root";
  if (silent) line += L" -silent";
  if (reinstall) line += L" -reinstall";
  if (noUpdate) line += L" -noupdate";
  return line;
}

bool isProviderSuccess(std::uint32_t exitCode) {
  switch (exitCode) {
    case 0:
    case 3:
    case 4:
    case 8:
    case code::userExit:
      return true;
    default:
      return false;
  }
}

namespace {

// The setup program by its full path, so that no search path decides which
// Setup.exe an elevated run starts where the current directory lacks it.
ChildRun runSetup(RunContext& run, const std::wstring& setup, const std::wstring& commandLine) {
  const TextRead current = run.platform.currentDirectory();
  if (current.result != 0) {
    return {false, failedCall(run, L"reading the current directory", current.result)};
  }
  return runLoggedChild(run, joinPath(current.text, setup), commandLine, setup, [](std::uint32_t) {
    return std::wstring(L"the provider's own, read its log");
  });
}

}  // namespace

InstallerResult runProviderSetup(RunContext& run, const std::wstring& subdirectory,
                                 const std::wstring& extraArguments, bool silent, bool reinstall,
                                 bool noUpdate) {
  logEvent(run, L"provider setup in " + subdirectory);
  const std::wstring setup = subdirectory + L"\\Setup.exe";
  InstallerResult result = holdRunLock(run);
  if (result != 0) return result;
  result = waitForWindowsInstaller(run, setup);
  if (result != 0) return result;

  std::wstring logPath;
  if (!hasLogOption(extraArguments)) {
    result = makeLogPath(run, subdirectory, silent, logPath);
    // Without TMP message 144 has been shown; a log that cannot be made is reported below.
    if (result != 0 && result != code::fileExists && result != code::logFailure) return result;
  }

  if (result == 0) {
    const ChildRun child =
        runSetup(run, setup,
                 buildProviderCommandLine(subdirectory, logPath, extraArguments, silent, reinstall,
                                          noUpdate, run.desktopVisible));
    if (child.started && isProviderSuccess(child.code)) {
      logEvent(run, L"provider setup in " + subdirectory + L": done");
      return code::success;
    }
    result = child.code;
  }

  logEvent(run, L"provider setup in " + subdirectory + L": failed with " + decimal(result));
  std::wstring text;
  composeFailureText(run.platform, msg::providerSetupFailed, result, logPath, text);
  showBoxUnlessSilent(run, silent, msg::providerSetupFailed, text,
                      boxCaption(run, msg::errorCaption, silent), box::iconError);
  return result;
}

}  // namespace eldoris
