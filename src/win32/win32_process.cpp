// Child processes and the system restart.
#include "win32/last_error.h"
#include "win32/owned_handle.h"
#include "win32/system_function.h"
#include "win32/win32_platform.h"

namespace eldoris {

namespace {}  // namespace

ChildRun Win32Platform::runChildProcess(const std::wstring& program,
                                        const std::wstring& commandLine) {
  // CreateProcessW may write into the command line it is given.
  std::wstring writable = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.empty() ? nullptr : program.c_str(), &writable[0], nullptr, nullptr,
                      FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
    return {false, GetLastError()};
  }
  OwnedHandle process(info.hProcess);
  OwnedHandle thread(info.hThread);
  std::uint32_t ran = 0;
  if (process.wait(INFINITE, ran) != WAIT_OBJECT_0)
    return {true, 0, ran, lastErrorOr(ERROR_INVALID_HANDLE)};
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.get(), &exitCode)) return {true, 0, ran, GetLastError()};
  return {true, exitCode, ran};
}

namespace {

// Looked up at run time: Windows 2000 lacks the first; the second, its
// predecessor, is looked up beside it.
using ShutdownEx = BOOL(WINAPI*)(LPWSTR, LPWSTR, DWORD, BOOL, BOOL, DWORD);
using Shutdown = BOOL(WINAPI*)(LPWSTR, LPWSTR, DWORD, BOOL, BOOL);

BOOL callRestart(const RestartRequest& request) {
  constexpr BOOL reboot = TRUE;
  const BOOL force = request.forceAppsClosed ? TRUE : FALSE;
  if (request.call == RestartCall::initiateShutdownEx) {
    const auto shutdown =
        lookUpSystemFunction<ShutdownEx>(L"advapi32.dll", "InitiateSystemShutdownExW");
    if (shutdown != nullptr) {
      return shutdown(nullptr, nullptr, request.timeoutSeconds, force, reboot, request.reason);
    }
  } else {
    const auto shutdown =
        lookUpSystemFunction<Shutdown>(L"advapi32.dll", "InitiateSystemShutdownW");
    if (shutdown != nullptr)
      return shutdown(nullptr, nullptr, request.timeoutSeconds, force, reboot);
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return FALSE;
}

}  // namespace

std::uint32_t Win32Platform::restartSystem(const RestartRequest& request) {
  HANDLE rawToken = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) {
    return lastErrorOr(ERROR_ACCESS_DENIED);
  }
  OwnedHandle token(rawToken);
  TOKEN_PRIVILEGES privileges{};
  LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid);
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  SetLastError(0);
  AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
  // Also catches ERROR_NOT_ALL_ASSIGNED: the user does not hold the privilege.
  if (GetLastError() != 0) return GetLastError();
  return callRestart(request) ? 0 : lastErrorOr(ERROR_GEN_FAILURE);
}

}  // namespace eldoris
