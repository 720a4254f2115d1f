#include "plugin/package_version.h"

#include "installer/installer_wait.h"
#include "installer/package_search.h"
#include "messages/code_meaning.h"
#include "messages/message_ids.h"
#include "messages/messages.h"
#include "messages/run_log.h"
#include "plugin/version_order.h"

namespace eldoris {

namespace {

// `call` is the Windows Installer function whose answer `result` is.
InstallerResult reportFailure(Platform& platform, MessageId id, InstallerResult result,
                              const wchar_t* call = nullptr) {
  if (call != nullptr) {
    noteCodeSource(platform, result, L"the Windows Installer's answer to " + std::wstring(call));
  }
  showMessage(platform, id, messageText(platform, msg::errorCaption), box::iconError);
  return result;
}

// Owns an open package handle and closes it on every path.
class PackageHandle {
 public:
  explicit PackageHandle(Platform& platform) : platform_(platform) {}
  ~PackageHandle() {
    if (open_) platform_.msiCloseHandle(handle_);
  }
  PackageHandle(const PackageHandle&) = delete;
  PackageHandle& operator=(const PackageHandle&) = delete;

  InstallerResult open(const std::wstring& path) {
    const InstallerResult result = platform_.msiOpenPackage(path, handle_);
    open_ = result == 0;
    return result;
  }
  std::uint32_t get() const { return handle_; }

 private:
  Platform& platform_;
  std::uint32_t handle_ = 0;
  bool open_ = false;
};

}  // namespace

InstallerResult comparePackageVersion(Platform& platform, const std::wstring& productCode,
                                      const std::wstring& packageMask, int& versionOrder) {
  // While another installation runs, the Windows Installer's calls give
  // 1618 (MsiOpenPackageExW first): where nobody is asked, it is waited for.
  const InstallerResult free = waitForWindowsInstaller(platform, L"the version check");
  if (free != 0) return free;
  const TextRead installed = platform.msiGetProductInfo(productCode, L"VersionString");
  if (installed.result != 0) {
    logEvent(platform, L"installed version unreadable (error " + decimal(installed.result) + L")");
    return reportFailure(platform, msg::installedVersionUnreadable, installed.result,
                         L"MsiGetProductInfoW");
  }
  logEvent(platform, L"installed version: " + installed.text);

  std::wstring packagePath;
  const InstallerResult found = findPackageFile(platform, packageMask, packagePath);
  if (found != 0) return reportFailure(platform, msg::packageNotFound, found);
  logEvent(platform, L"package found: " + packagePath);

  PackageHandle package(platform);
  const InstallerResult opened = package.open(packagePath);
  if (opened != 0) {
    logEvent(platform, L"package not opened (error " + decimal(opened) + L")");
    return reportFailure(platform, msg::packageNotOpened, opened, L"MsiOpenPackageExW");
  }

  const TextRead version = platform.msiGetProperty(package.get(), L"ProductVersion");
  if (version.result != 0) {
    logEvent(platform, L"package version unreadable (error " + decimal(version.result) + L")");
    return reportFailure(platform, msg::packageVersionUnreadable, version.result,
                         L"MsiGetPropertyW");
  }

  versionOrder = compareVersionTexts(version.text, installed.text);
  logEvent(platform, L"package version: " + version.text +
                         (versionOrder > 0   ? L", newer than the installed one"
                          : versionOrder < 0 ? L", older than the installed one"
                                             : L", the same as the installed one"));
  return code::success;
}

}  // namespace eldoris
