// Waiting for a busy Windows Installer before an installer starts.
#pragma once

#include <optional>
#include <string>

#include "context/run_context.h"
#include "platform/platform.h"

namespace eldoris {

// How the running Windows tells that the Windows Installer is busy: from
// Windows XP on (Windows Installer 3.0 came with XP SP2 and Server 2003 SP1,
// the oldest of them the program installs on) its service's status, which a
// look does not take; on Windows 2000 (Windows Installer 2.0 unless updated)
// its mutex.
InstallerBusySign installerBusySignFor(const std::optional<OsVersion>& version);

// Where nobody is asked anything (the run's installerWaitSeconds is
// set): if another installation keeps the Windows Installer busy, waits until
// it is free, up to the bound, before `program` starts; every step is logged.
// Returns 0 to go on (also where whether it is busy cannot be told, or with
// a bound of 0), or 1618 when it is still busy past the bound.
InstallerResult waitForWindowsInstaller(RunContext& run, const std::wstring& program);

}  // namespace eldoris
