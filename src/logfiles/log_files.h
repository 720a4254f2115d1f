// The log files the program makes: its own and the installers', each
// created new, never opened where something was, or put in the place of an
// earlier one without writing through a link.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

}  // namespace eldoris
