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

#include "context/run_context.h"
#include "logfiles/log_files.h"
#include "platform/platform.h"
#include "text/decimal.h"  // the numbers in event texts

namespace eldoris {

// UTF-16 text as UTF-8; an unpaired surrogate becomes U+FFFD. Bytes rather
// than std::string, whose code would add a third to the program's size.
std::vector<char> toUtf8(const std::wstring& text);

class RunLog final : public EventSink {
 public:
  // Creates the log at `requested` (-log; relative to the current
  // directory), as placeLog places it, in a folder that prepareLogFolder
  // made or judged; or else in TMP under the first name that nothing has.
  // When the requested log cannot be made, or its folder is not one to
  // trust, the log is in TMP and refused() or notUsed() says why; without
  // TMP, or when no name can be created there, lines are dropped.
  RunLog(Platform& platform, const std::wstring& requested);
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // One line: the local time to the millisecond, the event, CRLF. A line
  // that cannot be written closes the log.
  void write(const std::wstring& event) override;
  // Where the requested name held another log at the start, this log has
  // waited beside it: now the other is kept aside once, as keptLogName, and
  // this one renamed to the name, so that a run that ends having changed
  // nothing (1618, say) never pushes out the log of a failed run before it.
  // What cannot be kept stays, and so does this log, beside it.
  std::wstring runChanges() override;
  void close() { file_.reset(); }
  const std::wstring& path() const { return path_; }
  // The full path that -log asks for, whether or not the log is there.
  const std::wstring& requested() const { return requested_; }
  // The Windows error of the requested log, which could not be made.
  const std::optional<std::uint32_t>& refused() const { return refused_; }
  // Why the requested log's folder is not used, naming the folder; empty where it is.
  const std::wstring& notUsed() const { return notUsed_; }
  // Why the log is beside the requested name instead of at it; empty where it is at it.
  const std::wstring& besideBecause() const { return besideBecause_; }
  // Whether the log waits beside the requested name, for the run's first change.
  bool waitsForTheName() const { return !waitingFor_.empty(); }
  // Whether the log is in the folder -log names, at its name or beside it.
  bool inRequestedFolder() const { return inRequestedFolder_; }
  // Why the run's own account could not be read for the folders' judgement; 0 where it was.
  std::uint32_t accountError() const { return accountError_; }

 private:
  Platform& platform_;
  std::unique_ptr<OutputFile> file_;
  std::wstring path_;
  std::wstring requested_;
  std::optional<std::uint32_t> refused_;
  std::wstring notUsed_;
  std::wstring besideBecause_;
  bool inRequestedFolder_ = false;
  std::wstring waitingFor_;  // the name it takes at the run's first change
  std::uint32_t accountError_ = 0;
};

// Makes `log` the run's for as long as it lives.
class AttachedLog {
 public:
  AttachedLog(RunContext& run, EventSink& log) : run_(run) { run_.events = &log; }
  ~AttachedLog() { run_.events = nullptr; }
  AttachedLog(const AttachedLog&) = delete;
  AttachedLog& operator=(const AttachedLog&) = delete;

 private:
  RunContext& run_;
};

// Writes one event to the run's log, when it has one.
void logEvent(RunContext& run, const std::wstring& event);

// A text in «» for an event, its line breaks shown as " ⏎ ", so that the
// event stays on one line.
std::wstring quoted(const std::wstring& text);

}  // namespace eldoris
