#include "restart/restart_marker.h"

#include <string>

#include "messages/code_meaning.h"
#include "messages/run_log.h"
#include "restart/system_start.h"
#include "text/ascii.h"

namespace eldoris {

namespace {

std::wstring markerPath() { return std::wstring(restartMarkerParent) + L"\\" + restartMarkerName; }

// The view the marker is in; the run stops where the system's bitness
// cannot be read, before the marker is first touched.
std::uint32_t view(RunContext& run) { return registryViewFlag(wow64Of(run).value); }

// This computer's value in the marker; empty where its name cannot be read.
std::wstring ownMark(RunContext& run) {
  const Answer<std::wstring> computer = run.platform.computerName();
  if (computer.failed()) {
    logEvent(run,
             L"this computer's name cannot be read (" + windowsErrorMeaning(computer.error) + L")");
    return std::wstring();
  }
  return restartMarkerStartValue + computer.value;
}

std::wstring computerOf(const std::wstring& mark) {
  return mark.substr(std::size(restartMarkerStartValue) - 1);
}

// The marker's values that name a computer's start other than `own`.
Answer<std::vector<std::wstring>> otherComputersMarks(RunContext& run, const std::wstring& own) {
  Answer<std::vector<std::wstring>> names = run.platform.userValueNames(markerPath(), view(run));
  std::erase_if(names.value, [&](const std::wstring& name) {
    const std::size_t prefix = std::size(restartMarkerStartValue) - 1;
    return equalsIgnoringAsciiCase(name, own) || name.size() <= prefix ||
           !equalsIgnoringAsciiCase(name.substr(0, prefix), restartMarkerStartValue);
  });
  return names;
}

}  // namespace

std::uint32_t createRestartMarker(RunContext& run) {
  const std::uint32_t result = run.platform.createUserKey(markerPath(), view(run));
  if (result != 0) {
    logEvent(run, L"restart marker not created: error " + decimal(result) +
                      (run.restartAsked ? L"; the restart is still due in this run" : L""));
    return result;
  }
  // Without this start's mark it is judged as another program's would be;
  // this computer's value is written all the same (empty), so that other
  // computers' values in it never hide it.
  const SystemStart start = markSystemStart(run);
  const bool known = start.state == SystemStart::State::known;
  const std::wstring own = ownMark(run);
  const std::uint32_t named =
      own.empty()
          ? code::functionFailed
          : run.platform.writeUserValue(markerPath(), own, known ? start.id : L"", view(run));
  if (named != 0) {
    // A later run may take it for only other computers' where a profile
    // roams: it is no marker of this computer's then.
    logEvent(run,
             L"restart marker created without this computer's value (" +
                 (own.empty() ? std::wstring(L"no computer name") : windowsErrorMeaning(named)) +
                 L")" + (run.restartAsked ? L"; the restart is still due in this run" : L""));
    return named;
  }
  logEvent(run, L"restart marker created" +
                    (known ? L" in this start of the system, " + start.id
                           : L", without this start's mark (" + start.why + L")"));
  return result;
}

std::uint32_t deleteRestartMarker(RunContext& run) {
  // Other computers' restarts stay due where the profile roams back.
  const std::wstring own = ownMark(run);
  const Answer<std::vector<std::wstring>> others = otherComputersMarks(run, own);
  if (others.failed()) {
    logEvent(run, L"restart marker not deleted: the restart marker's values cannot be read (" +
                      windowsErrorMeaning(others.error) + L")");
    return others.error;
  }
  if (!others.value.empty() && own.empty()) {
    // Nothing in it can be told for this computer's: left for the others,
    // and none is due here for it (else a stale one would be offered, or
    // with -silent a restart started, at every run).
    logEvent(run,
             L"restart marker left for other computers' values: this computer's name "
             L"cannot be read");
    return 0;
  }
  if (!others.value.empty()) {
    const std::uint32_t deleted = run.platform.deleteUserValue(markerPath(), own, view(run));
    logEvent(run, L"restart marker: this computer's value " +
                      (deleted == 0 || deleted == code::fileNotFound
                           ? std::wstring(L"deleted")
                           : L"not deleted (" + windowsErrorMeaning(deleted) + L")") +
                      L"; the marker stays for " + computerOf(others.value.front()) +
                      (others.value.size() > 1 ? L" and others" : L""));
    return deleted == code::fileNotFound ? 0 : deleted;
  }
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

namespace {

// Another program's marker, or one written without this start's mark: by
// its last write time, where when the system started can be told.
MarkerState judgeByClock(RunContext& run, std::uint64_t written) {
  const std::wstring when =
      L"restart marker (without the program's mark) written " + fileTimeText(written);
  const auto sinceStart = run.platform.millisecondsSinceStart();
  if (!sinceStart) {
    // GetTickCount's count is the time since the start modulo 49.7 days:
    // a marker it dates before the start may still be due.
    logEvent(run, when +
                      L"; when the system started cannot be told for certain without "
                      L"GetTickCount64 (GetTickCount wraps after 49.7 days): it stays");
    return {MarkerState::Kind::due};
  }
  const std::uint64_t now = run.platform.systemTimeNow();
  const std::wstring start = L" the system started (" + fileTimeText(now - *sinceStart * 10000);
  if (!writtenBeforeStart(written, now, *sinceStart)) {
    logEvent(run, when + L", after" + start + L"): it stays");
    return {MarkerState::Kind::due};
  }
  logEvent(run, when + L", before" + start + L"): the restart it asked for has happened");
  return {MarkerState::Kind::stale};
}

}  // namespace

MarkerState judgeRestartMarker(RunContext& run) {
  const Answer<std::uint64_t> written = run.platform.userKeyWriteTime(markerPath(), view(run));
  if (written.error == code::fileNotFound) {
    logEvent(run, L"no restart marker");
    return {};
  }
  if (written.failed()) {
    logEvent(run,
             L"the restart marker cannot be read (" + windowsErrorMeaning(written.error) + L")");
    return {MarkerState::Kind::unknown, written.error};
  }
  const std::wstring own = ownMark(run);
  const TextRead mark = own.empty() ? TextRead{code::fileNotFound, std::wstring()}
                                    : run.platform.readUserValue(markerPath(), own, view(run));
  const Answer<std::vector<std::wstring>> others = mark.result == code::fileNotFound
                                                       ? otherComputersMarks(run, own)
                                                       : Answer<std::vector<std::wstring>>{};
  if (mark.result == code::fileNotFound && others.failed()) {
    logEvent(run, L"the restart marker's values cannot be read (" +
                      windowsErrorMeaning(others.error) + L"): it stays");
    return {MarkerState::Kind::due};
  }
  if (mark.result == code::fileNotFound && !others.value.empty() && !own.empty()) {
    // A profile that roams: that computer restarts on its own, and the
    // marker stays for it. (Where this computer's name is unknown, whose it
    // is cannot be told: it is judged by the clock.)
    logEvent(run, L"restart marker written on another computer (" +
                      computerOf(others.value.front()) + L"): none due here, it is left for it");
    return {};
  }
  if (mark.result == code::fileNotFound || (mark.result == 0 && mark.text.empty())) {
    return judgeByClock(run, written.value);
  }
  if (mark.result != 0) {
    logEvent(run, L"the restart marker's start of the system cannot be read (" +
                      windowsErrorMeaning(mark.result) + L"): it stays");
    return {MarkerState::Kind::due};
  }
  const SystemStart start = readSystemStart(run);
  const std::wstring head = L"restart marker written in start " + mark.text + L"; ";
  if (start.state == SystemStart::State::unknown) {
    logEvent(run, head + start.why + L": it stays");
    return {MarkerState::Kind::due};
  }
  if (start.state == SystemStart::State::known && start.id == mark.text) {
    logEvent(run, head + L"the system has not restarted since: it stays");
    return {MarkerState::Kind::due, 0, true};
  }
  logEvent(run, head + start.why + L": the restart it asked for has happened");
  return {MarkerState::Kind::stale};
}

MarkerState forgetStaleRestartMarker(RunContext& run) {
  MarkerState state = judgeRestartMarker(run);
  if (state.kind != MarkerState::Kind::stale) return state;
  const bool heldBefore = run.runLock != nullptr;
  // Without the lock, another run may be writing it: left for a later run,
  // and no restart is due for it in this one.
  if (holdRunLock(run) != 0) {
    logEvent(run, L"restart marker: stale, left for a later run to delete");
    return {};
  }
  // Another run may have written it again, or deleted it, while this one
  // waited for the lock: judged again under it.
  if (!heldBefore) {
    state = judgeRestartMarker(run);
    if (state.kind != MarkerState::Kind::stale) return state;
  }
  // Where it cannot be deleted, it is offered again by later runs, as ever.
  const std::uint32_t deleted = deleteRestartMarker(run);
  if (deleted != 0 && deleted != code::fileNotFound) return {MarkerState::Kind::due};
  return {};
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

RestartResult requestRestart(RunContext& run) {
  constexpr std::uint32_t notReady = 21;      // ERROR_NOT_READY
  constexpr std::uint32_t inProgress = 1115;  // ERROR_SHUTDOWN_IN_PROGRESS
  constexpr std::uint32_t scheduled = 1190;   // ERROR_SHUTDOWN_IS_SCHEDULED
  const RestartRequest request = restartRequestFor(versionOf(run));
  std::uint32_t error = 0;
  for (int attempt = 1; attempt <= restartTries; ++attempt) {
    error = run.platform.restartSystem(request);
    if (error != notReady) break;
    logEvent(run, L"restart: not ready yet (Windows error 21, attempt " + decimal(attempt) +
                      L" of " + decimal(restartTries) + L")");
    if (attempt < restartTries) run.platform.pause(1000);
  }
  if (error == 0) return {};
  if (error == inProgress) {
    logEvent(run,
             L"restart: another restart or shutdown is already in progress (Windows error 1115)");
    return {RestartResult::Kind::underWay, error};
  }
  if (error == scheduled) {
    logEvent(run,
             L"restart: another restart or shutdown is already scheduled (Windows error "
             L"1190); it may be aborted before it comes, so the restart stays due");
    return {RestartResult::Kind::scheduled, error};
  }
  return {RestartResult::Kind::failed, error};
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
