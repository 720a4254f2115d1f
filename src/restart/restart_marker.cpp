#include "restart/restart_marker.h"

#include <string>

#include "messages/code_meaning.h"
#include "messages/run_log.h"

namespace eldoris {

namespace {

std::wstring markerPath() { return std::wstring(restartMarkerParent) + L"\\" + restartMarkerName; }

// The view the marker is in; the run stops where the system's bitness
// cannot be read, before the marker is first touched.
std::uint32_t view(RunContext& run) { return registryViewFlag(wow64Of(run).value); }

}  // namespace

std::uint32_t createRestartMarker(RunContext& run) {
  const std::uint32_t result = run.platform.createUserKey(markerPath(), view(run));
  logEvent(run, result == 0
                    ? L"restart marker created"
                    : L"restart marker not created: error " + decimal(result) +
                          (run.restartAsked ? L"; the restart is still due in this run" : L""));
  return result;
}

std::uint32_t isRestartMarkerPresent(RunContext& run, bool& present) {
  const std::uint32_t result = run.platform.openUserKey(markerPath(), view(run));
  present = result == 0;
  logEvent(run, present ? L"restart marker found"
                : result == code::fileNotFound
                    ? L"no restart marker"
                    : L"the restart marker cannot be read (" + windowsErrorMeaning(result) + L")");
  return result;
}

std::uint32_t deleteRestartMarker(RunContext& run) {
  const std::uint32_t result =
      run.platform.deleteUserKey(restartMarkerParent, restartMarkerName, view(run));
  logEvent(run, result == 0 ? L"restart marker deleted"
                            : L"restart marker not deleted: error " + decimal(result));
  return result;
}

std::wstring fileTimeText(std::uint64_t fileTime) {
  // Days from 1601-01-01 to 1970-01-01, then the civil date of a day count
  // from 1970 (Howard Hinnant's days_from_civil, inverted); a FILETIME is
  // never before 1601, so the count from 0000-03-01 is never negative.
  const std::uint64_t seconds = fileTime / 10000000u;
  const std::uint64_t z = seconds / 86400 - 134774 + 719468;
  const std::uint64_t era = z / 146097;
  const auto dayOfEra = static_cast<std::uint32_t>(z - era * 146097);
  const std::uint32_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::uint32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::uint32_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const auto secondOfDay = static_cast<int>(seconds % 86400);
  LocalTime time;
  time.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  time.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0));
  time.hour = secondOfDay / 3600;
  time.minute = secondOfDay / 60 % 60;
  time.second = secondOfDay % 60;
  std::wstring text;
  appendDateTime(text, time, L"-- ::");
  return text + L" UTC";
}

void forgetStaleRestartMarker(RunContext& run) {
  const Answer<std::uint64_t> written = run.platform.userKeyWriteTime(markerPath(), view(run));
  if (written.error == code::fileNotFound) return;  // no marker: the end of the run says so
  if (written.failed()) {
    logEvent(run, L"when the restart marker was written cannot be read (" +
                      windowsErrorMeaning(written.error) + L"): it stays");
    return;
  }
  const std::wstring when = L"restart marker written " + fileTimeText(written.value);
  const auto sinceStart = run.platform.millisecondsSinceStart();
  if (!sinceStart) {
    // GetTickCount's count is the time since the start modulo 49.7 days:
    // a marker it dates before the start may still be due.
    logEvent(run, when +
                      L"; when the system started cannot be told for certain without "
                      L"GetTickCount64 (GetTickCount wraps after 49.7 days): it stays");
    return;
  }
  const std::uint64_t now = run.platform.systemTimeNow();
  const std::wstring start = L" the system started (" + fileTimeText(now - *sinceStart * 10000);
  if (!writtenBeforeStart(written.value, now, *sinceStart)) {
    logEvent(run, when + L", after" + start + L"): it stays");
    return;
  }
  logEvent(run, when + L", before" + start + L"): the restart it asked for has happened; it goes");
  deleteRestartMarker(run);
}

RestartCall restartCallFor(const std::optional<OsVersion>& version) {
  return atLeastWindowsXp(version) ? RestartCall::initiateShutdownEx
                                   : RestartCall::initiateShutdown;
}

RestartRequest restartRequestFor(const std::optional<OsVersion>& version) {
  // At once, so that nothing waits where nobody sees it, and forced: the
  // restart question warns of unsaved work. Recorded as the planned restart
  // of an application's installation.
  constexpr std::uint32_t reason = 0x00040000u     // SHTDN_REASON_MAJOR_APPLICATION
                                   | 0x00000002u   // SHTDN_REASON_MINOR_INSTALLATION
                                   | 0x80000000u;  // SHTDN_REASON_FLAG_PLANNED
  return {restartCallFor(version), 0, true, reason};
}

const wchar_t* restartCallName(RestartCall call) {
  switch (call) {
    case RestartCall::initiateShutdownEx:
      return L"InitiateSystemShutdownExW";
    case RestartCall::initiateShutdown:
      return L"InitiateSystemShutdownW";
  }
  return L"";
}

}  // namespace eldoris
