// The command line: options into InstallOptions, and the help text.
#pragma once

#include <string>
#include <vector>

#include "options/install_options.h"

namespace eldoris {

class Platform;

// Both stopping outcomes show the help; they differ only where nobody can
// see it, in the exit code.
enum class ParseOutcome { proceed, helpRequested, notUnderstood };

struct ParseResult {
  ParseOutcome outcome = ParseOutcome::proceed;
  std::wstring argument;  // the one that stopped the parse
};

// Applies the arguments that follow the program name, in order. Stops at the
// first help request or unrecognised argument; the options before it stay applied.
ParseResult parseArguments(const std::vector<std::wstring>& arguments, InstallOptions& options);

// Splits the process's whole command line and parses everything after the
// program. A failed split reads no option.
ParseResult parseCommandLine(Platform& platform, InstallOptions& options);

// The options as understood, for the run's log: the flags set and the texts
// given, in the order of InstallOptions.
std::wstring describeOptions(const InstallOptions& options);

// The help text; the provider lines appear for the providers already asked for.
std::wstring helpText(const InstallOptions& options);

// Shows the help box, also under -silent.
void showHelp(Platform& platform, const InstallOptions& options);

}  // namespace eldoris
