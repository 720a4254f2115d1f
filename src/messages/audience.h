// Whether anybody can see the program's windows. A deployment tool's system
// account runs it on a window station without WSF_VISIBLE, and from Windows
// Vista on in session 0, where no person sees a box and none is ever answered.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace eldoris {

struct Audience {
  bool visible = true;
  std::wstring why;  // for the run's log
};

// A fact that cannot be read counts as nobody seeing it, where it matters:
// a box there would wait for ever, a -silent run goes on as anywhere.
Audience whoCanSee(const DesktopView& view, const std::optional<OsVersion>& version);

}  // namespace eldoris
