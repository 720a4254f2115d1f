// Names of the verbose logs the child installers write.
#pragma once

#include <string>

#include "messages/run_log.h"
#include "platform/platform.h"

namespace eldoris {

// Reads the local time, echoes its timestamp to standard output and returns it.
std::wstring formatTimestamp(Platform& platform);

// <TMP>\<baseName>_<timestamp>.log, TMP taken verbatim. On failure shows
// message 144 (unless silent), returns the Windows error code and leaves
// `path` unchanged.
InstallerResult makeLogPath(Platform& platform, const std::wstring& baseName, bool silent,
                            std::wstring& path);

}  // namespace eldoris
