// Running msiexec on the plug-in package, with a verbose log.
#pragma once

#include <string>

#include "context/run_context.h"
#include "platform/platform.h"

namespace eldoris {

// The msiexec command line; `logPath` empty when the caller logs itself.
std::wstring buildMsiexecCommandLine(const std::wstring& systemDirectory,
                                     const std::wstring& packagePath, const std::wstring& logPath,
                                     const std::wstring& extraArguments);

// The text after the last backslash, or the whole path.
std::wstring fileNameOf(const std::wstring& path);

// 1641, 3010 and 3011 become 0 with the restart marker set; the rest pass through.
InstallerResult mapInstallerExitCode(RunContext& run, InstallerResult exitCode);

// Finds the package for `packageMask`, runs "msiexec /i" with REBOOT=R and a
// log (unless the arguments name one) and returns its mapped result. Fills
// `logPath` when it makes the log.
InstallerResult runMsiInstall(RunContext& run, const std::wstring& productCode,
                              const std::wstring& packageMask, const std::wstring& extraArguments,
                              bool silent, std::wstring& logPath);

}  // namespace eldoris
