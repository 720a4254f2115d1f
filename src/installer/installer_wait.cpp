#include "installer/installer_wait.h"

#include "messages/code_meaning.h"
#include "messages/run_log.h"

namespace eldoris {

namespace {

using State = InstallerWait::State;

// The msiexec processes that run, for the log: who may hold the installer.
std::wstring whoRuns(RunContext& run) {
  const auto ids = run.platform.processIds(L"msiexec.exe");
  if (!ids) return L"which programs run cannot be told";
  if (ids->empty()) return L"no msiexec.exe runs";
  std::wstring text = L"msiexec.exe runs as process";
  for (std::size_t i = 0; i < ids->size(); ++i)
    text += (i == 0 ? L" " : L", ") + decimal((*ids)[i]);
  return text;
}

// A service whose status cannot be read leaves the mutex, as on systems
// without the service's sign.
InstallerWait look(RunContext& run, InstallerBusySign& sign, std::uint32_t milliseconds) {
  const InstallerWait wait = run.platform.waitForInstaller(sign, milliseconds);
  if (sign == InstallerBusySign::mutex || wait.state != State::unknown) return wait;
  logEvent(run, L"Windows Installer: its service's status cannot be read (" +
                    windowsErrorMeaning(wait.error) + L"); Global\\_MSIExecute is looked at");
  sign = InstallerBusySign::mutex;
  return run.platform.waitForInstaller(sign, milliseconds);
}

}  // namespace

InstallerBusySign installerBusySignFor(const std::optional<OsVersion>& version) {
  return atLeastWindowsXp(version) ? InstallerBusySign::serviceStatus : InstallerBusySign::mutex;
}

InstallerResult waitForWindowsInstaller(RunContext& run, const std::wstring& program) {
  if (!run.installerWaitSeconds) return code::success;  // a person decides
  InstallerBusySign sign = installerBusySignFor(versionOf(run));
  const InstallerWait now = look(run, sign, 0);
  if (now.state == State::free) return code::success;
  if (now.state == State::unknown) {
    logEvent(run, L"Windows Installer: whether it is busy cannot be told (" +
                      windowsErrorMeaning(now.error) + L"); " + program + L" starts");
    return code::success;
  }
  const std::uint32_t bound = *run.installerWaitSeconds;
  const std::wstring busy =
      (sign == InstallerBusySign::mutex
           ? L"Windows Installer busy: Global\\_MSIExecute is held by another installation ("
           : L"Windows Installer busy: its service is running another installation (") +
      whoRuns(run) + L")";
  if (bound == 0) {
    logEvent(run, busy + L"; " + program + L" starts without waiting (-msiwait 0)");
    return code::success;
  }
  logEvent(run, busy + L"; waiting up to " + decimal(bound) + L" s before " + program + L" starts");
  const InstallerWait waited = run.platform.waitForInstaller(sign, bound * 1000);
  switch (waited.state) {
    case State::free:
      logEvent(run, L"Windows Installer free after " + secondsText(waited.milliseconds));
      return code::success;
    case State::unknown:
      logEvent(run, L"Windows Installer: the wait failed after " +
                        secondsText(waited.milliseconds) + L" (" +
                        windowsErrorMeaning(waited.error) + L"); " + program + L" starts");
      return code::success;
    case State::held:
      break;
  }
  logEvent(run, L"Windows Installer still busy after " + secondsText(waited.milliseconds) + L": " +
                    program + L" is not started (" + whoRuns(run) + L")");
  return code::installAlreadyRunning;
}

}  // namespace eldoris
