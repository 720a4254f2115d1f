// The Windows Installer functions, through msi.dll loaded at run time, and
// COM, which they need on the calling thread.
#include <objbase.h>

#include "win32/win32_platform.h"

namespace eldoris {

namespace {

// A missing msi.dll fails every call the way a missing function would.
constexpr UINT unavailable = ERROR_PROC_NOT_FOUND;

std::wstring textUpToNul(const std::wstring& buffer) {
  return buffer.substr(0, buffer.find(L'\0'));
}

}  // namespace

std::uint32_t Win32Platform::initializeCom() {
  return static_cast<std::uint32_t>(CoInitialize(nullptr));
}

void Win32Platform::uninitializeCom() { CoUninitialize(); }

std::uint32_t Win32Platform::msiSetInternalUiNone() {
  const auto& msi = msi_.get();
  if (msi_.loadError() != 0) return msi_.loadError();
  if (msi.setInternalUi == nullptr) return unavailable;
  msi.setInternalUi(INSTALLUILEVEL_NONE, nullptr);
  return 0;
}

Answer<int> Win32Platform::msiQueryProductState(const std::wstring& productCode) {
  const auto& msi = msi_.get();
  if (msi.queryProductState == nullptr) return {unavailable, 0};
  return {0, msi.queryProductState(productCode.c_str())};
}

Answer<int> Win32Platform::msiQueryFeatureState(const std::wstring& productCode,
                                                const std::wstring& feature) {
  const auto& msi = msi_.get();
  if (msi.queryFeatureState == nullptr) return {unavailable, 0};
  return {0, msi.queryFeatureState(productCode.c_str(), feature.c_str())};
}

TextRead Win32Platform::msiGetProductInfo(const std::wstring& productCode,
                                          const std::wstring& property) {
  const auto& msi = msi_.get();
  if (msi.getProductInfo == nullptr) return {unavailable, std::wstring()};
  DWORD length = 0;
  UINT result = msi.getProductInfo(productCode.c_str(), property.c_str(), nullptr, &length);
  if (result != ERROR_SUCCESS) return {result, std::wstring()};
  std::wstring buffer(length + 1, L'\0');
  length += 1;
  result = msi.getProductInfo(productCode.c_str(), property.c_str(), &buffer[0], &length);
  return {result, textUpToNul(buffer)};
}

std::uint32_t Win32Platform::msiOpenPackage(const std::wstring& path, std::uint32_t& handle) {
  const auto& msi = msi_.get();
  if (msi.openPackageEx == nullptr) return unavailable;
  MSIHANDLE opened = 0;
  const UINT result =
      msi.openPackageEx(path.c_str(), MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE, &opened);
  handle = static_cast<std::uint32_t>(opened);
  return result;
}

TextRead Win32Platform::msiGetProperty(std::uint32_t handle, const std::wstring& property) {
  const auto& msi = msi_.get();
  if (msi.getProperty == nullptr) return {unavailable, std::wstring()};
  wchar_t empty[1] = {L'\0'};
  DWORD length = 0;
  UINT result = msi.getProperty(handle, property.c_str(), empty, &length);
  if (result != ERROR_MORE_DATA) return {result, std::wstring()};
  std::wstring buffer(length + 1, L'\0');
  length += 1;
  result = msi.getProperty(handle, property.c_str(), &buffer[0], &length);
  return {result, textUpToNul(buffer)};
}

std::uint32_t Win32Platform::msiCloseHandle(std::uint32_t handle) {
  const auto& msi = msi_.get();
  return msi.closeHandle != nullptr ? msi.closeHandle(handle) : unavailable;
}

std::uint32_t Win32Platform::msiSourceListForceResolution(const std::wstring& productCode) {
  const auto& msi = msi_.get();
  if (msi.sourceListForceResolution == nullptr) return unavailable;
  return msi.sourceListForceResolution(productCode.c_str(), nullptr, 0);
}

std::uint32_t Win32Platform::msiSourceListSetPackageName(const std::wstring& productCode,
                                                         const std::wstring& packageName) {
  const auto& msi = msi_.get();
  if (msi.sourceListSetInfo == nullptr) return unavailable;
  return msi.sourceListSetInfo(productCode.c_str(), nullptr, MSIINSTALLCONTEXT_MACHINE,
                               MSICODE_PRODUCT, L"PackageName", packageName.c_str());
}

}  // namespace eldoris
