#include "driver/os_check.h"

#include "messages/code_meaning.h"
#include "messages/message_ids.h"
#include "messages/messages.h"
#include "messages/run_log.h"

namespace eldoris {

OsVerdict judgeWindowsVersion(const std::optional<OsVersion>& version) {
  if (!version) return {2, msg::versionUnreadable, false};
  if (version->major < 5) return {windowsTooOldResult, msg::windowsTooOld, true};
  if (version->major == 5) {
    const auto sp = version->servicePackMajor;
    switch (version->minor) {
      case 0:
        if (sp < 4) return {3, msg::windows2000NeedsSp4, false};
        break;
      case 1:
        if (sp < 2) return {4, msg::windowsXpNeedsSp2, false};
        break;
      case 2:
        if (sp < 2) return {5, msg::windows2003NeedsSp2, false};
        break;
      default:
        break;
    }
  }
  return {};
}

std::wstring kernelVersionNote(const std::optional<OsVersion>& reported,
                               const std::optional<OsVersion>& kernel) {
  if (!reported || !kernel ||
      (kernel->major == reported->major && kernel->minor == reported->minor)) {
    return std::wstring();
  }
  return L"; the system is " + decimal(kernel->major) + L"." + decimal(kernel->minor) + L"." +
         decimal(kernel->build) + L" (RtlGetVersion: the manifest names no Windows after 7)";
}

InstallerResult checkOperatingSystem(RunContext& run, bool silent) {
  const std::optional<OsVersion>& version = versionOf(run);
  // Which package fits, and which registry view the marker is in, hang on it.
  const Answer<bool>& underWow64 = wow64Of(run);
  if (underWow64.failed()) {
    return failedCall(run, L"IsWow64Process (whether the system is 64-bit)", underWow64.error);
  }
  const std::wstring wow64 = underWow64.value ? L", WOW64: yes" : L", WOW64: no";
  if (version) {
    logEvent(run, L"Windows " + decimal(version->major) + L"." + decimal(version->minor) +
                      (version->basicRecord
                           ? std::wstring(L", service pack unknown (basic version record)")
                           : L", service pack " + decimal(version->servicePackMajor)) +
                      wow64 + kernelVersionNote(version, run.platform.kernelVersion()));
  } else {
    logEvent(run, L"Windows version unreadable" + wow64);
  }
  const OsVerdict verdict = judgeWindowsVersion(version);
  if (verdict.result != 0) {
    showMessage(run, verdict.message, msg::productTitle, box::iconError,
                silent && !verdict.shownWhenSilent);
  }
  return verdict.result;
}

}  // namespace eldoris
