// ASCII-only case folding: A to Z as a to z, every other character as it is,
// as the options are compared and as Windows' names are in the ASCII range.
#pragma once

#include <string>

namespace eldoris {

inline wchar_t foldAscii(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

inline bool equalsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace eldoris
