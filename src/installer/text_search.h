// Plain, case-sensitive searches of installer argument texts.
#pragma once

#include <string>

namespace eldoris {

inline bool containsText(const std::wstring& text, const wchar_t* part) {
  return text.find(part) != std::wstring::npos;
}

// "/q" anywhere: the caller chose the installer's user-interface level.
inline bool isQuiet(const std::wstring& arguments) { return containsText(arguments, L"/q"); }

// "/l" or "/L" anywhere: the caller chose a log of their own.
inline bool hasLogOption(const std::wstring& arguments) {
  return containsText(arguments, L"/l") || containsText(arguments, L"/L");
}

}  // namespace eldoris
