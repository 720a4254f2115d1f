// Resources, message boxes and the configuration dialog.
#include "win32/system_function.h"
#include "win32/win32_platform.h"

namespace eldoris {

std::optional<std::vector<std::uint8_t>> Win32Platform::stringTableBlock(unsigned block) {
  HRSRC found = FindResourceExW(instance_, RT_STRING, MAKEINTRESOURCEW(block),
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(instance_, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) return std::nullopt;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return std::vector<std::uint8_t>(bytes, bytes + SizeofResource(instance_, found));
}

DesktopView Win32Platform::desktopView() {
  DesktopView view;
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();  // not to be closed
  if (station != nullptr &&
      GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) {
    view.stationVisible = (flags.dwFlags & WSF_VISIBLE) != 0;
  }
  // Windows NT 4.0 lacks it.
  using SessionOf = BOOL(WINAPI*)(DWORD, DWORD*);
  const auto sessionOf = lookUpSystemFunction<SessionOf>(L"kernel32.dll", "ProcessIdToSessionId");
  DWORD session = 0;
  if (sessionOf != nullptr && sessionOf(GetCurrentProcessId(), &session)) view.session = session;
  return view;
}

int Win32Platform::messageBox(const std::wstring& text, const std::wstring& caption,
                              unsigned style) {
  return MessageBoxW(nullptr, text.c_str(), caption.c_str(), style);
}

}  // namespace eldoris
