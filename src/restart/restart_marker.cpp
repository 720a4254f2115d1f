#include "restart/restart_marker.h"

#include <string>

#include "messages/run_log.h"

namespace eldoris {

namespace {

std::wstring markerPath() { return std::wstring(restartMarkerParent) + L"\\" + restartMarkerName; }

}  // namespace

std::uint32_t createRestartMarker(Platform& platform) {
  const std::uint32_t result = platform.createUserKey(markerPath());
  logEvent(platform, result == 0 ? L"restart marker created"
                                 : L"restart marker not created: error " + decimal(result));
  return result;
}

std::uint32_t isRestartMarkerPresent(Platform& platform, bool& present) {
  const std::uint32_t result = platform.openUserKey(markerPath());
  present = result == 0;
  logEvent(platform, present ? L"restart marker found"
                             : L"no restart marker (error " + decimal(result) + L")");
  return result;
}

std::uint32_t deleteRestartMarker(Platform& platform) {
  const std::uint32_t result = platform.deleteUserKey(restartMarkerParent, restartMarkerName);
  logEvent(platform, result == 0 ? L"restart marker deleted"
                                 : L"restart marker not deleted: error " + decimal(result));
  return result;
}

}  // namespace eldoris
