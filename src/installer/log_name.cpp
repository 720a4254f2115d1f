#include "installer/log_name.h"

#include <string>

#include "messages/message_ids.h"
#include "messages/messages.h"

namespace eldoris {

std::wstring formatTimestamp(Platform& platform) {
  std::wstring stamp = formatTimestamp(platform.localTime());
  platform.writeStandardOutput(stamp + L"\n");
  return stamp;
}

InstallerResult makeLogPath(Platform& platform, const std::wstring& baseName, bool silent,
                            std::wstring& path) {
  TextRead tmp = platform.environmentVariable(L"TMP");
  // An empty TMP would put the log at the root of the current drive.
  if (tmp.result == 0 && tmp.text.empty()) tmp.result = code::envVarNotFound;
  if (tmp.result != 0) {
    logEvent(platform,
             L"TMP unreadable (error " + decimal(tmp.result) + L"): no installer log can be named");
    showMessage(platform, msg::environmentUnreadable, messageText(platform, msg::errorCaption),
                box::iconError, silent);
    return tmp.result;
  }
  path = tmp.text + L"\\" + baseName + L"_" + formatTimestamp(platform) + L".log";
  return code::success;
}

}  // namespace eldoris
