#include "installer/log_name.h"

#include <string>

#include "driver/message_ids.h"
#include "driver/messages.h"

namespace eldoris {

namespace {

// Appends `value` with at least `digits` digits, padded with zeros.
void appendPadded(std::wstring& text, int value, std::size_t digits) {
  const std::wstring number = std::to_wstring(value);
  if (number.size() < digits) text.append(digits - number.size(), L'0');
  text += number;
}

}  // namespace

std::wstring formatTimestamp(const LocalTime& time) {
  std::wstring stamp;
  appendPadded(stamp, time.year, 4);
  for (const int part : {time.month, time.day, time.hour, time.minute, time.second}) {
    stamp += L'-';
    appendPadded(stamp, part, 2);
  }
  return stamp;
}

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
    if (!silent) {
      showMessage(platform, msg::environmentUnreadable, messageText(platform, msg::errorCaption),
                  box::iconError);
    }
    return tmp.result;
  }
  path = tmp.text + L"\\" + baseName + L"_" + formatTimestamp(platform) + L".log";
  return code::success;
}

}  // namespace eldoris
