#include "driver/one_run.h"

#include <algorithm>
#include <optional>
#include <string>

#include "logfiles/log_files.h"
#include "messages/code_meaning.h"
#include "messages/run_log.h"

namespace eldoris {

namespace {

constexpr wchar_t lockGuid[] = L"{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}";

RunLockPlace globalPlace() { return {L"Global\\EldorisSetup" + std::wstring(lockGuid), L"", {}}; }

// The run lock's second place: a private namespace whose boundary holds the
// Administrators' SID, which no standard user can make ("The caller must be
// within the specified boundary for the create operation to succeed").
RunLockPlace namespacePlace() {
  constexpr std::uint32_t directoryAllAccess = 0x000F000F;  // DIRECTORY_ALL_ACCESS
  return {L"EldorisSetup\\" + std::wstring(lockGuid),
          L"EldorisSetup",
          {{{Trustee::system, directoryAllAccess, false},
            {Trustee::administrators, directoryAllAccess, false}},
           true}};
}

// A -log log that waited beside its name takes it; the installers' logs,
// all made after this, are named after it.
void beforeTheFirstChange(RunContext& run) {
  if (run.events == nullptr) return;
  const std::wstring moved = run.events->runChanges();
  if (!moved.empty() && !run.installerLogStem.empty())
    run.installerLogStem = withoutExtension(moved);
}

}  // namespace

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
  std::uint32_t result = 0;  // 0: taken, another account's object, or `failure`
  std::unique_ptr<HeldLock> lock;
  std::optional<std::uint32_t> failure;  // the Windows error where it was neither made nor opened
  std::uint32_t waited = 0;              // milliseconds
};

std::wstring waitText(std::uint32_t milliseconds) {
  return milliseconds % 1000 == 0 ? decimal(milliseconds / 1000) + L" s"
                                  : secondsText(milliseconds);
}

// The lock at one place, waited for up to `budget` milliseconds where
// nobody is asked (-msiwait).
PlaceTaken takeAt(RunContext& run, const RunLockPlace& place, std::uint32_t budget) {
  using State = RunLock::State;
  RunLock taken = run.platform.takeRunLock(place, runLockAccess(), 0);
  const std::wstring& name = place.mutexName;
  const bool unattended = run.installerWaitSeconds.has_value();
  const bool waits = taken.state == State::held && unattended && budget > 0;
  if (waits) {
    logEvent(run, L"another run of the program is in progress (it holds " + name +
                      L"); waiting up to " + waitText(budget) + L" for its end");
    taken = run.platform.takeRunLock(place, runLockAccess(), budget);
  }
  const std::uint32_t waited = waits ? taken.milliseconds : 0;
  switch (taken.state) {
    case State::taken:
      logEvent(run, waits ? L"the other run ended after " + secondsText(taken.milliseconds)
                          : L"run lock taken: " + name);
      return {0, std::move(taken.lock), std::nullopt, waited};
    case State::held:
      logEvent(
          run,
          (waits ? L"the other run is still in progress after " + secondsText(taken.milliseconds)
                 : L"another run of the program is in progress (it holds " + name + L")") +
              L": this run ends before it changes anything more");
      run.lockRefused = !unattended;
      return {code::installAlreadyRunning, nullptr, std::nullopt, waited};
    case State::foreign:
      logEvent(run, name + L" was made by an account that is neither SYSTEM nor an administrator");
      return {0, nullptr, std::nullopt, waited};
    case State::unknown:
      break;
  }
  return {0, nullptr, taken.error, waited};
}

std::uint32_t lockFailed(RunContext& run, const RunLockPlace& place, std::uint32_t error) {
  return failedCall(run, L"taking " + place.mutexName + L" (the lock that keeps runs apart)",
                    error);
}

}  // namespace

std::uint32_t takeTheRunLock(RunContext& run) {
  // The global name, which this version takes on every system (earlier ones
  // took one of the two), then the private namespace's, which no standard
  // user can make first. Either keeps runs apart where the other's name is
  // another account's or cannot be made; the global one also where a
  // namespace goes with the run that made it and is made anew. One -msiwait
  // budget covers both waits.
  std::uint32_t budget = run.installerWaitSeconds.value_or(0) * 1000;
  const RunLockPlace globalName = globalPlace();
  // Asked again at every take: another account's object may have gone.
  PlaceTaken global = takeAt(run, globalName, budget);
  if (global.result != 0) return global.result;
  budget -= std::min(budget, global.waited);
  PlaceTaken inNamespace;
  if (!run.noPrivateNamespaces) {
    const RunLockPlace place = namespacePlace();
    inNamespace = takeAt(run, place, budget);
    if (inNamespace.result != 0) return inNamespace.result;  // the global one goes with `global`
    // Going on could let two runs share the marker and the Windows
    // Installer, unseen; stopping is a failure a tool sees and retries. (An
    // object that another account made first is another matter: stopping
    // there would let any user stop every deployment.)
    if (inNamespace.failure == code::procNotFound) {  // the system lacks the calls
      run.noPrivateNamespaces = true;
      inNamespace.failure.reset();
      logEvent(run, L"the system has no private namespaces: the run lock is " +
                        globalName.mutexName + L" alone");
    }
    if (inNamespace.failure) return lockFailed(run, place, *inNamespace.failure);
  }
  if (global.failure) {
    // Any user may make an object of the global name; whatever it makes the
    // call fail with stops no run that holds the namespace's lock.
    if (!inNamespace.lock) return lockFailed(run, globalName, *global.failure);
    logEvent(run, L"taking " + globalName.mutexName + L" failed: " +
                      windowsErrorMeaning(*global.failure) +
                      L"; the namespace's lock alone keeps "
                      L"runs apart");
  }
  if (!global.lock && !inNamespace.lock) {
    logEvent(run, L"runs are not kept apart");
    run.runsNotKeptApart = true;
  } else {
    if (!global.lock) {
      // A namespace goes with the run that made it: a run started after
      // that, while another still holds the mutex in it, makes a new one.
      logEvent(run,
               L"runs are kept apart by the namespace's lock alone, which a run started "
               L"after the one that made the namespace ended may not see");
    }
    run.runLock = std::make_unique<BothLocks>(std::move(global.lock), std::move(inNamespace.lock));
  }
  beforeTheFirstChange(run);
  return code::success;
}

}  // namespace eldoris
