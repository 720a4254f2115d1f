#include "driver/one_run.h"

#include <string>

#include "logfiles/log_files.h"
#include "messages/code_meaning.h"
#include "messages/run_log.h"

namespace eldoris {

namespace {

constexpr wchar_t lockGuid[] = L"{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}";

RunLockPlace globalPlace() { return {L"Global\\EldorisSetup" + std::wstring(lockGuid), L"", {}}; }

// A -log log that waited beside its name takes it; the installers' logs,
// all made after this, are named after it.
void beforeTheFirstChange(RunContext& run) {
  if (run.events == nullptr) return;
  const std::wstring moved = run.events->runChanges();
  if (!moved.empty() && !run.installerLogStem.empty())
    run.installerLogStem = withoutExtension(moved);
}

}  // namespace

RunLockPlace runLockPlaceFor(bool privateNamespaces) {
  if (!privateNamespaces) return globalPlace();
  constexpr std::uint32_t directoryAllAccess = 0x000F000F;  // DIRECTORY_ALL_ACCESS
  return {L"EldorisSetup\\" + std::wstring(lockGuid),
          L"EldorisSetup",
          {{{Trustee::system, directoryAllAccess, false},
            {Trustee::administrators, directoryAllAccess, false}},
           true}};
}

AccessDescription runLockAccess() {
  constexpr std::uint32_t mutexAllAccess = 0x001F0001;  // MUTEX_ALL_ACCESS
  return {
      {{Trustee::system, mutexAllAccess, false}, {Trustee::administrators, mutexAllAccess, false}},
      true};
}

std::uint32_t takeTheRunLock(RunContext& run) {
  using State = RunLock::State;
  RunLockPlace place = runLockPlaceFor(!run.noPrivateNamespaces);
  RunLock taken = run.platform.takeRunLock(place, runLockAccess(), 0);
  if (!place.namespaceAlias.empty() && taken.state == State::unknown &&
      taken.error == code::procNotFound) {
    run.noPrivateNamespaces = true;
    place = globalPlace();
    logEvent(run, L"the system has no private namespaces: the run lock is " + place.mutexName);
    taken = run.platform.takeRunLock(place, runLockAccess(), 0);
  }
  const std::wstring& name = place.mutexName;
  const std::optional<std::uint32_t>& waitSeconds = run.installerWaitSeconds;
  const bool waits = taken.state == State::held && waitSeconds && *waitSeconds > 0;
  if (waits) {
    logEvent(run, L"another run of the program is in progress (it holds " + name +
                      L"); waiting up to " + decimal(*waitSeconds) + L" s for its end");
    taken = run.platform.takeRunLock(place, runLockAccess(), *waitSeconds * 1000);
  }
  switch (taken.state) {
    case State::taken:
      logEvent(run, waits ? L"the other run ended after " + secondsText(taken.milliseconds)
                          : L"run lock taken: " + name);
      run.runLock = std::move(taken.lock);
      beforeTheFirstChange(run);
      return code::success;
    case State::held:
      logEvent(
          run,
          (waits ? L"the other run is still in progress after " + secondsText(taken.milliseconds)
                 : L"another run of the program is in progress (it holds " + name + L")") +
              L": this run ends before it changes anything more");
      run.lockRefused = !waitSeconds;
      return code::installAlreadyRunning;
    case State::foreign:
      logEvent(run, name +
                        L" was made by an account that is neither SYSTEM nor an "
                        L"administrator: runs are not kept apart");
      run.runsNotKeptApart = true;
      beforeTheFirstChange(run);
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
