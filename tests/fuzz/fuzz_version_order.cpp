// The version order must be a consistent order over any two texts.
#include <cstdlib>

#include "fuzz_input.h"
#include "plugin/version_order.h"

using eldoris::compareVersionTexts;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [a, b] = eldoris::fuzz::twoTexts(data, size);
  const int ab = compareVersionTexts(a, b);
  const int ba = compareVersionTexts(b, a);
  if (ab < -1 || ab > 1 || ab != -ba) std::abort();
  if (compareVersionTexts(a, a) != 0) std::abort();
  if (a == b && ab != 0) std::abort();
  return 0;
}
