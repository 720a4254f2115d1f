// Arbitrary resource bytes through the string-table walk.
#include <cstdlib>

#include "messages/messages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (unsigned index = 0; index < 16; ++index) {
    const auto text = eldoris::findStringInBlock(data, size, index);
    // A text found lies wholly inside the block, behind its length word.
    if (text && (text->empty() || (text->size() + 1) * 2 > size)) std::abort();
  }
  return 0;
}
