#include "installer/log_name.h"

#include <string>

#include "messages/code_meaning.h"
#include "messages/message_ids.h"
#include "messages/messages.h"

namespace eldoris {

std::wstring formatTimestamp(Platform& platform) {
  std::wstring stamp = formatTimestamp(platform.localTime());
  platform.writeStandardOutput(stamp + L"\n");
  return stamp;
}

InstallerResult makeLogPath(RunContext& run, const std::wstring& baseName, bool silent,
                            std::wstring& path) {
  if (!run.installerLogStem.empty()) {
    const std::wstring wanted = run.installerLogStem + L"_" + baseName + L".log";
    // The folder was judged, or made, with the run's own log.
    const NewLog log = placeLog(run.platform, wanted);
    if (!log.file) {
      logEvent(run, L"installer log: " + wanted + L" cannot be written (error " +
                        decimal(log.error) + L")");
      return code::logFailure;
    }
    if (!log.besideBecause.empty()) {
      logEvent(run, L"installer log: " + wanted + L" is not replaced (" + log.besideBecause +
                        L"); written beside it");
    }
    path = log.path;
    return code::success;
  }
  TextRead tmp = run.platform.environmentVariable(L"TMP");
  // An empty TMP would put the log at the root of the current drive.
  if (tmp.result == 0 && tmp.text.empty()) tmp.result = code::envVarNotFound;
  if (tmp.result != 0) {
    // Unset: the program's own 203; a read that failed: that call's code.
    const InstallerResult result = tmp.result == code::envVarNotFound
                                       ? tmp.result
                                       : failedCall(run, L"reading TMP", tmp.result);
    logEvent(run,
             L"TMP unreadable (error " + decimal(tmp.result) + L"): no installer log can be named");
    showMessage(run, msg::environmentUnreadable, msg::errorCaption, box::iconError, silent);
    return result;
  }
  const NewLog log = createLogFile(run.platform, tmp.text, baseName, formatTimestamp(run.platform));
  if (log.file) {
    path = log.path;
    return code::success;
  }
  if (log.error == code::fileExists) {
    logEvent(run, L"installer log: every name like " + log.path +
                      L" is taken by files that the program did not make");
    return log.error;
  }
  // A name the program did not make is never handed on: it may be another
  // user's, pending deletion (CreateFileW then answers "access denied").
  logEvent(run, L"installer log: " + log.path + L" cannot be created (" +
                    windowsErrorMeaning(log.error) + L"); the installer is not started");
  return code::logFailure;
}

}  // namespace eldoris
