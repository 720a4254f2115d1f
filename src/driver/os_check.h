// The Windows version the bootstrapper accepts.
#pragma once

#include <optional>
#include <string>

#include "context/run_context.h"
#include "platform/platform.h"

namespace eldoris {

// Exit code for a system older than Windows 2000.
constexpr InstallerResult windowsTooOldResult = 6;

struct OsVerdict {
  InstallerResult result = 0;  // 0: supported
  MessageId message = 0;       // shown on a refusal
  bool shownWhenSilent = false;
};

// Judges a version read from the system; nothing means the read failed.
OsVerdict judgeWindowsVersion(const std::optional<OsVersion>& version);

// What the run's log adds to the version GetVersionExW reports, which from
// Windows 8.1 on is 6.2 for a program whose manifest names only Vista and 7:
// the kernel's version where it differs. Empty where it does not.
std::wstring kernelVersionNote(const std::optional<OsVersion>& reported,
                               const std::optional<OsVersion>& kernel);

// Reads the version, reports a refusal (unless silent, where allowed) and
// returns 0 or the exit code of the refusal.
InstallerResult checkOperatingSystem(RunContext& run, bool silent);

}  // namespace eldoris
