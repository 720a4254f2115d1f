#include "driver/admin_check.h"

namespace eldoris {

AdminAnswer askWhetherAdministrator(Platform& platform) {
  if (const auto byName = platform.shellIsUserAnAdmin(ShellExport::byName)) {
    return {*byName, L"IsUserAnAdmin"};
  }
  if (const auto byOrdinal = platform.shellIsUserAnAdmin(ShellExport::byOrdinal)) {
    return {*byOrdinal, L"IsUserAnAdmin by ordinal 680"};
  }
  const Answer<bool> token = platform.tokenIsAdministrator();
  return {token.value, L"the process token's groups", token.error};
}

}  // namespace eldoris
