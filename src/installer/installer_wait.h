// Waiting for a busy Windows Installer before an installer starts.
#pragma once

#include <string>

#include "platform/platform.h"

namespace eldoris {

// Where nobody is asked anything (the platform's installerWaitSeconds is
// set): if another installation holds Global\_MSIExecute, waits until it is
// free, up to the bound, before `program` starts; every step is logged.
// Returns 0 to go on (also where whether it is busy cannot be told, or with
// a bound of 0), or 1618 when it is still busy past the bound.
InstallerResult waitForWindowsInstaller(Platform& platform, const std::wstring& program);

}  // namespace eldoris
