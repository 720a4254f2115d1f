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
InstallerResult reportFailure(RunContext& run, MessageId id, InstallerResult result,
                              const wchar_t* call = nullptr) {
  if (call != nullptr) {
    const InstallerResult answer = result;
    result = failedCallResult(answer);
    noteCodeSource(run, result,
                   L"the Windows Installer's answer to " + std::wstring(call) +
                       (result != answer ? L": " + windowsErrorMeaning(answer) : std::wstring()));
  }
  showMessage(run, id, msg::errorCaption, box::iconError);
  return result;
}

// Owns an open package handle and closes it on every path; a close that
// fails is logged, and changes nothing else.
class PackageHandle {
 public:
  explicit PackageHandle(RunContext& run) : run_(run) {}
  ~PackageHandle() {
    if (!open_) return;
    const std::uint32_t closed = run_.platform.msiCloseHandle(handle_);
    if (closed != 0)
      logEvent(run_, L"the package's handle was not closed: " + windowsErrorMeaning(closed));
  }
  PackageHandle(const PackageHandle&) = delete;
  PackageHandle& operator=(const PackageHandle&) = delete;

  InstallerResult open(const std::wstring& path) {
    const InstallerResult result = run_.platform.msiOpenPackage(path, handle_);
    open_ = result == 0;
    return result;
  }
  std::uint32_t get() const { return handle_; }

 private:
  RunContext& run_;
  std::uint32_t handle_ = 0;
  bool open_ = false;
};

// COM on the program's thread only while the package is open, which
// MsiOpenPackageExW asks for: a single-threaded apartment that then waits
// without pumping messages can hang programs that broadcast window messages
// (KB136885), and the run goes on to wait for msiexec and for a busy
// Windows Installer. Uninitialised when the call succeeded (S_OK) or COM
// already was (S_FALSE).
class ComWhileThePackageIsOpen {
 public:
  explicit ComWhileThePackageIsOpen(RunContext& run) : platform_(run.platform) {
    const std::uint32_t result = platform_.initializeCom();
    owed_ = result == 0 || result == 1;
    if (!owed_) logEvent(run, L"COM not initialised: HRESULT " + hexadecimal(result));
  }
  ~ComWhileThePackageIsOpen() {
    if (owed_) platform_.uninitializeCom();
  }
  ComWhileThePackageIsOpen(const ComWhileThePackageIsOpen&) = delete;
  ComWhileThePackageIsOpen& operator=(const ComWhileThePackageIsOpen&) = delete;

 private:
  Platform& platform_;
  bool owed_ = false;
};

}  // namespace

InstallerResult comparePackageVersion(RunContext& run, const std::wstring& productCode,
                                      const std::wstring& packageMask, int& versionOrder,
                                      std::wstring& installedVersion) {
  // While another installation runs, the Windows Installer's calls give
  // 1618 (MsiOpenPackageExW first): where nobody is asked, it is waited for.
  const InstallerResult free = waitForWindowsInstaller(run, L"the version check");
  if (free != 0) return free;
  const TextRead installed = run.platform.msiGetProductInfo(productCode, L"VersionString");
  if (installed.result != 0) {
    logEvent(run, L"installed version unreadable (error " + decimal(installed.result) + L")");
    return reportFailure(run, msg::installedVersionUnreadable, installed.result,
                         L"MsiGetProductInfoW");
  }
  logEvent(run, L"installed version: " + installed.text);
  installedVersion = installed.text;

  std::wstring packagePath;
  const InstallerResult found = findPackageFile(run, packageMask, packagePath);
  if (found != 0) return reportFailure(run, msg::packageNotFound, found);
  logEvent(run, L"package found: " + packagePath);

  // Declared first: the package is closed before COM goes.
  const ComWhileThePackageIsOpen com(run);
  PackageHandle package(run);
  const InstallerResult opened = package.open(packagePath);
  if (opened != 0) {
    logEvent(run, L"package not opened (error " + decimal(opened) + L")");
    return reportFailure(run, msg::packageNotOpened, opened, L"MsiOpenPackageExW");
  }

  const TextRead version = run.platform.msiGetProperty(package.get(), L"ProductVersion");
  if (version.result != 0) {
    logEvent(run, L"package version unreadable (error " + decimal(version.result) + L")");
    return reportFailure(run, msg::packageVersionUnreadable, version.result, L"MsiGetPropertyW");
  }

  versionOrder = compareVersionTexts(version.text, installed.text);
  logEvent(run, L"package version: " + version.text +
                    (versionOrder > 0   ? L", newer than the installed one"
                     : versionOrder < 0 ? L", older than the installed one"
                                        : L", the same as the installed one"));
  return code::success;
}

}  // namespace eldoris
