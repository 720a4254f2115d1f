// Whether the Windows Installer is busy with another installation, and who runs.
#include <windows.h>
#include <tlhelp32.h>

#include "options/options.h"
#include "win32/owned_handle.h"
#include "win32/system_function.h"
#include "win32/win32_platform.h"

namespace eldoris {

std::optional<std::vector<std::uint32_t>> Win32Platform::processIds(const std::wstring& exeName) {
  // Looked up at run time: Windows NT 4.0's kernel32 has no Tool Help.
  using Snapshot = HANDLE(WINAPI*)(DWORD, DWORD);
  using Walk = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32W*);
  const auto snapshot = lookUpSystemFunction<Snapshot>(L"kernel32.dll", "CreateToolhelp32Snapshot");
  const auto first = lookUpSystemFunction<Walk>(L"kernel32.dll", "Process32FirstW");
  const auto next = lookUpSystemFunction<Walk>(L"kernel32.dll", "Process32NextW");
  if (snapshot == nullptr || first == nullptr || next == nullptr) return std::nullopt;
  OwnedHandle processes(snapshot(TH32CS_SNAPPROCESS, 0));
  if (!processes.valid()) return std::nullopt;
  std::vector<std::uint32_t> ids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = first(processes.get(), &entry); more; more = next(processes.get(), &entry)) {
    if (equalsIgnoringAsciiCase(entry.szExeFile, exeName)) ids.push_back(entry.th32ProcessID);
  }
  return ids;
}

InstallerMutexWait Win32Platform::waitForInstallerMutex(std::uint32_t milliseconds) {
  using State = InstallerMutexWait::State;
  OwnedHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\_MSIExecute"));
  if (!mutex.valid()) {
    // Not there: nothing installs.
    const DWORD error = GetLastError();
    return {error == ERROR_FILE_NOT_FOUND ? State::free : State::unknown, error, 0};
  }
  const DWORD started = GetTickCount();
  const DWORD waited = WaitForSingleObject(mutex.get(), milliseconds);
  const auto took = static_cast<std::uint32_t>(GetTickCount() - started);
  switch (waited) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder ended without releasing it: free
      ReleaseMutex(mutex.get());
      return {State::free, 0, took};
    case WAIT_TIMEOUT:
      return {State::held, 0, took};
    default:
      return {State::unknown, GetLastError(), took};
  }
}

}  // namespace eldoris
