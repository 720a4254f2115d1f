#include "installer/installer_wait.h"

#include "messages/code_meaning.h"
#include "messages/run_log.h"

namespace eldoris {

namespace {

using State = InstallerMutexWait::State;

// The msiexec processes that run, for the log: who may hold the installer.
std::wstring whoRuns(Platform& platform) {
  const auto ids = platform.processIds(L"msiexec.exe");
  if (!ids) return L"which programs run cannot be told";
  if (ids->empty()) return L"no msiexec.exe runs";
  std::wstring text = L"msiexec.exe runs as process";
  for (std::size_t i = 0; i < ids->size(); ++i)
    text += (i == 0 ? L" " : L", ") + decimal((*ids)[i]);
  return text;
}

}  // namespace

InstallerResult waitForWindowsInstaller(Platform& platform, const std::wstring& program) {
  if (!platform.installerWaitSeconds) return code::success;  // a person decides
  const InstallerMutexWait now = platform.waitForInstallerMutex(0);
  if (now.state == State::free) return code::success;
  if (now.state == State::unknown) {
    logEvent(platform, L"Windows Installer: whether it is busy cannot be told (" +
                           windowsErrorMeaning(now.error) + L"); " + program + L" starts");
    return code::success;
  }
  const std::uint32_t bound = *platform.installerWaitSeconds;
  const std::wstring busy =
      L"Windows Installer busy: Global\\_MSIExecute is held by another installation (" +
      whoRuns(platform) + L")";
  if (bound == 0) {
    logEvent(platform, busy + L"; " + program + L" starts without waiting (-msiwait 0)");
    return code::success;
  }
  logEvent(platform,
           busy + L"; waiting up to " + decimal(bound) + L" s before " + program + L" starts");
  const InstallerMutexWait waited = platform.waitForInstallerMutex(bound * 1000);
  switch (waited.state) {
    case State::free:
      logEvent(platform, L"Windows Installer free after " + secondsText(waited.milliseconds));
      return code::success;
    case State::unknown:
      logEvent(platform, L"Windows Installer: the wait failed after " +
                             secondsText(waited.milliseconds) + L" (" +
                             windowsErrorMeaning(waited.error) + L"); " + program + L" starts");
      return code::success;
    case State::held:
      break;
  }
  logEvent(platform, L"Windows Installer still busy after " + secondsText(waited.milliseconds) +
                         L": " + program + L" is not started (" + whoRuns(platform) + L")");
  return code::installAlreadyRunning;
}

}  // namespace eldoris
