// The msiexec and provider command lines for any user arguments and state.
#include <cstdlib>

#include "../unit/fake_platform.h"
#include "fuzz_input.h"
#include "installer/text_search.h"
#include "plugin/install_plugin.h"
#include "provider/provider_setup.h"

using namespace eldoris;

namespace {

bool endsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void checkPlugin(std::uint8_t flags, const std::wstring& userArguments) {
  testing::FakePlatform platform;
  RunContext run(platform);
  platform.addPackage(L"x64", L"velmarix-x64.msi");
  platform.productState = (flags & 1) ? 5 : 2;
  platform.featureState = (flags & 2) ? 2 : 3;
  platform.installedVersion.text = (flags & 4) ? L"2.0.10" : L"2.0.9";
  platform.answers = {(flags & 8) ? box::idYes : box::idNo};
  std::wstring logPath;
  installPlugin(run, userArguments, (flags & 16) != 0, logPath, (flags & 32) != 0);
  for (const std::wstring& line : platform.commandLines) {
    // The user's own arguments always come last, whatever they hold.
    if (!endsWith(line, userArguments)) std::abort();
    if (line.find(L" REBOOT=R ") == std::wstring::npos) std::abort();
    const bool quiet = userArguments.find(L"/q") != std::wstring::npos;
    if (!quiet && line.find(uiLevel(run.desktopVisible)) == std::wstring::npos) std::abort();
  }
}

void checkProvider(std::uint8_t flags, const std::wstring& userArguments) {
  const std::wstring line = buildProviderCommandLine(L"csp", L"C:\\Temp\\csp.log", userArguments,
                                                     flags & 1, flags & 2, flags & 4, flags & 8);
  if (line.rfind(L"csp\\Setup.exe -args \"", 0) != 0) std::abort();
  if (line.find(userArguments + L"\" -noreboot -root") == std::wstring::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::wstring userArguments = fuzz::wideText(data + 1, size - 1);
  checkPlugin(data[0], userArguments);
  checkProvider(data[0], userArguments);
  return 0;
}
