// msistate: reports what the Windows Installer knows of a product, as the
// bootstrapper (a 32-bit process) sees it.
//
//   msistate.exe PRODUCT-CODE FEATURE RESULT
//
// RESULT (UTF-8) gets three lines: "state=N" (MsiQueryProductStateW),
// "feature=N" (MsiQueryFeatureStateW) and "version=TEXT" (VersionString,
// empty when it cannot be read).
#include <windows.h>
#include <msi.h>

#include <string>

#include "utf8_io.h"

namespace {

std::wstring productVersion(const wchar_t* product) {
  DWORD len = 0;
  if (MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, nullptr, &len) != ERROR_SUCCESS)
    return {};
  std::wstring v(++len, L'\0');
  if (MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, &v[0], &len) != ERROR_SUCCESS)
    return {};
  v.resize(len);
  return v;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 2;
  int rc = 2;
  if (argc == 4) {
    std::string out = "state=" + std::to_string((int)MsiQueryProductStateW(argv[1])) + "\n";
    out += "feature=" + std::to_string((int)MsiQueryFeatureStateW(argv[1], argv[2])) + "\n";
    out += "version=" + helper::narrow(productVersion(argv[1])) + "\n";
    HANDLE h = CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      DWORD put = 0;
      rc = WriteFile(h, out.data(), (DWORD)out.size(), &put, nullptr) && put == out.size() ? 0 : 3;
      CloseHandle(h);
    }
  }
  LocalFree(argv);
  return rc;
}
