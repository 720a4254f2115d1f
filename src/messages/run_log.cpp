#include "messages/run_log.h"

#include "text/decimal.h"

namespace eldoris {

namespace {

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

}  // namespace

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

RunLog::RunLog(Platform& platform, const std::wstring& requested) : platform_(platform) {
  NewLog log;
  if (!requested.empty()) {
    const TextRead full = platform_.fullPath(requested);
    requested_ = full.result == 0 ? full.text : requested;
    // The run's own account may own the folder: its TMP is where the logs go otherwise.
    const Answer<std::wstring> account =
        full.result == 0 ? platform_.processAccount() : Answer<std::wstring>{};
    accountError_ = account.error;
    const LogFolder folder = full.result == 0
                                 ? prepareLogFolder(platform_, full.text, account.value)
                                 : LogFolder{full.result, requested, L""};
    if (folder.error != 0) {
      refused_ = folder.error;
    } else if (!folder.distrust.empty()) {
      notUsed_ = folder.folder + L" is not used: " + folder.distrust;
    } else {
      // Where another log has the name, this one waits beside it.
      log.path = full.text;
      log.file = platform_.createNewFile(full.text, log.error, false);
      if (!log.file && isTaken(log.error)) {
        log = createBeside(platform_, full.text, L"", true);  // renamed once the run changes things
        if (log.file) waitingFor_ = full.text;
      }
      if (!log.file) refused_ = log.error;
      const LogFolder found =
          log.file ? judgeLogPath(*log.file, log.path, account.value) : LogFolder{};
      if (!found.distrust.empty()) {
        log.file.reset();  // its folders are not followed again; the logs go to TMP
        waitingFor_.clear();
        notUsed_ = found.folder + L" is not used: " + found.distrust;
      }
      inRequestedFolder_ = log.file != nullptr;
    }
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

std::wstring RunLog::runChanges() {
  if (waitingFor_.empty() || !file_) return std::wstring();
  const std::wstring name = waitingFor_;
  waitingFor_.clear();
  const KeptAside kept = platform_.keepAside(name, keptLogName(name));
  const bool freed = nameFreed(kept);
  const std::uint32_t renamed = freed ? file_->renameTo(name) : 0;
  if (!freed || renamed != 0) {
    besideBecause_ = renamed != 0
                         ? L"it could not take the name (Windows error " + decimal(renamed) + L")"
                         : whyNotKept(kept);
    write(L"-log: " + name + L" is not replaced (" + besideBecause_ +
          L"): this log stays beside it, " + path_);
    return std::wstring();
  }
  path_ = name;
  write(L"-log: this run changes the computer now: its log takes the name " + name +
        (kept.outcome != KeptAside::Outcome::kept
             ? std::wstring()
             : L", and the log there is kept as " + keptLogName(name)));
  return path_;
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

void logEvent(RunContext& run, const std::wstring& event) {
  if (run.events != nullptr) run.events->write(event);
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
