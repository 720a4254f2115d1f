// Child processes and the system restart.
#include "win32/win32_platform.h"

namespace eldoris {

namespace {

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

ChildRun Win32Platform::runChildProcess(const std::wstring& commandLine) {
  // CreateProcessW may write into the command line it is given.
  std::wstring writable = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &info)) {
    return {false, GetLastError()};
  }
  Handle process(info.hProcess);
  Handle thread(info.hThread);
  const DWORD started = GetTickCount();  // GetTickCount64 is not on Windows 2000 and XP
  WaitForSingleObject(process.get(), INFINITE);
  const DWORD ran = GetTickCount() - started;
  DWORD exitCode = 0;
  GetExitCodeProcess(process.get(), &exitCode);
  return {true, exitCode, ran};
}

bool Win32Platform::restartSystem() {
  HANDLE rawToken = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) {
    return false;
  }
  Handle token(rawToken);
  TOKEN_PRIVILEGES privileges{};
  LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid);
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  SetLastError(0);
  AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
  // Also catches ERROR_NOT_ALL_ASSIGNED: the user does not hold the privilege.
  if (GetLastError() != 0) return false;
  return ExitWindowsEx(EWX_REBOOT | EWX_FORCE,
                       SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_OTHER) != 0;
}

}  // namespace eldoris
