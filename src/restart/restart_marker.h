// The registry marker that carries a pending restart to the end of the run
// and, when the restart is suppressed, to the next run of the same user.
#pragma once

#include "platform/platform.h"

namespace eldoris {

// HKEY_CURRENT_USER\Software\NeedBstrReboot, 32-bit view; the key alone is the marker.
inline constexpr wchar_t restartMarkerParent[] = L"Software";
inline constexpr wchar_t restartMarkerName[] = L"NeedBstrReboot";

std::uint32_t createRestartMarker(Platform& platform);
// Sets `present` on every path; the result is the open's error code.
std::uint32_t isRestartMarkerPresent(Platform& platform, bool& present);
// Fails for a marker that has subkeys; the restart is then offered again later.
std::uint32_t deleteRestartMarker(Platform& platform);

}  // namespace eldoris
