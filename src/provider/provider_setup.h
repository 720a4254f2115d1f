// Running a cryptographic provider's own setup program.
#pragma once

#include <string>

#include "context/run_context.h"
#include "platform/platform.h"

namespace eldoris {

// <subdirectory>\Setup.exe -args "<log and UI options><extraArguments>" -noreboot -root [...];
// the UI option is /qn where nobody can see the desktop.
std::wstring buildProviderCommandLine(const std::wstring& subdirectory, const std::wstring& logPath,
                                      const std::wstring& extraArguments, bool silent,
                                      bool reinstall, bool noUpdate, bool desktopVisible);

// Exit codes of a setup that ran and that count as success.
bool isProviderSuccess(std::uint32_t exitCode);

// Runs the setup in "csp" or "ucsp". Returns 0 to go on, or the failure code
// (shown in the failure box unless silent). A setup that cannot be started is
// a failure whatever its Windows error code.
InstallerResult runProviderSetup(RunContext& run, const std::wstring& subdirectory,
                                 const std::wstring& extraArguments, bool silent, bool reinstall,
                                 bool noUpdate);

}  // namespace eldoris
