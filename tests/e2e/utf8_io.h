// UTF-8 files and "key=value" job files, for the small Windows programs of the
// end-to-end tests and the benchmark.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace helper {

inline std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
  return w;
}

inline std::string narrow(const std::wstring& w) {
  if (w.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
  return s;
}

inline bool readFile(const std::wstring& path, std::string& out) {
  HANDLE h =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char buf[4096];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(h, buf, sizeof buf, &got, nullptr) != 0) && got > 0) out.append(buf, got);
  CloseHandle(h);
  return ok;
}

// Writes data in place of the file (append: after its end; other programs
// may append to it at the same time).
inline bool writeFile(const std::wstring& path, const std::string& data, bool append = false) {
  HANDLE h = append
                 ? CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, 0, nullptr)
                 : CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const bool ok =
      WriteFile(h, data.data(), (DWORD)data.size(), &put, nullptr) && put == data.size();
  CloseHandle(h);
  return ok;
}

using JobLines = std::vector<std::pair<std::string, std::string>>;

// The lines of a job file split at their first '=', in order; blank lines and
// lines beginning with '#' are left out. A line without '=' makes it false,
// with that line in badLine.
inline bool splitJob(const std::string& text, JobLines& lines, std::string& badLine) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      badLine = line;
      return false;
    }
    lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return true;
}

}  // namespace helper
