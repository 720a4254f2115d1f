// Whether the user is an administrator, by the test each Windows offers.
#pragma once

#include "platform/platform.h"

namespace eldoris {

struct AdminAnswer {
  bool admin = false;
  const wchar_t* how = L"";  // which test answered, for the run's log
  std::uint32_t error = 0;   // the token's groups could not be read: no answer
};

// SHELL32's IsUserAnAdmin by name (XP SP1 on), else by its ordinal 680 (what
// NT 4.0, 2000 and XP before SP1 have of it), else the process token's groups.
AdminAnswer askWhetherAdministrator(Platform& platform);

}  // namespace eldoris
