#include "messages/audience.h"

#include "text/decimal.h"

namespace eldoris {

Audience whoCanSee(const DesktopView& view, const std::optional<OsVersion>& version) {
  if (view.stationVisible && !*view.stationVisible) {
    return {false, L"nobody can see it (a window station without WSF_VISIBLE)"};
  }
  // Before Vista, session 0 is the console that people log on to.
  if (version && version->major >= 6 && view.session && *view.session == 0) {
    return {false, L"nobody can see it (session 0)"};
  }
  std::wstring why = L"a person can see it (window station ";
  why += !view.stationVisible ? L"unreadable" : L"visible";
  why += L", session ";
  why += view.session ? decimal(*view.session) : std::wstring(L"unreadable");
  return {true, why + L")"};
}

}  // namespace eldoris
