// What a code that the run ends with means, by whose code it is: the last
// line of the run's log, which administrators read first.
#pragma once

#include <cstdint>
#include <string>

#include "context/run_context.h"
#include "platform/platform.h"

namespace eldoris {

// "Windows error N" and, for the errors a start or a read commonly gives, what it says.
std::wstring windowsErrorMeaning(std::uint32_t error);

// What msiexec's exit code says, as the Windows Installer documents it.
std::wstring installerCodeMeaning(std::uint32_t code);

// Notes that the code a step is about to return is not the program's own.
void noteCodeSource(RunContext& run, std::uint32_t code, const std::wstring& description);

// The exit code of a run that a failed call to Windows ends: 14 where
// memory ran out (8 or 14), 1627 where the call named no error, else the
// call's Windows error.
constexpr InstallerResult failedCallResult(std::uint32_t error) {
  if (error == 8 || error == 14) return 14;  // ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY
  return error == 0 ? code::functionFailed : error;
}

// Logs that `what` failed with `error`, notes the run's code as its, and
// returns that code (failedCallResult).
InstallerResult failedCall(RunContext& run, const std::wstring& what, std::uint32_t error);

}  // namespace eldoris
