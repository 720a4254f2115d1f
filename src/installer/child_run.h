// Child programs, as the run's log records them.
#pragma once

#include <string>

#include "context/run_context.h"
#include "platform/platform.h"

namespace eldoris {

// Runs a program and waits for its end. The log gets the command line before
// it starts, then its exit code and how long it ran, or the Windows error of
// a start that failed; either is noted as `name`'s, not the program's own,
// the exit code with what `meaning` says of it. A start that failed without
// an error gives 1627, so that it still ends the run as a failure.
// `program` is the full path to start, or empty for the command line's first token.
ChildRun runLoggedChild(RunContext& run, const std::wstring& program,
                        const std::wstring& commandLine, const std::wstring& name,
                        std::wstring (*meaning)(std::uint32_t exitCode));

}  // namespace eldoris
