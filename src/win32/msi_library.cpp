#include "win32/msi_library.h"

#include "win32/last_error.h"
#include "win32/system_paths.h"

namespace eldoris {

namespace {

template <typename Function>
void resolve(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

MsiLibrary::~MsiLibrary() {
  if (module_ != nullptr) FreeLibrary(module_);
}

const MsiLibrary::Functions& MsiLibrary::get() {
  if (attempted_) return functions_;
  attempted_ = true;
  module_ = loadSystemLibrary(L"msi.dll");
  if (module_ == nullptr) {
    loadError_ = lastErrorOr(ERROR_MOD_NOT_FOUND);
    return functions_;
  }
  resolve(module_, "MsiSetInternalUI", functions_.setInternalUi);
  resolve(module_, "MsiQueryProductStateW", functions_.queryProductState);
  resolve(module_, "MsiQueryFeatureStateW", functions_.queryFeatureState);
  resolve(module_, "MsiGetProductInfoW", functions_.getProductInfo);
  resolve(module_, "MsiOpenPackageExW", functions_.openPackageEx);
  resolve(module_, "MsiGetPropertyW", functions_.getProperty);
  resolve(module_, "MsiCloseHandle", functions_.closeHandle);
  resolve(module_, "MsiSourceListForceResolutionW", functions_.sourceListForceResolution);
  resolve(module_, "MsiSourceListSetInfoW", functions_.sourceListSetInfo);
  return functions_;
}

}  // namespace eldoris
