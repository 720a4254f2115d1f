// The system's rules for splitting a command line into arguments, so that the
// parser can be fuzzed from raw command-line text on the host.
#pragma once

#include <string>
#include <vector>

namespace eldoris::fuzz {

// The program name ends at the first blank or, when it starts with a quote, at
// the next quote. Arguments: blanks separate; 2n backslashes and a quote give n
// backslashes and open or close quoting; 2n+1 backslashes and a quote give n
// backslashes and a literal quote; other backslashes are literal; inside
// quotes a doubled quote is a literal quote.
inline std::vector<std::wstring> splitCommandLine(const std::wstring& line) {
  std::vector<std::wstring> arguments;
  std::size_t i = 0;
  std::wstring program;
  if (i < line.size() && line[i] == L'"') {
    for (++i; i < line.size() && line[i] != L'"'; ++i) program.push_back(line[i]);
    if (i < line.size()) ++i;
  } else {
    for (; i < line.size() && line[i] != L' ' && line[i] != L'\t'; ++i) program.push_back(line[i]);
  }
  arguments.push_back(program);

  auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  while (true) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i >= line.size()) break;
    std::wstring argument;
    bool quoted = false;
    while (i < line.size() && (quoted || !blank(line[i]))) {
      if (line[i] == L'\\') {
        std::size_t slashes = 0;
        while (i < line.size() && line[i] == L'\\') {
          ++slashes;
          ++i;
        }
        if (i < line.size() && line[i] == L'"') {
          argument.append(slashes / 2, L'\\');
          if (slashes % 2 == 1) {
            argument.push_back(L'"');
            ++i;
          }
        } else {
          argument.append(slashes, L'\\');
        }
      } else if (line[i] == L'"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
          argument.push_back(L'"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument.push_back(line[i++]);
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

}  // namespace eldoris::fuzz
