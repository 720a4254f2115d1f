// Which start of the system this is, told without a clock: a volatile key,
// which lives in memory only and is gone after every full shutdown, so a
// restart among them ("For HKEY_LOCAL_MACHINE, this occurs only when the
// system initiates a full shutdown"). Its last write time, fixed when it is
// made, names the start it was made in; it is only ever compared for
// equality, so a clock that jumps changes nothing of it.
#pragma once

#include <string>

#include "context/run_context.h"

namespace eldoris {

// HKEY_LOCAL_MACHINE\SOFTWARE\EldorisSetup\SystemStart, which only
// administrators and the system may make; in the marker's registry view.
inline constexpr wchar_t systemStartKey[] = L"SOFTWARE\\EldorisSetup\\SystemStart";

struct SystemStart {
  // none: no run has marked this start yet; known: `id` names it; unknown:
  // it cannot be told (a read failed, or the key is not volatile).
  enum class State { none, known, unknown } state = State::unknown;
  std::wstring id;
  std::wstring why;  // for the run's log
};

// Reads the current start's mark: nothing is made.
SystemStart readSystemStart(RunContext& run);

// Marks the current start where no run has, and reads it.
SystemStart markSystemStart(RunContext& run);

}  // namespace eldoris
