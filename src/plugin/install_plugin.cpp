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

InstallerResult installPlugin(RunContext& run, std::wstring pluginArgs, bool silent,
                              std::wstring& logPath, bool reinstall) {
  const std::wstring packageMask = pluginPackageMask(run.platform);
  std::wstring& extraArguments = pluginArgs;

  const int state = run.platform.msiQueryProductState(PluginProductCode);
  logEvent(run, L"plug-in " + std::wstring(PluginProductCode) + L": product state " +
                    (state < 0 ? L"-" + decimal(static_cast<std::uint32_t>(-state))
                               : decimal(static_cast<std::uint32_t>(state))) +
                    (state == installStateDefault ? L" (installed)" : L" (not installed)"));
  if (state != installStateDefault) {
    logEvent(run, L"decision: fresh installation");
    if (!isQuiet(extraArguments)) {
      extraArguments.insert(0, L" " + std::wstring(uiLevel(run.desktopVisible)));
    }
    return runMsiInstall(run, PluginProductCode, packageMask, extraArguments, silent, logPath);
  }

  int versionOrder = 1;
  const InstallerResult checked =
      comparePackageVersion(run, PluginProductCode, packageMask, versionOrder);
  if (checked != 0) return checked;

  const std::wstring caption = messageText(run.platform, msg::updateCaption);
  if (!reinstall && versionOrder == 0) {
    if (silent) {
      logEvent(run, L"decision: same version, nothing to do (-silent)");
      return code::success;
    }
    if (showMessage(run, msg::sameVersionReinstall, caption, box::yesNo) != box::idYes) {
      logEvent(run, L"decision: same version, not reinstalled");
      return code::userExit;
    }
  } else if (versionOrder < 0 && !silent) {
    logEvent(run, L"decision: newer version installed, nothing to do");
    showMessage(run, msg::newerVersionInstalled, caption, box::iconError);
    return code::success;
  }
  logEvent(run, versionOrder > 0   ? L"decision: upgrade"
                : versionOrder < 0 ? L"decision: downgrade (-silent)"
                                   : L"decision: repair (the same version again)");

  if (run.platform.msiQueryFeatureState(PluginProductCode, PluginFeatureName) ==
      installStateAbsent) {
    logEvent(run, L"feature " + std::wstring(PluginFeatureName) + L" absent: added");
    extraArguments.insert(0, L" ADDLOCAL=ORVELIX");
  }
  const std::wstring reinstallAll = L"REINSTALL=ALL REINSTALLMODE=vomus";
  extraArguments.insert(0, isQuiet(extraArguments)
                               ? reinstallAll
                               : reinstallAll + L" " + uiLevel(run.desktopVisible));
  return runMsiInstall(run, PluginProductCode, packageMask, extraArguments, silent, logPath);
}

}  // namespace eldoris
