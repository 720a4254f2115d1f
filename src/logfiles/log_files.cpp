#include "logfiles/log_files.h"

#include "text/ascii.h"
#include "text/decimal.h"

namespace eldoris {

namespace {

// Names taken by other files are skipped; this many is a folder someone filled.
constexpr unsigned maxAttempts = 100;

}  // namespace

// The date and time, each part after its separator in `between`: those before
// the month, the day, the hour, the minute and the second.
void appendDateTime(std::wstring& out, const LocalTime& time, const wchar_t (&between)[6]) {
  appendDecimal(out, static_cast<std::uint32_t>(time.year), 4);
  const int parts[] = {time.month, time.day, time.hour, time.minute, time.second};
  for (std::size_t i = 0; i < 5; ++i) {
    out += between[i];
    appendDecimal(out, static_cast<std::uint32_t>(parts[i]), 2);
  }
}

std::wstring formatTimestamp(const LocalTime& time) {
  std::wstring stamp;
  appendDateTime(stamp, time, L"-----");
  return stamp;
}

std::wstring logName(const std::wstring& stem, const std::wstring& stamp, unsigned attempt) {
  std::wstring name = stem + L"_" + stamp;
  if (attempt > 1) {
    name += L'-';
    appendDecimal(name, attempt);
  }
  return name + L".log";
}

namespace {

bool isTaken(std::uint32_t error) {
  return error == code::fileExists || error == code::alreadyExists;
}

}  // namespace

NewLog createLogFile(Platform& platform, const std::wstring& folder, const std::wstring& stem,
                     const std::wstring& stamp) {
  NewLog log;
  for (unsigned attempt = 1; attempt <= maxAttempts; ++attempt) {
    // A name refused after a taken one (pending deletion, say) is no more
    // the program's than the taken one: neither is handed on.
    log.path = folder + L"\\" + logName(stem, stamp, attempt);
    log.file = platform.createNewFile(log.path, log.error);
    if (log.file || !isTaken(log.error)) return log;
  }
  log.error = code::fileExists;
  return log;
}

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Makes the folders of `path` that are missing, from its root down.
std::uint32_t createFolders(Platform& platform, const std::wstring& path) {
  const std::size_t file = path.find_last_of(L"\\/");
  if (file == std::wstring::npos) return 0;
  // The root (D:\ or \\server\share\) is never made.
  std::size_t at = path.size() > 2 && path[1] == L':' ? 3 : 0;
  if (at == 0 && path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    at = path.find_first_of(L"\\/", path.find_first_of(L"\\/", 2) + 1);
  }
  while (at != std::wstring::npos && at < file) {
    at = path.find_first_of(L"\\/", at + 1);
    const std::uint32_t error = platform.createProtectedFolder(path.substr(0, at));
    if (error != 0 && error != code::alreadyExists) return error;
  }
  return 0;
}

}  // namespace

NewLog replaceLogFile(Platform& platform, const std::wstring& path) {
  NewLog log;
  log.path = path;
  log.error = createFolders(platform, path);
  if (log.error != 0) return log;
  log.file = platform.createNewFile(path, log.error);
  if (log.file || !isTaken(log.error)) return log;
  // Something has the name: the new log is made beside it and renamed over
  // it, which replaces a file or a link itself. Deleting it first would, for
  // a link, delete what the link points to on some systems.
  const std::size_t separator = path.find_last_of(L"\\/");
  NewLog fresh = createLogFile(platform, path.substr(0, separator),
                               withoutExtension(path.substr(separator + 1)),
                               formatTimestamp(platform.localTime()));
  log.error = fresh.error;
  if (!fresh.file) return log;
  // The log of the run before, a failed one that a tool retries, say, is
  // kept once, renamed. A log that cannot take the old
  // one's place is still a log: an installation is not stopped for a viewer
  // that holds the old one open, and the old one is lost on no path.
  // Only a file itself is kept: renaming a link would, on some systems,
  // rename what it points to.
  if (platform.isPlainFile(path))
    fresh.notReplaced = platform.moveFileOver(path, keptLogName(path));
  if (fresh.notReplaced == 0) fresh.notReplaced = platform.moveFileOver(fresh.path, path);
  if (fresh.notReplaced != 0) return fresh;
  log.file = std::move(fresh.file);
  log.error = 0;
  return log;
}

std::wstring keptLogName(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  const std::size_t name = separator == std::wstring::npos ? 0 : separator + 1;
  const bool dotLog =
      path.size() >= name + 4 && equalsIgnoringAsciiCase(path.substr(path.size() - 4), L".log");
  return dotLog ? path.substr(0, path.size() - 1) + L"_" : path + L".lo_";
}

std::wstring withoutExtension(const std::wstring& path) {
  const std::size_t dot = path.rfind(L'.');
  const std::size_t separator = path.find_last_of(L"\\/");
  if (dot == std::wstring::npos || (separator != std::wstring::npos && dot < separator))
    return path;
  return path.substr(0, dot);
}

}  // namespace eldoris
