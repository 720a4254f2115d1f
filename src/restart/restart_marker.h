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

std::uint32_t createRestartMarker(RunContext& run);
// Sets `present` on every path; the result is the open's error code.
std::uint32_t isRestartMarkerPresent(RunContext& run, bool& present);
// Fails for a marker that has subkeys; the restart is then offered again later.
std::uint32_t deleteRestartMarker(RunContext& run);

// Whether a key last written at `written` (a FILETIME) was written before
// the system started, `sinceStart` milliseconds before `now`.
constexpr bool writtenBeforeStart(std::uint64_t written, std::uint64_t now,
                                  std::uint64_t sinceStart) {
  return written < now && now - written > sinceStart * 10000;
}

// A FILETIME as "YYYY-MM-DD HH:MM:SS UTC", for the run's log.
std::wstring fileTimeText(std::uint64_t fileTime);

// A marker last written before the system started asked for a restart that
// has happened since: it is deleted, whoever made it. One written since
// stays, and so does every marker where when the system started cannot be
// told for certain. The run's log says which, with both times.
void forgetStaleRestartMarker(RunContext& run);

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

}  // namespace eldoris
