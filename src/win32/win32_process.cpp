// Child processes and the system restart.
#include "win32/owned_handle.h"
#include "win32/system_function.h"
#include "win32/win32_platform.h"

namespace eldoris {

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
  process.wait(INFINITE, ran);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.get(), &exitCode);
  return {true, exitCode, ran};
}

namespace {

std::uint32_t lastErrorOr(DWORD fallback) {
  const DWORD error = GetLastError();
  return error != 0 ? error : fallback;
}

// Looked up at run time: Windows 2000 lacks the first; the second, its
// predecessor, is looked up beside it.
using ShutdownEx = BOOL(WINAPI*)(LPWSTR, LPWSTR, DWORD, BOOL, BOOL, DWORD);
using Shutdown = BOOL(WINAPI*)(LPWSTR, LPWSTR, DWORD, BOOL, BOOL);

BOOL callRestart(RestartCall call) {
  // No time-out: no dialog, and nothing can stop it. Programs with unsaved
  // work are closed all the same, as the restart question warns.
  constexpr DWORD atOnce = 0;
  constexpr BOOL forceAppsClosed = TRUE;
  constexpr BOOL reboot = TRUE;
  if (call == RestartCall::initiateShutdownEx) {
    const auto shutdown =
        lookUpSystemFunction<ShutdownEx>(L"advapi32.dll", "InitiateSystemShutdownExW");
    if (shutdown != nullptr) {
      return shutdown(nullptr, nullptr, atOnce, forceAppsClosed, reboot,
                      SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
                          SHTDN_REASON_FLAG_PLANNED);
    }
  } else {
    const auto shutdown =
        lookUpSystemFunction<Shutdown>(L"advapi32.dll", "InitiateSystemShutdownW");
    if (shutdown != nullptr) return shutdown(nullptr, nullptr, atOnce, forceAppsClosed, reboot);
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return FALSE;
}

}  // namespace

std::uint32_t Win32Platform::restartSystem(RestartCall call) {
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
  return callRestart(call) ? 0 : lastErrorOr(ERROR_GEN_FAILURE);
}

}  // namespace eldoris
