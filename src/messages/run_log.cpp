#include "messages/run_log.h"

#include "messages/decimal.h"

namespace eldoris {

namespace {

// Names taken by other files are skipped; this many is a folder someone filled.
constexpr unsigned maxAttempts = 100;

void appendUtf8(std::vector<char>& out, std::uint32_t c) {
  const auto put = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(byte)); };
  if (c < 0x80) {
    put(c);
  } else if (c < 0x800) {
    put(0xC0 | (c >> 6));
    put(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    put(0xE0 | (c >> 12));
    put(0x80 | ((c >> 6) & 0x3F));
    put(0x80 | (c & 0x3F));
  } else {
    put(0xF0 | (c >> 18));
    put(0x80 | ((c >> 12) & 0x3F));
    put(0x80 | ((c >> 6) & 0x3F));
    put(0x80 | (c & 0x3F));
  }
}

bool isHighSurrogate(std::uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(std::uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

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

}  // namespace

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

std::vector<char> toUtf8(const std::wstring& text) {
  std::vector<char> out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    // wchar_t is 16 bits on Windows and 32 on the host: both are handled.
    auto c = static_cast<std::uint32_t>(text[i]);
    if (isHighSurrogate(c) && i + 1 < text.size() &&
        isLowSurrogate(static_cast<std::uint32_t>(text[i + 1]))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[++i]) - 0xDC00);
    } else if (isHighSurrogate(c) || isLowSurrogate(c) || c > 0x10FFFF) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
  return out;
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
  bool dotLog = path.size() >= name + 4;
  for (std::size_t i = 0; dotLog && i < 4; ++i) {
    const wchar_t c = path[path.size() - 4 + i];
    dotLog = (c >= L'A' && c <= L'Z' ? c + 32 : c) == L".log"[i];
  }
  return dotLog ? path.substr(0, path.size() - 1) + L"_" : path + L".lo_";
}

std::wstring withoutExtension(const std::wstring& path) {
  const std::size_t dot = path.rfind(L'.');
  const std::size_t separator = path.find_last_of(L"\\/");
  if (dot == std::wstring::npos || (separator != std::wstring::npos && dot < separator))
    return path;
  return path.substr(0, dot);
}

RunLog::RunLog(Platform& platform, const std::wstring& requested) : platform_(platform) {
  NewLog log;
  if (!requested.empty()) {
    const TextRead full = platform_.fullPath(requested);
    requested_ = full.result == 0 ? full.text : requested;
    log = full.result == 0 ? replaceLogFile(platform_, full.text)
                           : NewLog{nullptr, requested, full.result};
    if (!log.file) refused_ = NewLog{nullptr, requested_, log.error};
    notReplaced_ = log.notReplaced;
  }
  if (!log.file) {
    const TextRead tmp = platform_.environmentVariable(L"TMP");
    if (tmp.result != 0 || tmp.text.empty()) return;
    log = createLogFile(platform_, tmp.text, L"eldoris-setup",
                        formatTimestamp(platform_.localTime()));
    if (!log.file) return;
  }
  file_ = std::move(log.file);
  path_ = log.path;
  if (!file_->write({'\xEF', '\xBB', '\xBF'})) file_.reset();  // the byte-order mark
}

void RunLog::write(const std::wstring& event) {
  if (!file_) return;
  const LocalTime now = platform_.localTime();
  std::wstring line;
  appendDateTime(line, now, L"-- ::");
  line += L'.';
  appendDecimal(line, static_cast<std::uint32_t>(now.millisecond), 3);
  line += L' ';
  line += event;
  line += L"\r\n";
  if (!file_->write(toUtf8(line))) file_.reset();
}

void logEvent(Platform& platform, const std::wstring& event) {
  if (platform.events != nullptr) platform.events->write(event);
}

std::wstring quoted(const std::wstring& text) {
  // Trailing line breaks only space a box's text: they are not shown.
  std::size_t end = text.size();
  while (end > 0 && (text[end - 1] == L'\r' || text[end - 1] == L'\n')) --end;
  std::wstring out = L"«";
  for (std::size_t i = 0; i < end; ++i) {
    if (text[i] == L'\r' && i + 1 < end && text[i + 1] == L'\n') continue;
    if (text[i] == L'\n' || text[i] == L'\r') {
      out += L" ⏎ ";
    } else {
      out += text[i];
    }
  }
  return out + L"»";
}

}  // namespace eldoris
