#include "driver/admin_check.h"

namespace eldoris {

AdminAnswer askWhetherAdministrator(Platform& platform) {
  if (const auto byName = platform.shellIsUserAnAdmin(ShellExport::byName)) {
    return {*byName, L"IsUserAnAdmin"};
  }
  if (const auto byOrdinal = platform.shellIsUserAnAdmin(ShellExport::byOrdinal)) {
    return {*byOrdinal, L"IsUserAnAdmin by ordinal 680"};
  }
  return {platform.tokenIsAdministrator(), L"the process token's groups"};
}

}  // namespace eldoris
