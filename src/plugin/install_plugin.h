// Whether and how the plug-in package is installed.
#pragma once

#include <string>

#include "context/run_context.h"
#include "platform/platform.h"

namespace eldoris {

// "velmarix*x64*" under WOW64, "velmarix*win32*" otherwise.
std::wstring pluginPackageMask(bool wow64);

// Whether MsiQueryProductStateW's answer is one it documents for a product
// (installed, advertised, installed for another user, unknown): any other
// (INSTALLSTATE_INVALIDARG, -2) is no answer at all.
bool isProductState(int state);

// Installs fresh, reinstalls (upgrade or repair) or does nothing, asking where
// the outcome needs consent. Returns the installer's mapped result, the
// version check's failure, 0 when nothing needed doing, or 1602 when the user
// declined the reinstallation.
InstallerResult installPlugin(RunContext& run, std::wstring pluginArgs, bool silent,
                              std::wstring& logPath, bool reinstall);

}  // namespace eldoris
