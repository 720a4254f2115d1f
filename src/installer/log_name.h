// Names of the verbose logs the child installers write.
#pragma once

#include <string>

#include "platform/platform.h"

namespace eldoris {

// "YYYY-MM-DD-HH-MM-SS", always 19 characters.
std::wstring formatTimestamp(const LocalTime& time);

// Reads the local time, echoes its timestamp to standard output and returns it.
std::wstring formatTimestamp(Platform& platform);

// <TMP>\<baseName>_<timestamp>.log, TMP taken verbatim. On failure shows
// message 144 (unless silent), returns the Windows error code and leaves
// `path` unchanged.
InstallerResult makeLogPath(Platform& platform, const std::wstring& baseName, bool silent,
                            std::wstring& path);

}  // namespace eldoris
