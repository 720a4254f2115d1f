// Registry keys under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, in the view
// the caller asks for; and the computer's name, which the system reads from it.
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

std::uint32_t deleteKey(HKEY root, const std::wstring& parent, const std::wstring& name,
                        std::uint32_t view) {
  Key key;
  const LONG opened =
      RegOpenKeyExW(root, parent.c_str(), 0, KEY_READ | KEY_WRITE | view, key.out());
  if (opened != ERROR_SUCCESS) return static_cast<std::uint32_t>(opened);
  // Only RegDeleteKeyExW takes a view; without one RegDeleteKeyW does the same.
  DeleteKeyEx deleteEx = view != 0 ? deleteKeyEx() : nullptr;
  const LONG deleted = deleteEx != nullptr ? deleteEx(key.get(), name.c_str(), view, 0)
                                           : RegDeleteKeyW(key.get(), name.c_str());
  return static_cast<std::uint32_t>(deleted);
}

Answer<std::uint64_t> keyWriteTime(HKEY root, const std::wstring& path, std::uint32_t view) {
  Key key;
  const LONG opened = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.out());
  if (opened != ERROR_SUCCESS) return {static_cast<std::uint32_t>(opened), 0};
  FILETIME written{};
  const LONG read = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, &written);
  if (read != ERROR_SUCCESS) return {static_cast<std::uint32_t>(read), 0};
  return {0, fileTimeValue(written)};
}

}  // namespace

std::uint32_t Win32Platform::createUserKey(const std::wstring& path, std::uint32_t view) {
  Key key;
  return static_cast<std::uint32_t>(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                    KEY_READ | KEY_WRITE | view, nullptr, key.out(),
                                                    nullptr));
}

std::uint32_t Win32Platform::deleteUserKey(const std::wstring& parent, const std::wstring& name,
                                           std::uint32_t view) {
  return deleteKey(HKEY_CURRENT_USER, parent, name, view);
}

Answer<std::uint64_t> Win32Platform::userKeyWriteTime(const std::wstring& path,
                                                      std::uint32_t view) {
  return keyWriteTime(HKEY_CURRENT_USER, path, view);
}

Answer<bool> Win32Platform::createMachineKey(const std::wstring& path, std::uint32_t view,
                                             bool volatileKey) {
  Key key;
  DWORD disposition = 0;
  const LONG created =
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                      volatileKey ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE,
                      KEY_READ | KEY_WRITE | view, nullptr, key.out(), &disposition);
  return {static_cast<std::uint32_t>(created), disposition == REG_CREATED_NEW_KEY};
}

std::uint32_t Win32Platform::deleteMachineKey(const std::wstring& parent, const std::wstring& name,
                                              std::uint32_t view) {
  return deleteKey(HKEY_LOCAL_MACHINE, parent, name, view);
}

Answer<std::uint64_t> Win32Platform::machineKeyWriteTime(const std::wstring& path,
                                                         std::uint32_t view) {
  return keyWriteTime(HKEY_LOCAL_MACHINE, path, view);
}

TextRead Win32Platform::readUserValue(const std::wstring& path, const std::wstring& name,
                                      std::uint32_t view) {
  Key key;
  const LONG opened = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ | view, key.out());
  if (opened != ERROR_SUCCESS) return {static_cast<std::uint32_t>(opened), std::wstring()};
  // A text of the program's own: a few dozen characters at most.
  wchar_t text[64] = {};
  DWORD type = 0;
  DWORD size = sizeof text - sizeof text[0];  // room for the terminator it may lack
  const LONG read = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(text), &size);
  if (read != ERROR_SUCCESS) return {static_cast<std::uint32_t>(read), std::wstring()};
  if (type != REG_SZ) return {ERROR_INVALID_DATA, std::wstring()};
  const std::wstring value(text, size / sizeof text[0]);
  return {0, value.substr(0, value.find(L'\0'))};
}

std::uint32_t Win32Platform::writeUserValue(const std::wstring& path, const std::wstring& name,
                                            const std::wstring& text, std::uint32_t view) {
  Key key;
  const LONG opened =
      RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ | KEY_WRITE | view, key.out());
  if (opened != ERROR_SUCCESS) return static_cast<std::uint32_t>(opened);
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);  // with the terminator
  return static_cast<std::uint32_t>(RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                                   reinterpret_cast<const BYTE*>(text.c_str()),
                                                   static_cast<DWORD>(bytes)));
}

Answer<std::vector<std::wstring>> Win32Platform::userValueNames(const std::wstring& path,
                                                                std::uint32_t view) {
  Key key;
  const LONG opened = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ | view, key.out());
  if (opened != ERROR_SUCCESS) return {static_cast<std::uint32_t>(opened), {}};
  std::vector<std::wstring> names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[64];  // the program's own names are shorter; a longer one is not one of them
    DWORD length = sizeof name / sizeof name[0];
    const LONG read =
        RegEnumValueW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (read == ERROR_NO_MORE_ITEMS) return {0, names};
    if (read == ERROR_MORE_DATA) continue;
    if (read != ERROR_SUCCESS) return {static_cast<std::uint32_t>(read), {}};
    names.emplace_back(name, length);
  }
}

std::uint32_t Win32Platform::deleteUserValue(const std::wstring& path, const std::wstring& name,
                                             std::uint32_t view) {
  Key key;
  const LONG opened =
      RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE | view, key.out());
  if (opened != ERROR_SUCCESS) return static_cast<std::uint32_t>(opened);
  return static_cast<std::uint32_t>(RegDeleteValueW(key.get(), name.c_str()));
}

Answer<std::wstring> Win32Platform::computerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return {GetLastError(), std::wstring()};
  return {0, std::wstring(name, size)};
}

}  // namespace eldoris
