// Registry keys under HKEY_CURRENT_USER, in the view the caller asks for.
#include "win32/win32_platform.h"

namespace eldoris {

namespace {

class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

// Looked up once: advapi32 of 32-bit Windows XP and of Windows 2000 lacks it.
DeleteKeyEx deleteKeyEx() {
  static bool lookedUp = false;
  static DeleteKeyEx function = nullptr;
  if (!lookedUp) {
    lookedUp = true;
    HMODULE advapi = GetModuleHandleW(L"Advapi32.dll");
    if (advapi != nullptr) {
      function = reinterpret_cast<DeleteKeyEx>(
          reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")));
    }
  }
  return function;
}

}  // namespace

std::uint32_t Win32Platform::createUserKey(const std::wstring& path, std::uint32_t view) {
  Key key;
  return static_cast<std::uint32_t>(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                    KEY_READ | KEY_WRITE | view, nullptr, key.out(),
                                                    nullptr));
}

std::uint32_t Win32Platform::openUserKey(const std::wstring& path, std::uint32_t view) {
  Key key;
  return static_cast<std::uint32_t>(
      RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ | view, key.out()));
}

std::uint32_t Win32Platform::deleteUserKey(const std::wstring& parent, const std::wstring& name,
                                           std::uint32_t view) {
  Key key;
  const LONG opened =
      RegOpenKeyExW(HKEY_CURRENT_USER, parent.c_str(), 0, KEY_READ | KEY_WRITE | view, key.out());
  if (opened != ERROR_SUCCESS) return static_cast<std::uint32_t>(opened);
  // Only RegDeleteKeyExW takes a view; without one RegDeleteKeyW does the same.
  DeleteKeyEx deleteEx = view != 0 ? deleteKeyEx() : nullptr;
  const LONG deleted = deleteEx != nullptr ? deleteEx(key.get(), name.c_str(), view, 0)
                                           : RegDeleteKeyW(key.get(), name.c_str());
  return static_cast<std::uint32_t>(deleted);
}

Answer<std::uint64_t> Win32Platform::userKeyWriteTime(const std::wstring& path,
                                                      std::uint32_t view) {
  Key key;
  const LONG opened = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ | view, key.out());
  if (opened != ERROR_SUCCESS) return {static_cast<std::uint32_t>(opened), 0};
  FILETIME written{};
  const LONG read = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, &written);
  if (read != ERROR_SUCCESS) return {static_cast<std::uint32_t>(read), 0};
  return {0, fileTimeValue(written)};
}

}  // namespace eldoris
