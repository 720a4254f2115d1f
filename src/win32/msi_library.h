// msi.dll, loaded once at run time from the system directory.
//
// It is not a Known DLL, so importing it would let a DLL planted beside an
// elevated bootstrapper (a Downloads folder) be loaded in its place.
#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

namespace eldoris {

class MsiLibrary {
 public:
  MsiLibrary() = default;
  ~MsiLibrary();
  MsiLibrary(const MsiLibrary&) = delete;
  MsiLibrary& operator=(const MsiLibrary&) = delete;

  using SetInternalUi = INSTALLUILEVEL(WINAPI*)(INSTALLUILEVEL, HWND*);
  using QueryProductState = INSTALLSTATE(WINAPI*)(LPCWSTR);
  using QueryFeatureState = INSTALLSTATE(WINAPI*)(LPCWSTR, LPCWSTR);
  using GetProductInfo = UINT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);
  using OpenPackageEx = UINT(WINAPI*)(LPCWSTR, DWORD, MSIHANDLE*);
  using GetProperty = UINT(WINAPI*)(MSIHANDLE, LPCWSTR, LPWSTR, LPDWORD);
  using CloseHandle = UINT(WINAPI*)(MSIHANDLE);
  using SourceListForceResolution = UINT(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
  using SourceListSetInfo = UINT(WINAPI*)(LPCWSTR, LPCWSTR, MSIINSTALLCONTEXT, DWORD, LPCWSTR,
                                          LPCWSTR);

  struct Functions {
    SetInternalUi setInternalUi = nullptr;
    QueryProductState queryProductState = nullptr;
    QueryFeatureState queryFeatureState = nullptr;
    GetProductInfo getProductInfo = nullptr;
    OpenPackageEx openPackageEx = nullptr;
    GetProperty getProperty = nullptr;
    CloseHandle closeHandle = nullptr;
    SourceListForceResolution sourceListForceResolution = nullptr;
    SourceListSetInfo sourceListSetInfo = nullptr;
  };

  // The entry points, loading the library on first use; missing ones are null.
  const Functions& get();
  // Why the library could not be loaded; 0 where it was (or is not yet tried).
  DWORD loadError() const { return loadError_; }

 private:
  bool attempted_ = false;
  DWORD loadError_ = 0;
  HMODULE module_ = nullptr;
  Functions functions_;
};

}  // namespace eldoris
