// One run of the program at a time, on the whole machine: two runs started
// together (a deployment tool and a logon script, or a double click twice)
// would share the restart marker, the logs and the Windows Installer.
#pragma once

#include <cstdint>
#include <memory>

#include "context/run_context.h"
#include "platform/platform.h"

namespace eldoris {

// The mutex every run holds from before it changes anything to its end.
inline constexpr wchar_t runLockName[] =
    L"Global\\EldorisSetup{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}";

// Who may open the run lock: SYSTEM and the Administrators alone, who own it.
AccessDescription runLockAccess();

// Takes the run lock into `lock`. Where another run holds it, waits for that
// run's end where nobody is asked (the run's installerWaitSeconds, -msiwait) and returns 1618
// past the wait, or at once where a person is asked. Where an object of its
// name that another user made holds the name, the run goes on as runs
// always did; where the lock cannot be made, it ends with the error. Every
// step is logged.
InstallerResult waitForOtherRuns(RunContext& run, std::unique_ptr<HeldLock>& lock);

}  // namespace eldoris
