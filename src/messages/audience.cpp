#include "messages/audience.h"

#include "text/decimal.h"

namespace eldoris {

Audience whoCanSee(const DesktopView& view, const std::optional<OsVersion>& version) {
  // What cannot be read is taken as nobody seeing it: the side on which
  // nothing waits for a person.
  if (view.stationVisible.failed()) {
    return {false, L"taken as nobody seeing it (the window station's flags cannot be read, error " +
                       decimal(view.stationVisible.error) + L")"};
  }
  if (!view.stationVisible.value) {
    return {false, L"nobody can see it (a window station without WSF_VISIBLE)"};
  }
  // Before Vista, session 0 is the console that people log on to.
  const bool vista = version && version->major >= 6;
  if (vista && view.session.failed()) {
    return {false, L"taken as nobody seeing it (the session cannot be read, error " +
                       decimal(view.session.error) + L")"};
  }
  if (vista && view.session.value == 0) return {false, L"nobody can see it (session 0)"};
  std::wstring why = L"a person can see it (window station visible, session ";
  why += view.session.failed() ? std::wstring(L"unreadable") : decimal(view.session.value);
  return {true, why + L")"};
}

}  // namespace eldoris
