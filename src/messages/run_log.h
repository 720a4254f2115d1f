// The run's own log: what the bootstrapper found, decided and started, a line
// per event, in TMP beside the installers' logs. Every line reaches the file
// before the step it describes begins, so that a run that hangs or is killed
// shows what it was waiting for.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messages/decimal.h"  // the numbers in event texts
#include "platform/platform.h"

namespace eldoris {

// "YYYY-MM-DD-HH-MM-SS", always 19 characters: the stamp of every log name.
std::wstring formatTimestamp(const LocalTime& time);

// "<stem>_<stamp>.log", or "<stem>_<stamp>-<attempt>.log" from the second
// attempt on.
std::wstring logName(const std::wstring& stem, const std::wstring& stamp, unsigned attempt);

// A log file made by the program, never one that was there before it.
struct NewLog {
  std::unique_ptr<OutputFile> file;  // open when created
  std::wstring path;                 // the name it has; without a file, the name tried last
  std::uint32_t error = 0;           // why none was created; 80 when every name was taken
  // Why the log could not take the place of what had the name it was to
  // have (replaceLogFile): it is beside it instead, under `path`.
  std::uint32_t notReplaced = 0;
};

// Creates <folder>\<stem>_<stamp>.log under the first name of logName's
// that nothing has: an existing file, folder or link, another user's
// included, is never opened. Gives up at the first other error: without a
// file, no name in the result is one that the program made.
NewLog createLogFile(Platform& platform, const std::wstring& folder, const std::wstring& stem,
                     const std::wstring& stamp);

// Creates the log at `path`, a full path an administrator chose: the folders
// that are missing are made, readable by Users and writable by nobody but
// SYSTEM and the Administrators, and a file there is replaced. The log is
// created where nothing is, beside the name, and then renamed over what has
// the name (a link itself, never what it points to), so it is never written
// through a link or junction. What had the name is kept first, once, under
// keptLogName. Where a rename fails (the old log held open by a viewer), the
// new log stays beside it: `notReplaced` says why.
NewLog replaceLogFile(Platform& platform, const std::wstring& path);

// Where a replaced log is kept once, as Configuration Manager keeps its own:
// "x.log" as "x.lo_" (any case of ".log"), any other name with ".lo_" after it.
std::wstring keptLogName(const std::wstring& path);

// `path` without the extension of its file name: the stem the installers'
// logs take beside the run's own.
std::wstring withoutExtension(const std::wstring& path);

// UTF-16 text as UTF-8; an unpaired surrogate becomes U+FFFD. Bytes rather
// than std::string, whose code would add a third to the program's size.
std::vector<char> toUtf8(const std::wstring& text);

class RunLog final : public EventSink {
 public:
  // Creates the log at `requested` (-log; relative to the current directory),
  // or else in TMP under the first name that nothing has. When the requested
  // log cannot be made, the log in TMP is made and refused() says why; without
  // TMP, or when no name can be created there, lines are dropped. A requested
  // log that could not replace the old one is beside it (notReplaced()).
  RunLog(Platform& platform, const std::wstring& requested);
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // One line: the local time to the millisecond, the event, CRLF. A line
  // that cannot be written closes the log.
  void write(const std::wstring& event) override;
  void close() { file_.reset(); }
  const std::wstring& path() const { return path_; }
  // The full path that -log asks for, whether or not the log is there.
  const std::wstring& requested() const { return requested_; }
  // The requested log that could not be made, with the Windows error.
  const std::optional<NewLog>& refused() const { return refused_; }
  // Why the requested log is beside the old one instead of in its place; 0 where it is there.
  std::uint32_t notReplaced() const { return notReplaced_; }

 private:
  Platform& platform_;
  std::unique_ptr<OutputFile> file_;
  std::wstring path_;
  std::wstring requested_;
  std::optional<NewLog> refused_;
  std::uint32_t notReplaced_ = 0;
};

// Makes `log` the platform's for as long as it lives.
class AttachedLog {
 public:
  AttachedLog(Platform& platform, EventSink& log) : platform_(platform) { platform_.events = &log; }
  ~AttachedLog() { platform_.events = nullptr; }
  AttachedLog(const AttachedLog&) = delete;
  AttachedLog& operator=(const AttachedLog&) = delete;

 private:
  Platform& platform_;
};

// Writes one event to the run's log, when it has one.
void logEvent(Platform& platform, const std::wstring& event);

// A text in «» for an event, its line breaks shown as " ⏎ ", so that the
// event stays on one line.
std::wstring quoted(const std::wstring& text);

}  // namespace eldoris
