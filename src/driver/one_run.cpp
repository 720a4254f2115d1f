#include "driver/one_run.h"

#include <string>

#include "messages/code_meaning.h"
#include "messages/run_log.h"

namespace eldoris {

AccessDescription runLockAccess() {
  constexpr std::uint32_t mutexAllAccess = 0x001F0001;  // MUTEX_ALL_ACCESS
  return {
      {{Trustee::system, mutexAllAccess, false}, {Trustee::administrators, mutexAllAccess, false}},
      true};
}

InstallerResult waitForOtherRuns(RunContext& run, std::unique_ptr<HeldLock>& lock) {
  using State = RunLock::State;
  const std::wstring name = runLockName;
  const std::optional<std::uint32_t>& waitSeconds = run.installerWaitSeconds;
  RunLock taken = run.platform.takeRunLock(name, runLockAccess(), 0);
  const bool waits = taken.state == State::held && waitSeconds && *waitSeconds > 0;
  if (waits) {
    logEvent(run, L"another run of the program is in progress (it holds " + name +
                      L"); waiting up to " + decimal(*waitSeconds) + L" s for its end");
    taken = run.platform.takeRunLock(name, runLockAccess(), *waitSeconds * 1000);
  }
  switch (taken.state) {
    case State::taken:
      if (waits) logEvent(run, L"the other run ended after " + secondsText(taken.milliseconds));
      lock = std::move(taken.lock);
      return code::success;
    case State::held:
      logEvent(
          run,
          (waits ? L"the other run is still in progress after " + secondsText(taken.milliseconds)
                 : L"another run of the program is in progress (it holds " + name + L")") +
              L": this run ends before it changes anything");
      return code::installAlreadyRunning;
    case State::foreign:
      logEvent(run, name +
                        L" was made by an account that is neither SYSTEM nor an "
                        L"administrator: runs are not kept apart");
      return code::success;
    case State::unknown:
      break;
  }
  // Going on could let two runs share the marker and the Windows Installer,
  // unseen; stopping is a failure a tool sees and retries. (An object that
  // another account made first is another matter: stopping there would let
  // any user stop every deployment.)
  return failedCall(run, L"taking " + name + L" (the lock that keeps runs apart)", taken.error);
}

}  // namespace eldoris
