// Turning fuzzer bytes into the texts the bootstrapper handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace eldoris::fuzz {

// Reads the bytes as UTF-16LE code units, the way Windows hands text over.
inline std::wstring wideText(const std::uint8_t* data, std::size_t size) {
  std::wstring text;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  }
  return text;
}

// Splits the input at the first 0xFF byte into two texts.
inline std::pair<std::wstring, std::wstring> twoTexts(const std::uint8_t* data, std::size_t size) {
  std::size_t cut = 0;
  while (cut < size && data[cut] != 0xFF) ++cut;
  const std::size_t rest = cut < size ? cut + 1 : size;
  return {wideText(data, cut), wideText(data + rest, size - rest)};
}

}  // namespace eldoris::fuzz
