#include "provider/provider_setup.h"

#include "installer/child_run.h"
#include "installer/log_name.h"
#include "installer/text_search.h"
#include "messages/message_ids.h"
#include "messages/messages.h"
#include "messages/run_log.h"

namespace eldoris {

std::wstring buildProviderCommandLine(const std::wstring& subdirectory, const std::wstring& logPath,
                                      const std::wstring& extraArguments, bool silent,
                                      bool reinstall, bool noUpdate) {
  std::wstring arguments = extraArguments;
  if (!logPath.empty()) arguments.insert(0, L"/Lv! \"\"\"" + logPath + L"\"\"\" ");
  if (!isQuiet(arguments)) arguments.insert(0, L"/qb ");

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

InstallerResult runProviderSetup(Platform& platform, const std::wstring& subdirectory,
                                 const std::wstring& extraArguments, bool silent, bool reinstall,
                                 bool noUpdate) {
  logEvent(platform, L"provider setup in " + subdirectory);
  std::wstring logPath;
  if (!hasLogOption(extraArguments)) {
    const InstallerResult made = makeLogPath(platform, subdirectory, silent, logPath);
    if (made != 0) return made;
  }

  const ChildRun run = runLoggedChild(
      platform,
      buildProviderCommandLine(subdirectory, logPath, extraArguments, silent, reinstall, noUpdate));
  if (run.started && isProviderSuccess(run.code)) {
    logEvent(platform, L"provider setup in " + subdirectory + L": done");
    return code::success;
  }

  // A start that failed with error 0 must still end the run as a failure.
  const InstallerResult result = run.code != 0 ? run.code : code::functionFailed;
  logEvent(platform, L"provider setup in " + subdirectory + L": failed with " + decimal(result));
  std::wstring text;
  composeFailureText(platform, msg::providerSetupFailed, result, logPath, text);
  showBoxUnlessSilent(platform, silent, msg::providerSetupFailed, text,
                      messageText(platform, msg::errorCaption), box::iconError);
  return result;
}

}  // namespace eldoris
