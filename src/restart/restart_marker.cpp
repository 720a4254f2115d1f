#include "restart/restart_marker.h"

#include <string>

#include "messages/run_log.h"

namespace eldoris {

namespace {

std::wstring markerPath() { return std::wstring(restartMarkerParent) + L"\\" + restartMarkerName; }

std::uint32_t view(Platform& platform) { return registryViewFlag(platform.isWow64Process()); }

}  // namespace

std::uint32_t createRestartMarker(Platform& platform) {
  const std::uint32_t result = platform.createUserKey(markerPath(), view(platform));
  logEvent(platform, result == 0 ? L"restart marker created"
                                 : L"restart marker not created: error " + decimal(result));
  return result;
}

std::uint32_t isRestartMarkerPresent(Platform& platform, bool& present) {
  const std::uint32_t result = platform.openUserKey(markerPath(), view(platform));
  present = result == 0;
  logEvent(platform, present ? L"restart marker found"
                             : L"no restart marker (error " + decimal(result) + L")");
  return result;
}

std::uint32_t deleteRestartMarker(Platform& platform) {
  const std::uint32_t result =
      platform.deleteUserKey(restartMarkerParent, restartMarkerName, view(platform));
  logEvent(platform, result == 0 ? L"restart marker deleted"
                                 : L"restart marker not deleted: error " + decimal(result));
  return result;
}

RestartCall restartCallFor(const std::optional<OsVersion>& version) {
  const bool xpOrLater =
      version && (version->major > 5 || (version->major == 5 && version->minor >= 1));
  return xpOrLater ? RestartCall::initiateShutdownEx : RestartCall::initiateShutdown;
}

const wchar_t* restartCallName(RestartCall call) {
  switch (call) {
    case RestartCall::initiateShutdownEx:
      return L"InitiateSystemShutdownExW";
    case RestartCall::initiateShutdown:
      return L"InitiateSystemShutdownW";
  }
  return L"";
}

}  // namespace eldoris
