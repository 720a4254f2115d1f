// worldstate: reads and resets what an end-to-end case leaves in its Wine world,
// each in one process start. Built 64-bit for speed: the Windows Installer's
// records are not redirected, so the bootstrapper (32-bit) gets the same answers.
//
//   worldstate.exe query PRODUCT FEATURE RESULT
//       RESULT (UTF-8) gets "state=N" (MsiQueryProductStateW), "feature=N"
//       (MsiQueryFeatureStateW), "version=TEXT" (VersionString, empty when it
//       cannot be read) and "marker=1" or "marker=0" (whether the restart
//       marker's key opens in the 32-bit view).
//   worldstate.exe reset PRODUCT [VERSION]
//       removes the product if the Windows Installer knows it, the restart
//       marker with any subkeys and Wine's Windows version, then sets that
//       version if one is given ("nt40", "win2k", ...). Exits with 0, or the
//       Windows error of the step that failed.
//   worldstate.exe hold MILLISECONDS READY
//       holds Global\_MSIExecute as the Windows Installer does while it
//       installs (Wine's own installations do not), creates READY once it
//       holds it, and releases it after MILLISECONDS.
#include <windows.h>
#include <msi.h>

#include <string>

#include "utf8_io.h"

namespace {

const wchar_t kMarker[] = L"Software\\NeedBstrReboot";
const wchar_t kWine[] = L"Software\\Wine";

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

bool markerPresent() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kMarker, 0, KEY_READ | KEY_WOW64_32KEY, &key) != 0)
    return false;
  RegCloseKey(key);
  return true;
}

int query(const wchar_t* product, const wchar_t* feature, const wchar_t* resultPath) {
  std::string out = "state=" + std::to_string((int)MsiQueryProductStateW(product)) + "\n";
  out += "feature=" + std::to_string((int)MsiQueryFeatureStateW(product, feature)) + "\n";
  out += "version=" + helper::narrow(productVersion(product)) + "\n";
  out += std::string("marker=") + (markerPresent() ? "1" : "0") + "\n";
  return helper::writeFile(resultPath, out, false) ? 0 : 3;
}

LONG setWineVersion(const wchar_t* version) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, kWine, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  if (version) {
    const DWORD bytes = (DWORD)((wcslen(version) + 1) * sizeof(wchar_t));
    rc = RegSetValueExW(key, L"Version", 0, REG_SZ, (const BYTE*)version, bytes);
  } else {
    rc = RegDeleteValueW(key, L"Version");
    if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
  }
  RegCloseKey(key);
  return rc;
}

int reset(const wchar_t* product, const wchar_t* version) {
  if (MsiQueryProductStateW(product) != INSTALLSTATE_UNKNOWN) {
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    const UINT removed =
        MsiConfigureProductExW(product, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT, L"");
    if (removed != ERROR_SUCCESS) return (int)removed;
  }
  LONG rc = RegDeleteTreeW(HKEY_CURRENT_USER, kMarker);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return (int)rc;
  return (int)setWineVersion(version);
}

int hold(const wchar_t* milliseconds, const wchar_t* ready) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Global\\_MSIExecute");
  if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) return 3;
  const int rc = helper::writeFile(ready, "held\n", false) ? 0 : 3;
  Sleep((DWORD)wcstoul(milliseconds, nullptr, 10));
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  return rc;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 2;
  int rc = 2;
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"query" && argc == 5)
    rc = query(argv[2], argv[3], argv[4]);
  else if (command == L"reset" && (argc == 3 || argc == 4))
    rc = reset(argv[2], argc == 4 ? argv[3] : nullptr);
  else if (command == L"hold" && argc == 4)
    rc = hold(argv[2], argv[3]);
  LocalFree(argv);
  return rc;
}
