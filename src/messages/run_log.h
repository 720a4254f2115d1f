// The run's own log: what the bootstrapper found, decided and started, a line
// per event, in TMP beside the installers' logs. Every line reaches the file
// before the step it describes begins, so that a run that hangs or is killed
// shows what it was waiting for.
#pragma once

#include <cstdint>
#include <memory>
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
  std::wstring path;                 // the name it has, or the first name tried
  std::uint32_t error = 0;           // why none was created; 80 when every name was taken
};

// Creates <folder>\<stem>_<stamp>.log under the first name of logName's
// that nothing has: an existing file, folder or link, another user's
// included, is never opened. Gives up at the first other error.
NewLog createLogFile(Platform& platform, const std::wstring& folder, const std::wstring& stem,
                     const std::wstring& stamp);

// UTF-16 text as UTF-8; an unpaired surrogate becomes U+FFFD. Bytes rather
// than std::string, whose code would add a third to the program's size.
std::vector<char> toUtf8(const std::wstring& text);

class RunLog final : public EventSink {
 public:
  // Creates the log in TMP under the first name that nothing has; without TMP,
  // or when no name can be created, the run has no log and lines are dropped.
  explicit RunLog(Platform& platform);
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // One line: the local time to the millisecond, the event, CRLF. A line
  // that cannot be written closes the log.
  void write(const std::wstring& event) override;
  void close() { file_.reset(); }
  const std::wstring& path() const { return path_; }

 private:
  Platform& platform_;
  std::unique_ptr<OutputFile> file_;
  std::wstring path_;
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
