// planted_dll: a DLL that an attacker could leave beside a downloaded program,
// under the name of a system DLL (copied as msi.dll). Loading it appends the
// loading program's path to the file named by ELDORIS_PLANTED_RECORD, so a
// test sees whether it was loaded, and by which program.
#include <windows.h>

#include <string>

namespace {

void recordLoad() {
  wchar_t record[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"ELDORIS_PLANTED_RECORD", record, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  wchar_t program[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  HANDLE f = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  const std::wstring line = std::wstring(program) + L"\r\n";
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, line.c_str(), (int)line.size(), nullptr, 0, nullptr, nullptr);
  std::string utf8(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), (int)line.size(), &utf8[0], size, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(f, utf8.data(), (DWORD)utf8.size(), &written, nullptr);
  CloseHandle(f);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) recordLoad();
  return TRUE;
}
