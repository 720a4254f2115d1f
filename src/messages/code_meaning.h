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

}  // namespace eldoris
