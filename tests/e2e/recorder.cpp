// recorder: stands in for msiexec.exe or a provider's Setup.exe in end-to-end runs.
//
// Appends its whole command line (UTF-8, one line) to the file named by
// ELDORIS_RECORD, then either exits with ELDORIS_EXIT_CODE (decimal, default 0)
// or, when ELDORIS_CHAIN names a program, runs that program with the same
// argument tail and exits with its exit code.
//
// ELDORIS_EXIT_CODE_<FOLDER> (the upper-cased name of the folder that holds
// this copy, e.g. ELDORIS_EXIT_CODE_CSP for csp\Setup.exe) takes precedence
// over ELDORIS_EXIT_CODE, so that two stand-ins of one run can differ.
// With ELDORIS_WRITE_LOG set, the log named after "/Lv! " on the command line
// (quotes stripped) is created first, as a setup program would write it.
// With ELDORIS_CRASH set, it ends as a crashed program after recording.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "utf8_io.h"

namespace {

// Distinct from any installer code, so that a broken recording shows up.
const DWORD kRecordFailed = 0xE0000001u;

std::wstring envVar(const wchar_t* name, bool& present) {
  DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  present = n != 0;
  if (!present) return {};
  std::wstring v(n, L'\0');
  n = GetEnvironmentVariableW(name, &v[0], n);
  v.resize(n);
  return v;
}

bool appendLine(const std::wstring& path, const std::wstring& line) {
  return helper::writeFile(path, helper::narrow(line + L"\n"), true);
}

// The command line after the program token, leading white space kept,
// using the same rule as the C runtime for the first token.
std::wstring argumentTail(const wchar_t* cmd) {
  const wchar_t* p = cmd;
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  return p;
}

DWORD runChained(const std::wstring& program, const std::wstring& tail) {
  std::wstring cmd = L"\"" + program + L"\"" + tail;
  std::vector<wchar_t> buf(cmd.begin(), cmd.end());
  buf.push_back(L'\0');
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return GetLastError();
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return code;
}

// "ELDORIS_EXIT_CODE_" and the name of the folder holding this program, upper-cased.
std::wstring folderExitCodeName() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path, n);
  size_t file = p.find_last_of(L"\\/");
  if (file == std::wstring::npos || file == 0) return {};
  size_t folder = p.find_last_of(L"\\/", file - 1);
  size_t start = folder == std::wstring::npos ? 0 : folder + 1;
  std::wstring name = p.substr(start, file - start);
  for (auto& c : name) c = towupper(c);
  return L"ELDORIS_EXIT_CODE_" + name;
}

// Creates the file named after "/Lv! ", as an installer asked for a log would.
void writeNamedLog(const wchar_t* cmd) {
  const wchar_t* p = wcsstr(cmd, L"/Lv! ");
  if (!p) return;
  p += 5;
  while (*p == L'"') ++p;
  const wchar_t* end = p;
  while (*end && *end != L'"') ++end;
  if (end == p) return;
  appendLine(std::wstring(p, end), L"log of the stand-in");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const wchar_t* cmd = GetCommandLineW();
  bool present = false;
  std::wstring record = envVar(L"ELDORIS_RECORD", present);
  if (present && !appendLine(record, cmd)) return (int)kRecordFailed;

  envVar(L"ELDORIS_WRITE_LOG", present);
  if (present) writeNamedLog(cmd);

  // A setup that crashes ends as it would on a machine without a debugger:
  // terminated, with the exception code as its exit code. (A real unhandled
  // exception hangs in Wine's exception dispatch under user-mode emulation.)
  envVar(L"ELDORIS_CRASH", present);
  if (present) TerminateProcess(GetCurrentProcess(), EXCEPTION_ACCESS_VIOLATION);

  std::wstring chain = envVar(L"ELDORIS_CHAIN", present);
  if (present && !chain.empty()) return (int)runChained(chain, argumentTail(cmd));

  std::wstring code = envVar(folderExitCodeName().c_str(), present);
  if (!present) code = envVar(L"ELDORIS_EXIT_CODE", present);
  return present ? (int)wcstoul(code.c_str(), nullptr, 10) : 0;
}
