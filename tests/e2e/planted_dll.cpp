// planted_dll: a DLL that an attacker could leave beside a downloaded program,
// under the name of a system DLL (copied as msi.dll). Loading it appends the
// loading program's path to the file named by ELDORIS_PLANTED_RECORD, so a
// test sees whether it was loaded, and by which program.
#include <windows.h>

#include <string>

#include "utf8_io.h"

namespace {

void recordLoad() {
  wchar_t record[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"ELDORIS_PLANTED_RECORD", record, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  wchar_t program[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  helper::writeFile(record, helper::narrow(std::wstring(program) + L"\r\n"), true);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) recordLoad();
  return TRUE;
}
