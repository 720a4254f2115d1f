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

namespace {

// Both places' locks, held as one; the later one is released first.
class BothLocks final : public HeldLock {
 public:
  BothLocks(std::unique_ptr<HeldLock> first, std::unique_ptr<HeldLock> second)
      : first_(std::move(first)), second_(std::move(second)) {}

 private:
  std::unique_ptr<HeldLock> first_;
  std::unique_ptr<HeldLock> second_;
};

struct PlaceTaken {
  std::uint32_t result = 0;  // 0: taken, or another account's object (lock empty)
  std::unique_ptr<HeldLock> lock;
  bool missing = false;  // the system lacks the private namespace calls
};

// The lock at one place, waited for where nobody is asked (-msiwait).
PlaceTaken takeAt(RunContext& run, const RunLockPlace& place) {
  using State = RunLock::State;
  RunLock taken = run.platform.takeRunLock(place, runLockAccess(), 0);
  if (!place.namespaceAlias.empty() && taken.state == State::unknown &&
      taken.error == code::procNotFound) {
    return {0, nullptr, true};
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
      return {0, std::move(taken.lock), false};
    case State::held:
      logEvent(
          run,
          (waits ? L"the other run is still in progress after " + secondsText(taken.milliseconds)
                 : L"another run of the program is in progress (it holds " + name + L")") +
              L": this run ends before it changes anything more");
      run.lockRefused = !waitSeconds;
      return {code::installAlreadyRunning, nullptr};
    case State::foreign:
      logEvent(run, name + L" was made by an account that is neither SYSTEM nor an administrator");
      return {};
    case State::unknown:
      break;
  }
  // Going on could let two runs share the marker and the Windows Installer,
  // unseen; stopping is a failure a tool sees and retries. (An object that
  // another account made first is another matter: stopping there would let
  // any user stop every deployment.)
  return {failedCall(run, L"taking " + name + L" (the lock that keeps runs apart)", taken.error),
          nullptr};
}

}  // namespace

std::uint32_t takeTheRunLock(RunContext& run) {
  // The global name, which every run takes whatever the system (and earlier
  // versions took), then the private namespace's, which no standard user
  // can take first: either keeps runs apart where the other's place is
  // another account's, or is made anew as a namespace goes.
  PlaceTaken global;
  if (!run.globalLockForeign) {
    global = takeAt(run, globalPlace());
    if (global.result != 0) return global.result;
    run.globalLockForeign = !global.lock;
  }
  PlaceTaken inNamespace;
  if (!run.noPrivateNamespaces) {
    inNamespace = takeAt(run, runLockPlaceFor(true));
    if (inNamespace.result != 0) return inNamespace.result;  // the global one goes with `global`
    if (inNamespace.missing) {
      run.noPrivateNamespaces = true;
      logEvent(run, L"the system has no private namespaces: the run lock is " +
                        globalPlace().mutexName + L" alone");
    }
  }
  if (!global.lock && !inNamespace.lock) {
    logEvent(run, L"runs are not kept apart");
    run.runsNotKeptApart = true;
  } else {
    run.runLock = std::make_unique<BothLocks>(std::move(global.lock), std::move(inNamespace.lock));
  }
  beforeTheFirstChange(run);
  return code::success;
}

}  // namespace eldoris
