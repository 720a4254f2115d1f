// Raw command-line text through the system's splitting rules to the options or the help.
#include <algorithm>
#include <cstdlib>

#include "command_line_split.h"
#include "fuzz_input.h"
#include "options/options.h"

using namespace eldoris;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto arguments = fuzz::splitCommandLine(L"setup.exe " + fuzz::wideText(data, size));
  InstallOptions options;
  const ParseResult parsed = parseArguments({arguments.begin() + 1, arguments.end()}, options);
  if (parsed.outcome != ParseOutcome::proceed) {
    if (helpText(options).rfind(L"Установщик Тальвер Эльдорис.\n", 0) != 0) std::abort();
    // The argument named as the one that stopped the parse is one of them.
    if (std::find(arguments.begin() + 1, arguments.end(), parsed.argument) == arguments.end()) {
      std::abort();
    }
    return 0;
  }
  // Plug-in arguments are either empty or padded by one space on each side.
  const std::wstring& plugin = options.pluginArgs;
  if (!plugin.empty() && (plugin.front() != L' ' || plugin.back() != L' ')) std::abort();
  // Provider arguments are only ever given after their provider.
  if (!options.installProvider &&
      !(options.providerArgs.empty() && options.protectionClass.empty() &&
        options.providerLanguage.empty())) {
    std::abort();
  }
  if (!options.installUecProvider && !options.uecProviderArgs.empty()) std::abort();
  return 0;
}
