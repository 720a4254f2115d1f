// The carried package's version against the installed product's.
#pragma once

#include <string>

#include "context/run_context.h"
#include "platform/platform.h"

namespace eldoris {

// Reads the version of the package that `packageMask` finds, the one that
// will be installed, after a wait for a busy Windows Installer where nobody
// is asked (1618 past it, before any box). On 0, `versionOrder` is -1, 0 or 1 as the package sorts
// before, equal to or after the installed product. Otherwise the failure has
// been shown (in every mode) and its code is returned, `versionOrder` untouched.
// `installedVersion` is the installed product's version it read.
InstallerResult comparePackageVersion(RunContext& run, const std::wstring& productCode,
                                      const std::wstring& packageMask, int& versionOrder,
                                      std::wstring& installedVersion);

}  // namespace eldoris
