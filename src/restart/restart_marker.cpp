#include "restart/restart_marker.h"

#include <string>

namespace eldoris {

namespace {

std::wstring markerPath() { return std::wstring(restartMarkerParent) + L"\\" + restartMarkerName; }

}  // namespace

std::uint32_t createRestartMarker(Platform& platform) {
  return platform.createUserKey(markerPath());
}

std::uint32_t isRestartMarkerPresent(Platform& platform, bool& present) {
  const std::uint32_t result = platform.openUserKey(markerPath());
  present = result == 0;
  return result;
}

std::uint32_t deleteRestartMarker(Platform& platform) {
  return platform.deleteUserKey(restartMarkerParent, restartMarkerName);
}

}  // namespace eldoris
