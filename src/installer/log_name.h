// The verbose logs the child installers write.
#pragma once

#include <string>

#include "context/run_context.h"
#include "messages/run_log.h"
#include "platform/platform.h"

namespace eldoris {

// Reads the local time, echoes its timestamp to standard output and returns it.
std::wstring formatTimestamp(Platform& platform);

// Makes the log that a child installer is told to write, before its name is
// handed on: <TMP>\<baseName>_<timestamp>.log, TMP taken verbatim, created
// empty under the first name that nothing has (then "-2", "-3"...), so that
// the child never writes into a file or through a link that another user of
// a shared TMP made. Only a file that this call created is handed on.
//
// With -log the log goes beside the run's own instead, as
// <installerLogStem>_<baseName>.log, replaced as the run's own is.
//
// Returns 0 with `path` set. Without TMP shows message 144 (unless silent)
// and returns the Windows error code; when every name is taken returns 80
// (ERROR_FILE_EXISTS); when no log can be created for another reason returns
// 1622 (ERROR_INSTALL_LOG_FAILURE), the reason in the run's log. `path` is
// left unchanged on failure.
InstallerResult makeLogPath(RunContext& run, const std::wstring& baseName, bool silent,
                            std::wstring& path);

}  // namespace eldoris
