// The registry marker that carries a pending restart to the end of the run
// and, when the restart is suppressed, to the next run of the same user; and
// how the restart is asked of Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "context/run_context.h"
#include "platform/platform.h"

namespace eldoris {

// HKEY_CURRENT_USER\Software\NeedBstrReboot, 32-bit view; the key alone is the marker.
inline constexpr wchar_t restartMarkerParent[] = L"Software";
inline constexpr wchar_t restartMarkerName[] = L"NeedBstrReboot";

// The access flag that names the 32-bit view: KEY_WOW64_32KEY under WOW64,
// and nothing elsewhere, where there is one view. Windows 2000 does not know
// the flag and takes it for an access right that HKEY_CURRENT_USER\Software
// does not grant (error 5).
constexpr std::uint32_t registryViewFlag(bool wow64) { return wow64 ? 0x0200u : 0u; }

// The marker's values, one a computer, "SystemStart <computer name>", name
// the start of that computer's system it was written in (system_start.h): a
// marker of this program's own, told from another's, and this computer's
// told from another's where the user's profile roams.
inline constexpr wchar_t restartMarkerStartValue[] = L"SystemStart ";

// Creates the marker and records this start of the system in it.
std::uint32_t createRestartMarker(RunContext& run);
// Deletes this computer's part of it: the marker, or only this computer's
// value where it holds other computers'. Fails for a marker that has
// subkeys; the restart is then offered again later.
std::uint32_t deleteRestartMarker(RunContext& run);

// Whether a key last written at `written` (a FILETIME) was written before
// the system started, `sinceStart` milliseconds before `now`.
constexpr bool writtenBeforeStart(std::uint64_t written, std::uint64_t now,
                                  std::uint64_t sinceStart) {
  return written < now && now - written > sinceStart * 10000;
}

// A FILETIME as "YYYY-MM-DD HH:MM:SS UTC", for the run's log.
std::wstring fileTimeText(std::uint64_t fileTime);

// What the marker says now.
struct MarkerState {
  // due: a restart is still due; stale: it asked for a restart that has
  // happened since; unknown: the marker cannot be read (`error`).
  enum class Kind { absent, due, stale, unknown } kind = Kind::absent;
  std::uint32_t error = 0;
  // It names this start of the system, which a full restart ends: the
  // restart itself makes it stale, so it may stay through the request.
  bool endsWithThisStart = false;
};

// A marker of the program's own is stale where it names a start of the
// system before this one (or none marked this start); another program's,
// without that value, where it was last written before the system started
// (GetTickCount64, Vista on), and it stays where that cannot be told. One
// that only other computers wrote is absent here and left for them. The
// run's log says which, and why.
MarkerState judgeRestartMarker(RunContext& run);

// Deletes the marker where it is stale; returns what it says then.
MarkerState forgetStaleRestartMarker(RunContext& run);

// The call that restarts the computer whoever runs the program (a person
// elevated with another account's credentials, RunAs, a deployment tool's
// system account): InitiateSystemShutdownExW from Windows XP on, its
// predecessor on Windows 2000.
RestartCall restartCallFor(const std::optional<OsVersion>& version);
// The whole request: restartCallFor's call, at once, programs closed by
// force, the reason an application's planned installation.
RestartRequest restartRequestFor(const std::optional<OsVersion>& version);
// The call's name, for the run's log.
const wchar_t* restartCallName(RestartCall call);

// How many times the restart is asked while the system is not ready for it,
// a second apart: "ERROR_NOT_READY can be returned if fast-user switching is
// enabled but no user is logged on ... wait a short while and retry".
inline constexpr int restartTries = 5;

struct RestartResult {
  // underWay: another shutdown is in progress (1115); scheduled: another is
  // to come (1190), which may still be aborted, so the restart stays due.
  enum class Kind { started, underWay, scheduled, failed } kind = Kind::started;
  std::uint32_t error = 0;
};

// Asks Windows for the restart, as restartRequestFor describes it; every
// attempt is logged.
RestartResult requestRestart(RunContext& run);

}  // namespace eldoris
