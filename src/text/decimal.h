// Unsigned decimal (and hexadecimal) text without the C runtime's formatter, which would more
// than double the size of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace eldoris {

// Appends `value` in decimal, padded with zeros to at least `digits` digits.
inline void appendDecimal(std::wstring& text, std::uint32_t value, std::size_t digits = 1) {
  wchar_t reversed[10];
  std::size_t count = 0;
  do {
    reversed[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (count < digits) text.append(digits - count, L'0');
  while (count > 0) text.push_back(reversed[--count]);
}

// `value` in decimal.
inline std::wstring decimal(std::uint32_t value) {
  std::wstring text;
  appendDecimal(text, value);
  return text;
}

// `value` as "0x" and eight hexadecimal digits, as HRESULTs are written.
inline std::wstring hexadecimal(std::uint32_t value) {
  std::wstring text = L"0x";
  for (int shift = 28; shift >= 0; shift -= 4)
    text.push_back(L"0123456789ABCDEF"[(value >> shift) & 0xF]);
  return text;
}

// Milliseconds as seconds to the millisecond: "2.500 s".
inline std::wstring secondsText(std::uint32_t milliseconds) {
  std::wstring text = decimal(milliseconds / 1000) + L".";
  appendDecimal(text, milliseconds % 1000, 3);
  return text + L" s";
}

}  // namespace eldoris
