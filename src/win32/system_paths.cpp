#include "win32/system_paths.h"

#include "platform/types.h"
#include "win32/system_function.h"

namespace eldoris {

namespace {

// Absent from the headers of old SDKs and from old systems; looked up by name.
constexpr DWORD searchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);

bool hasDefaultDllDirectories() {
  return lookUpSystemFunction<SetDefaultDirectories>(L"kernel32.dll", "SetDefaultDllDirectories") !=
         nullptr;
}

}  // namespace

void restrictDllSearchToSystemDirectory() {
  const auto setDefault =
      lookUpSystemFunction<SetDefaultDirectories>(L"kernel32.dll", "SetDefaultDllDirectories");
  if (setDefault != nullptr) setDefault(searchSystem32);
  // Also takes the current directory out of the search on systems without
  // SetDefaultDllDirectories.
  using SetDirectory = BOOL(WINAPI*)(LPCWSTR);
  const auto setDirectory = lookUpSystemFunction<SetDirectory>(L"kernel32.dll", "SetDllDirectoryW");
  if (setDirectory != nullptr) setDirectory(L"");
}

std::wstring readSystemDirectory(DWORD& error) {
  error = 0;
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const UINT length = GetSystemDirectoryW(&buffer[0], static_cast<UINT>(buffer.size()));
    if (length == 0) {
      error = GetLastError();
      return std::wstring();
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(length, L'\0');  // too small: `length` includes the terminator
  }
}

HMODULE loadSystemLibrary(const wchar_t* name) {
  DWORD error = 0;
  const std::wstring directory = readSystemDirectory(error);
  if (directory.empty()) return nullptr;
  const std::wstring path = directory + L"\\" + name;
  return LoadLibraryExW(path.c_str(), nullptr, systemLibraryLoadFlags(hasDefaultDllDirectories()));
}

}  // namespace eldoris
