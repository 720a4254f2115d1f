#include "driver/os_check.h"

#include "messages/message_ids.h"
#include "messages/messages.h"

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

InstallerResult checkOperatingSystem(Platform& platform, bool silent) {
  const std::wstring caption = messageText(platform, msg::productTitle);
  const OsVerdict verdict = judgeWindowsVersion(platform.windowsVersion());
  if (verdict.result != 0 && (!silent || verdict.shownWhenSilent)) {
    showMessage(platform, verdict.message, caption, box::iconError);
  }
  return verdict.result;
}

}  // namespace eldoris
