#include "plugin/install_plugin.h"

#include "installer/msi_run.h"
#include "installer/text_search.h"
#include "messages/message_ids.h"
#include "messages/messages.h"
#include "messages/run_log.h"
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

  const int state = platform.msiQueryProductState(PluginProductCode);
  logEvent(platform, L"plug-in " + std::wstring(PluginProductCode) + L": product state " +
                         (state < 0 ? L"-" + decimal(static_cast<std::uint32_t>(-state))
                                    : decimal(static_cast<std::uint32_t>(state))) +
                         (state == installStateDefault ? L" (installed)" : L" (not installed)"));
  if (state != installStateDefault) {
    logEvent(platform, L"decision: fresh installation");
    if (!isQuiet(extraArguments)) {
      extraArguments.insert(0, L" " + std::wstring(uiLevel(platform.desktopVisible)));
    }
    return runMsiInstall(platform, PluginProductCode, packageMask, extraArguments, silent, logPath);
  }

  int versionOrder = 1;
  const InstallerResult checked =
      comparePackageVersion(platform, PluginProductCode, packageMask, versionOrder);
  if (checked != 0) return checked;

  const std::wstring caption = messageText(platform, msg::updateCaption);
  if (!reinstall && versionOrder == 0) {
    if (silent) {
      logEvent(platform, L"decision: same version, nothing to do (-silent)");
      return code::success;
    }
    if (showMessage(platform, msg::sameVersionReinstall, caption, box::yesNo) != box::idYes) {
      logEvent(platform, L"decision: same version, not reinstalled");
      return code::userExit;
    }
  } else if (versionOrder < 0 && !silent) {
    logEvent(platform, L"decision: newer version installed, nothing to do");
    showMessage(platform, msg::newerVersionInstalled, caption, box::iconError);
    return code::success;
  }
  logEvent(platform, versionOrder > 0   ? L"decision: upgrade"
                     : versionOrder < 0 ? L"decision: downgrade (-silent)"
                                        : L"decision: repair (the same version again)");

  if (platform.msiQueryFeatureState(PluginProductCode, PluginFeatureName) == installStateAbsent) {
    logEvent(platform, L"feature " + std::wstring(PluginFeatureName) + L" absent: added");
    extraArguments.insert(0, L" ADDLOCAL=ORVELIX");
  }
  const std::wstring reinstallAll = L"REINSTALL=ALL REINSTALLMODE=vomus";
  extraArguments.insert(0, isQuiet(extraArguments)
                               ? reinstallAll
                               : reinstallAll + L" " + uiLevel(platform.desktopVisible));
  return runMsiInstall(platform, PluginProductCode, packageMask, extraArguments, silent, logPath);
}

}  // namespace eldoris
