// bench-probe: only the Windows Installer calls of a bootstrapper's run, with
// msi.dll loaded as the bootstrapper loads it (at run time, by full path from
// the system directory). The yardsticks for those runs.
//
//   bench-probe.exe PACKAGE-PATH   the calls of a run with nothing to do
//   bench-probe.exe -state         those before a fresh installation's msiexec
//
// Exit code: 0 when the product is installed and the package's version equals
// the installed one (the case it stands for), or after -state; 1 otherwise;
// 2 on a failed call.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

namespace {

const wchar_t kProduct[] = L"{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}";

// A zeroed text buffer; no C++ library strings, to keep the probe small.
struct Text {
  wchar_t* p;
  explicit Text(DWORD chars)
      : p(static_cast<wchar_t*>(LocalAlloc(LPTR, chars * sizeof(wchar_t)))) {}
  ~Text() { LocalFree(p); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
};

template <typename F>
F entry(HMODULE m, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The run-time's own argument split: CommandLineToArgvW would pull in shell32.
  if (__argc != 2) return 2;
  const wchar_t* packagePath = __wargv[1];

  wchar_t dir[MAX_PATH];
  UINT len = GetSystemDirectoryW(dir, MAX_PATH);
  if (len == 0 || len + 9 > MAX_PATH) return 2;  // room for "\msi.dll"
  lstrcpyW(dir + len, L"\\msi.dll");
  HMODULE msi = LoadLibraryExW(dir, nullptr, 0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
  if (!msi) return 2;
  auto setInternalUi =
      entry<INSTALLUILEVEL(WINAPI*)(INSTALLUILEVEL, HWND*)>(msi, "MsiSetInternalUI");
  auto queryState = entry<INSTALLSTATE(WINAPI*)(LPCWSTR)>(msi, "MsiQueryProductStateW");
  auto productInfo =
      entry<UINT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD)>(msi, "MsiGetProductInfoW");
  auto openPackage = entry<UINT(WINAPI*)(LPCWSTR, DWORD, MSIHANDLE*)>(msi, "MsiOpenPackageExW");
  auto getProperty =
      entry<UINT(WINAPI*)(MSIHANDLE, LPCWSTR, LPWSTR, LPDWORD)>(msi, "MsiGetPropertyW");
  auto closeHandle = entry<UINT(WINAPI*)(MSIHANDLE)>(msi, "MsiCloseHandle");
  if (!setInternalUi || !queryState || !productInfo || !openPackage || !getProperty ||
      !closeHandle) {
    return 2;
  }

  // The bootstrapper's calls in its order; each text in two calls (size, then value).
  setInternalUi(INSTALLUILEVEL_NONE, nullptr);
  const bool installed = queryState(kProduct) == INSTALLSTATE_DEFAULT;
  if (lstrcmpW(packagePath, L"-state") == 0) return 0;
  DWORD n = 0;
  if (productInfo(kProduct, L"VersionString", nullptr, &n) != ERROR_SUCCESS) return 2;
  Text installedVersion(++n);
  if (productInfo(kProduct, L"VersionString", installedVersion.p, &n) != ERROR_SUCCESS) return 2;

  MSIHANDLE package = 0;
  if (openPackage(packagePath, MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE, &package) != ERROR_SUCCESS)
    return 2;
  wchar_t empty[1] = {L'\0'};
  n = 0;
  UINT r = getProperty(package, L"ProductVersion", empty, &n);
  Text packageVersion(r == ERROR_MORE_DATA ? ++n : 1);
  if (r == ERROR_MORE_DATA) r = getProperty(package, L"ProductVersion", packageVersion.p, &n);
  closeHandle(package);
  if (r != ERROR_SUCCESS) return 2;
  return installed && lstrcmpW(packageVersion.p, installedVersion.p) == 0 ? 0 : 1;
}
