// Resources, message boxes and the configuration dialog.
#include "win32/last_error.h"
#include "win32/system_function.h"
#include "win32/win32_platform.h"

namespace eldoris {

namespace {}  // namespace

Answer<std::vector<std::uint8_t>> Win32Platform::stringTableBlock(unsigned block) {
  HRSRC found = FindResourceExW(instance_, RT_STRING, MAKEINTRESOURCEW(block),
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  if (found == nullptr) return {lastErrorOr(ERROR_RESOURCE_NAME_NOT_FOUND), {}};
  HGLOBAL loaded = LoadResource(instance_, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) return {lastErrorOr(ERROR_RESOURCE_DATA_NOT_FOUND), {}};
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return {0, std::vector<std::uint8_t>(bytes, bytes + SizeofResource(instance_, found))};
}

DesktopView Win32Platform::desktopView() {
  DesktopView view;
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();  // not to be closed
  if (station != nullptr &&
      GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) {
    view.stationVisible.value = (flags.dwFlags & WSF_VISIBLE) != 0;
  } else {
    view.stationVisible.error = lastErrorOr(ERROR_INVALID_HANDLE);
  }
  // Windows NT 4.0 lacks it.
  using SessionOf = BOOL(WINAPI*)(DWORD, DWORD*);
  const auto sessionOf = lookUpSystemFunction<SessionOf>(L"kernel32.dll", "ProcessIdToSessionId");
  DWORD session = 0;
  if (sessionOf == nullptr) {
    view.session.error = ERROR_PROC_NOT_FOUND;
  } else if (sessionOf(GetCurrentProcessId(), &session)) {
    view.session.value = session;
  } else {
    view.session.error = lastErrorOr(ERROR_INVALID_PARAMETER);
  }
  return view;
}

Answer<int> Win32Platform::messageBox(const std::wstring& text, const std::wstring& caption,
                                      unsigned style) {
  SetLastError(0);
  const int button = MessageBoxW(nullptr, text.c_str(), caption.c_str(), style);
  // 0: "If the function fails, the return value is zero."
  return {button == 0 ? lastErrorOr(ERROR_FUNCTION_FAILED) : 0, button};
}

}  // namespace eldoris
