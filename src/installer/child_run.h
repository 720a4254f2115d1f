// Child programs, as the run's log records them.
#pragma once

#include <string>

#include "platform/platform.h"

namespace eldoris {

// Runs a program and waits for its end. The log gets the command line before
// it starts, then its exit code and how long it ran, or the Windows error of
// a start that failed.
ChildRun runLoggedChild(Platform& platform, const std::wstring& commandLine);

}  // namespace eldoris
