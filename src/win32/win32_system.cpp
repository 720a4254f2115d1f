// The process, its environment and the system it runs on.
#include <windows.h>
#include <shellapi.h>

#include "win32/last_error.h"
#include "win32/system_function.h"
#include "win32/system_paths.h"
#include "win32/win32_platform.h"

namespace eldoris {

std::wstring Win32Platform::commandLine() { return GetCommandLineW(); }

Answer<std::vector<std::wstring>> Win32Platform::splitCommandLine(const std::wstring& commandLine) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(commandLine.c_str(), &count);
  if (arguments == nullptr) {
    return {lastErrorOr(ERROR_NOT_ENOUGH_MEMORY), {}};
  }
  std::vector<std::wstring> result(arguments, arguments + count);
  LocalFree(arguments);
  return {0, result};
}

std::optional<bool> Win32Platform::shellIsUserAnAdmin(ShellExport how) {
  // SHELL32 is loaded: the program imports CommandLineToArgvW from it.
  using IsAdmin = BOOL(WINAPI*)();
  const auto isAdmin = lookUpSystemFunction<IsAdmin>(
      L"shell32.dll", how == ShellExport::byName ? "IsUserAnAdmin" : MAKEINTRESOURCEA(680));
  if (isAdmin == nullptr) return std::nullopt;
  return isAdmin() != FALSE;
}

Answer<bool> Win32Platform::tokenIsAdministrator() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {GetLastError(), false};
  DWORD size = 0;
  GetTokenInformation(token, TokenGroups, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  Answer<bool> member;
  if (size != 0 && GetTokenInformation(token, TokenGroups, buffer.data(), size, &size) &&
      AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                               DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount && !member.value; ++i) {
      const DWORD attributes = groups->Groups[i].Attributes;
      member.value = EqualSid(groups->Groups[i].Sid, administrators) &&
                     (attributes & SE_GROUP_ENABLED) != 0 &&
                     (attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0;
    }
    FreeSid(administrators);
  } else {
    member.error = lastErrorOr(ERROR_INVALID_PARAMETER);
  }
  CloseHandle(token);
  return member;
}

namespace {

OsVersion toOsVersion(const OSVERSIONINFOEXW& info) {
  return {info.dwMajorVersion, info.dwMinorVersion, info.wServicePackMajor, false,
          info.dwBuildNumber};
}

}  // namespace

std::optional<OsVersion> Win32Platform::versionRecord(VersionRecord record) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize =
      record == VersionRecord::extended ? sizeof(OSVERSIONINFOEXW) : sizeof(OSVERSIONINFOW);
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return std::nullopt;
  return toOsVersion(info);
}

std::optional<OsVersion> Win32Platform::kernelVersion() {
  // ntdll is mapped into every process; it exports RtlGetVersion from Windows 2000 on.
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  const auto get = lookUpSystemFunction<GetVersion>(L"ntdll.dll", "RtlGetVersion");
  if (get == nullptr) return std::nullopt;
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (get(reinterpret_cast<OSVERSIONINFOW*>(&info)) != 0) return std::nullopt;
  return toOsVersion(info);
}

Answer<bool> Win32Platform::isWow64Process() {
  // Looked up at run time: kernel32 of 32-bit Windows 2000 and XP before
  // SP2 lacks it, and those systems are 32-bit.
  using IsWow64 = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto isWow64 = lookUpSystemFunction<IsWow64>(L"kernel32.dll", "IsWow64Process");
  if (isWow64 == nullptr) return {0, false};
  BOOL wow64 = FALSE;
  if (!isWow64(GetCurrentProcess(), &wow64)) return {GetLastError(), false};
  return {0, wow64 != FALSE};
}

TextRead Win32Platform::environmentVariable(const std::wstring& name) {
  const DWORD needed = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (needed == 0) return {GetLastError(), std::wstring()};
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(name.c_str(), &value[0], needed);
  if (length == 0 || length >= needed) {
    const DWORD error = GetLastError();
    // A value that changed between the calls, or an empty one, is unreadable.
    return {error != 0 ? error : static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND), std::wstring()};
  }
  value.resize(length);
  return {0, value};
}

namespace {

// A text read at the length the system reports, so that long paths work too:
// `read(size, buffer)` returns the length written, or the size it needs
// (terminator included) when the buffer is too small, or 0 on failure.
template <typename Read>
TextRead readAtReportedLength(Read read) {
  std::wstring buffer;
  DWORD needed = read(0, nullptr);
  while (needed != 0) {
    buffer.assign(needed, L'\0');
    const DWORD length = read(needed, &buffer[0]);
    if (length == 0) break;
    if (length < needed) {
      buffer.resize(length);
      return {0, buffer};
    }
    needed = length;
  }
  return {GetLastError(), std::wstring()};
}

}  // namespace

TextRead Win32Platform::currentDirectory() {
  return readAtReportedLength(
      [](DWORD size, wchar_t* buffer) { return GetCurrentDirectoryW(size, buffer); });
}

TextRead Win32Platform::fullPath(const std::wstring& path) {
  return readAtReportedLength([&path](DWORD size, wchar_t* buffer) {
    return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
  });
}

TextRead Win32Platform::systemDirectory() {
  DWORD error = 0;
  std::wstring directory = readSystemDirectory(error);
  return {error, directory};
}

std::uint64_t Win32Platform::systemTimeNow() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return fileTimeValue(now);
}

std::optional<std::uint64_t> Win32Platform::millisecondsSinceStart() {
  // Looked up at run time: Windows Vista added it.
  using TickCount64 = ULONGLONG(WINAPI*)();
  const auto ticks = lookUpSystemFunction<TickCount64>(L"kernel32.dll", "GetTickCount64");
  if (ticks == nullptr) return std::nullopt;
  return ticks();
}

void Win32Platform::pause(std::uint32_t milliseconds) { Sleep(milliseconds); }

LocalTime Win32Platform::localTime() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

TextRead Win32Platform::programPath() {
  // GetModuleFileNameW cuts a long path to the buffer without saying how long it is.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) return {GetLastError(), std::wstring()};
    if (length < buffer.size()) {
      buffer.resize(length);
      return {0, buffer};
    }
    if (buffer.size() >= 32768) return {ERROR_INSUFFICIENT_BUFFER, std::wstring()};
    buffer.assign(buffer.size() * 2, L'\0');
  }
}

void Win32Platform::writeStandardOutput(const std::wstring& line) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  const int size = WideCharToMultiByte(CP_ACP, 0, line.c_str(), static_cast<int>(line.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  std::vector<char> narrow(static_cast<std::size_t>(size));
  WideCharToMultiByte(CP_ACP, 0, line.c_str(), static_cast<int>(line.size()), narrow.data(), size,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(out, narrow.data(), static_cast<DWORD>(narrow.size()), &written, nullptr);
}

}  // namespace eldoris
