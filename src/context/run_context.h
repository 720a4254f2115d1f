// The run's own state, which its steps share: apart from the interface to
// Windows, which only asks the system and remembers nothing of the run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace eldoris {

// Where the run's own log lines go (see messages/run_log.h).
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void write(const std::wstring& event) = 0;
  // The run is about to change the computer: a log that waited beside the
  // name it was asked for takes it now. Its path where it moved; else empty.
  virtual std::wstring runChanges() { return std::wstring(); }
};

// Who gave a code that a step returns when it is not the program's own, and
// what it means: the run's log ends with it.
struct CodeSource {
  std::uint32_t code = 0;
  std::wstring description;
};

// Made once by runBootstrapper, when it knows the options and who can see
// the run, and handed to every step that logs, shows a box or waits. The
// steps reach Windows through `platform`.
struct RunContext {
  explicit RunContext(Platform& windows) : platform(windows) {}

  Platform& platform;
  // The run's own log while it is open; the steps write to it through logEvent.
  EventSink* events = nullptr;
  // Whether a person can see the process's windows, decided once at the start
  // (messages/audience.h); where not, boxes are only written to the log.
  bool desktopVisible = true;
  // The source of the code the last step gave, where not the program's own.
  std::optional<CodeSource> codeSource;
  // With -log, the installers' logs go beside the run's own, as
  // <installerLogStem>_<name>.log, replaced at every run; empty: in TMP.
  std::wstring installerLogStem;
  // How long to wait for another run and a busy Windows Installer before
  // each installer, in seconds; nothing where a person is asked the run's questions.
  std::optional<std::uint32_t> installerWaitSeconds;
  // Whether this run's installer asked for a restart: then a restart is due
  // whether or not the marker could be written or read.
  bool restartAsked = false;

  // The run lock, while the run holds it: from before it changes something
  // to the next box that waits for a person (messages.h), or the end.
  std::unique_ptr<HeldLock> runLock;
  // Takes it where the run does not hold it (driver/one_run.h); none in a
  // step tried alone.
  std::uint32_t (*takeRunLock)(RunContext& run) = nullptr;
  // Neither lock's name could be taken, each another account's object (or
  // the namespace missing): not tried again.
  bool runsNotKeptApart = false;
  // The system lacks the private namespace calls: the lock is the global one.
  bool noPrivateNamespaces = false;
  // The lock was held by another run where a person is asked: the run ends
  // with 1618, and a box says so.
  bool lockRefused = false;

  // What the system is, read once, when first asked (versionOf, wow64Of).
  std::optional<std::optional<OsVersion>> version;
  std::optional<Answer<bool>> wow64;
};

// Before the run changes anything (a setup or an installer started, the
// restart marker, the restart): 0 with the run lock held, or the code the
// run ends with.
inline std::uint32_t holdRunLock(RunContext& run) {
  return run.runLock || run.runsNotKeptApart || run.takeRunLock == nullptr ? 0
                                                                           : run.takeRunLock(run);
}

// The Windows version (nothing where it cannot be read), read once per run.
inline const std::optional<OsVersion>& versionOf(RunContext& run) {
  if (!run.version) run.version = run.platform.windowsVersion();
  return *run.version;
}

// Whether the process runs under WOW64, read once per run; a run that could
// not tell stops where it first asks.
inline const Answer<bool>& wow64Of(RunContext& run) {
  if (!run.wow64) run.wow64 = run.platform.isWow64Process();
  return *run.wow64;
}

}  // namespace eldoris
