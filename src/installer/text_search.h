// Installer argument texts: plain, case-sensitive searches, and the
// user-interface level that the program puts in front of them.
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

// Basic UI, with its progress window and error boxes, where a person can see
// them; none where nobody can, since basic UI's error boxes and disk prompts
// would wait there for ever for an answer.
inline const wchar_t* uiLevel(bool desktopVisible) { return desktopVisible ? L"/qb" : L"/qn"; }

}  // namespace eldoris
