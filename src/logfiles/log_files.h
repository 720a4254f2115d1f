// The log files the program makes: its own and the installers', each
// created new, never opened where something was, or put in the place of an
// earlier one without writing through a link.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace eldoris {

// The date and time, each part after its separator in `between`: those before
// the month, the day, the hour, the minute and the second.
void appendDateTime(std::wstring& out, const LocalTime& time, const wchar_t (&between)[6]);

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
  // Why the log is beside the name it was to have (placeLog), under `path`,
  // instead of in its place; empty where it has the name.
  std::wstring besideBecause;
};

// Creates <folder>\<stem>_<stamp>.log under the first name of logName's
// that nothing has: an existing file, folder or link, another user's
// included, is never opened. Gives up at the first other error: without a
// file, no name in the result is one that the program made.
NewLog createLogFile(Platform& platform, const std::wstring& folder, const std::wstring& stem,
                     const std::wstring& stamp, bool renamable = false);

// The descriptor of the folders that -log makes: SYSTEM and the
// Administrators may do anything, Users read and list, and nothing of the
// parent's is merged in (under C:\ it would let Authenticated Users change
// what is inside).
AccessDescription logFolderAccess();

// The folders of `path`, from its root ("C:\", "\\server\share\") down to
// the one that holds the file.
std::vector<std::wstring> foldersOf(const std::wstring& path);

struct LogFolder {
  std::uint32_t error = 0;  // a folder that was missing could not be made
  std::wstring folder;      // the folder that `distrust` is about
  std::wstring distrust;    // why the logs may not go there; empty where they may
};

// Once the run's log is made at `path`, the path to it found again from the
// root through handles (OutputFile::findFrom), and every folder on it
// judged as prepareLogFolder judges them: a folder that was empty could
// have been made a link between those looks and the making, and unmade
// after, or one the run made replaced by another's. `distrust` is empty
// where the path holds.
LogFolder judgeLogPath(OutputFile& log, const std::wstring& path,
                       const std::wstring& runningAccount);

// Makes the missing folders of `path`, a full path an administrator chose,
// then looks at every folder of it that was there before (its root
// included), from the root down, as folderDistrust judges them: after the
// folders are made, so that none can be turned into a link unseen while it
// is still empty.
LogFolder prepareLogFolder(Platform& platform, const std::wstring& path,
                           const std::wstring& runningAccount);

// Creates a log beside `path`, as <name without extension>_<stamp>.log (or
// -2, -3, ...), `why` noted as besideBecause.
NewLog createBeside(Platform& platform, const std::wstring& path, std::wstring why,
                    bool renamable = false);

// Why what is at a log's name could not be kept aside, for the run's log.
std::wstring whyNotKept(const KeptAside& kept);

// Whether CREATE_NEW's `error` says another file has the name.
bool isTaken(std::uint32_t error);
// Whether the old log's name is free once it was to be kept aside: kept, or
// gone meanwhile (another run kept it aside first).
bool nameFreed(const KeptAside& kept);

// Creates the log at `path`, in a folder that prepareLogFolder has judged.
// What has the name is first kept aside once, as keptLogName, if it is a
// file and no program holds it open (a run still writing it, a viewer);
// it is never replaced otherwise, and the new log is made beside it, as
// <name without extension>_<stamp>.log, `besideBecause` saying why. Nothing
// is ever written through a link.
NewLog placeLog(Platform& platform, const std::wstring& path);

// Where a replaced log is kept once, as Configuration Manager keeps its own:
// "x.log" as "x.lo_" (any case of ".log"), any other name with ".lo_" after it.
std::wstring keptLogName(const std::wstring& path);

// `path` without the extension of its file name: the stem the installers'
// logs take beside the run's own.
std::wstring withoutExtension(const std::wstring& path);

}  // namespace eldoris
