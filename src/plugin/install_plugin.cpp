#include "plugin/install_plugin.h"

#include "installer/msi_run.h"
#include "installer/text_search.h"
#include "messages/message_ids.h"
#include "messages/messages.h"
#include "plugin/package_version.h"
#include "plugin/plugin_product.h"

namespace eldoris {

std::wstring pluginPackageMask(Platform& platform) {
  return platform.isWow64Process() ? L"velmarix*x64*" : L"velmarix*win32*";
}

InstallerResult installPlugin(Platform& platform, std::wstring pluginArgs, bool silent,
                              std::wstring& logPath, bool reinstall) {
  const std::wstring packageMask = pluginPackageMask(platform);
  std::wstring& extraArguments = pluginArgs;

  if (platform.msiQueryProductState(PluginProductCode) != installStateDefault) {
    if (!isQuiet(extraArguments)) extraArguments.insert(0, L" /qb");
    return runMsiInstall(platform, PluginProductCode, packageMask, extraArguments, silent, logPath);
  }

  int versionOrder = 1;
  const InstallerResult checked = comparePackageVersion(platform, PluginProductCode, versionOrder);
  if (checked != 0) return checked;

  const std::wstring caption = messageText(platform, msg::updateCaption);
  if (!reinstall && versionOrder == 0) {
    if (silent) return code::success;
    if (showMessage(platform, msg::sameVersionReinstall, caption, box::yesNo) != box::idYes) {
      return code::userExit;
    }
  } else if (versionOrder < 0 && !silent) {
    showMessage(platform, msg::newerVersionInstalled, caption, box::iconError);
    return code::success;
  }

  if (platform.msiQueryFeatureState(PluginProductCode, PluginFeatureName) == installStateAbsent) {
    extraArguments.insert(0, L" ADDLOCAL=ORVELIX");
  }
  extraArguments.insert(0, isQuiet(extraArguments) ? L"REINSTALL=ALL REINSTALLMODE=vomus"
                                                   : L"REINSTALL=ALL REINSTALLMODE=vomus /qb");
  return runMsiInstall(platform, PluginProductCode, packageMask, extraArguments, silent, logPath);
}

}  // namespace eldoris
