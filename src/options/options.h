// The command line: options into InstallOptions, and the help text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options/install_options.h"
#include "platform/platform.h"

namespace eldoris {

// Both stopping outcomes show the help; they differ only where nobody can
// see it, in the exit code. `unreadable`: the command line could not be
// split, and no option is known.
enum class ParseOutcome { proceed, helpRequested, notUnderstood, unreadable };

struct ParseResult {
  ParseOutcome outcome = ParseOutcome::proceed;
  std::wstring argument;    // the one that stopped the parse
  std::uint32_t error = 0;  // with `unreadable`: the split's Windows error
};

// Applies the arguments that follow the program name, in order. Stops at the
// first help request or unrecognised argument; the options before it stay applied.
ParseResult parseArguments(const std::vector<std::wstring>& arguments, InstallOptions& options);

// Splits the process's whole command line and parses everything after the
// program. A failed split reads no option, and says so.
ParseResult parseCommandLine(Platform& platform, InstallOptions& options);

// The options as understood, for the run's log: the flags set and the texts
// given, in the order of InstallOptions.
std::wstring describeOptions(const InstallOptions& options);

// The help text; the provider lines appear for the providers already asked for.
std::wstring helpText(const InstallOptions& options);

// Shows the help box, also under -silent; the box's answer, or why it could not be shown.
Answer<int> showHelp(Platform& platform, const InstallOptions& options);

}  // namespace eldoris
