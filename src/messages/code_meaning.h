// What a code that the run ends with means, by whose code it is: the last
// line of the run's log, which administrators read first.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
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

// The codes that the README's table of exit codes gives a meaning of the
// program's own that the same Windows error does not have (0 included):
// 1459, 1602, 1618 and 1622 mean there what the Windows error says (a
// Windows Installer busy with another installation gives 1618, which tools
// retry), so they are no such code.
inline constexpr std::uint32_t ownMeaningCodes[] = {0,  1,   2,   3,   4,    5,    6,    7,
                                                    80, 203, 232, 350, 1359, 1639, 1641, 3010};
constexpr bool hasOwnMeaning(std::uint32_t code) {
  return std::find(std::begin(ownMeaningCodes), std::end(ownMeaningCodes), code) !=
         std::end(ownMeaningCodes);
}

// The exit code of a run that a failed call to Windows ends: 14 where
// memory ran out (8 or 14), else the call's Windows error, except where the
// table gives that number another meaning (5 would read as a missing
// service pack) or the call named none: then 1627, the log naming the error.
constexpr InstallerResult failedCallResult(std::uint32_t error) {
  if (error == 8 || error == 14) return 14;  // ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY
  return hasOwnMeaning(error) ? code::functionFailed : error;
}

// Logs that `what` failed with `error`, notes the run's code as its, and
// returns that code (failedCallResult).
InstallerResult failedCall(RunContext& run, const std::wstring& what, std::uint32_t error);

}  // namespace eldoris
