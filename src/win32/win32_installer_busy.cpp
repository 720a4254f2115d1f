// Whether the Windows Installer is busy with another installation, and who runs.
#include <windows.h>
#include <tlhelp32.h>

#include "text/ascii.h"
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

namespace {

using State = InstallerWait::State;

InstallerWait waitForMutex(std::uint32_t milliseconds) {
  OwnedHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\_MSIExecute"));
  if (!mutex.valid()) {
    // Not there: nothing installs.
    const DWORD error = GetLastError();
    return {error == ERROR_FILE_NOT_FOUND ? State::free : State::unknown, error, 0};
  }
  std::uint32_t took = 0;
  const DWORD waited = mutex.wait(milliseconds, took);
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

// Owns a handle of the service control manager.
class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ServiceHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

// "The Windows Installer service is currently running if the value of the
// dwControlsAccepted member ... is SERVICE_ACCEPT_SHUTDOWN" (the _MSIExecute
// Mutex page); the status is read every half second until it is not.
InstallerWait waitForService(std::uint32_t milliseconds) {
  // Looked up at run time: Windows NT 4.0's advapi32 lacks it.
  using QueryStatus = BOOL(WINAPI*)(SC_HANDLE, SC_STATUS_TYPE, LPBYTE, DWORD, LPDWORD);
  const auto query = lookUpSystemFunction<QueryStatus>(L"advapi32.dll", "QueryServiceStatusEx");
  if (query == nullptr) return {State::unknown, ERROR_PROC_NOT_FOUND, 0};
  const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.get() == nullptr) return {State::unknown, GetLastError(), 0};
  const ServiceHandle service(OpenServiceW(manager.get(), L"msiserver", SERVICE_QUERY_STATUS));
  if (service.get() == nullptr) return {State::unknown, GetLastError(), 0};
  const DWORD started = GetTickCount();
  for (;;) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    const auto took = static_cast<std::uint32_t>(GetTickCount() - started);
    if (!query(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
               sizeof status, &needed)) {
      return {State::unknown, GetLastError(), took};
    }
    if (status.dwControlsAccepted != SERVICE_ACCEPT_SHUTDOWN) return {State::free, 0, took};
    if (took >= milliseconds) return {State::held, 0, took};
    Sleep(milliseconds - took < 500 ? milliseconds - took : 500);
  }
}

}  // namespace

InstallerWait Win32Platform::waitForInstaller(InstallerBusySign sign, std::uint32_t milliseconds) {
  return sign == InstallerBusySign::serviceStatus ? waitForService(milliseconds)
                                                  : waitForMutex(milliseconds);
}

}  // namespace eldoris
