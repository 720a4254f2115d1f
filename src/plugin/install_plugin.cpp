#include "plugin/install_plugin.h"

#include "installer/msi_run.h"
#include "installer/text_search.h"
#include "messages/code_meaning.h"
#include "messages/message_ids.h"
#include "messages/messages.h"
#include "messages/run_log.h"
#include "plugin/package_version.h"
#include "plugin/plugin_product.h"

namespace eldoris {

std::wstring pluginPackageMask(bool wow64) { return wow64 ? L"velmarix*x64*" : L"velmarix*win32*"; }

bool isProductState(int state) {
  return state == installStateDefault || state == installStateAbsent || state == 1 ||  // advertised
         state == -1 ||                                                                // unknown
         state == installStateBadConfig;
}

namespace {

std::wstring stateText(int state) {
  return state < 0 ? L"-" + decimal(static_cast<std::uint32_t>(-state))
                   : decimal(static_cast<std::uint32_t>(state));
}

// Read as "not installed", a repair or an upgrade would run as a fresh /i.
InstallerResult noAnswer(RunContext& run, int state) {
  logEvent(run, L"plug-in " + std::wstring(PluginProductCode) + L": product state " +
                    stateText(state) + L", which is no answer: nothing is installed");
  noteCodeSource(
      run, code::functionFailed,
      L"the Windows Installer's answer to MsiQueryProductStateW: state " + stateText(state));
  return code::functionFailed;
}

// The plug-in as the decision saw it (installed in `version`, or not), read again once the run
// holds the run lock: another run may have installed, upgraded or removed it while this one asked,
// and acting on the first reading could reinstall an older package over a newer one.
InstallerResult stillAsDecided(RunContext& run, bool installed, const std::wstring& version) {
  const InstallerResult alone = holdRunLock(run);
  if (alone != 0) return alone;
  const Answer<int> state = run.platform.msiQueryProductState(PluginProductCode);
  if (state.failed()) return failedCall(run, L"MsiQueryProductStateW", state.error);
  if (!isProductState(state.value)) return noAnswer(run, state.value);
  TextRead now{0, std::wstring()};
  if (state.value == installStateDefault) {
    now = run.platform.msiGetProductInfo(PluginProductCode, L"VersionString");
    if (now.result != 0) return failedCall(run, L"MsiGetProductInfoW", now.result);
  }
  const bool installedNow = state.value == installStateDefault;
  if (installedNow == installed && now.text == version) return code::success;
  logEvent(run, L"another run changed the plug-in while this one decided (now " +
                    (!installedNow ? std::wstring(L"not installed")
                                   : L"version " + now.text + L" installed") +
                    L"): this run ends before it changes anything more");
  return code::installAlreadyRunning;
}

}  // namespace

InstallerResult installPlugin(RunContext& run, std::wstring pluginArgs, bool silent,
                              std::wstring& logPath, bool reinstall) {
  const Answer<bool>& wow64 = wow64Of(run);
  if (wow64.failed()) return failedCall(run, L"IsWow64Process", wow64.error);
  const std::wstring packageMask = pluginPackageMask(wow64.value);
  std::wstring& extraArguments = pluginArgs;

  const Answer<int> queried = run.platform.msiQueryProductState(PluginProductCode);
  if (queried.failed()) return failedCall(run, L"MsiQueryProductStateW", queried.error);
  const int state = queried.value;
  if (!isProductState(state)) return noAnswer(run, state);
  logEvent(run, L"plug-in " + std::wstring(PluginProductCode) + L": product state " +
                    stateText(state) +
                    (state == installStateDefault     ? L" (installed)"
                     : state == installStateBadConfig ? L" (the Windows Installer's data of it "
                                                        L"is corrupt: msiexec is left to mend it)"
                                                      : L" (not installed)"));
  if (state != installStateDefault) {
    logEvent(run, L"decision: fresh installation");
    if (!isQuiet(extraArguments)) {
      extraArguments.insert(0, L" " + std::wstring(uiLevel(run.desktopVisible)));
    }
    const InstallerResult same = stillAsDecided(run, false, std::wstring());
    if (same != 0) return same;
    return runMsiInstall(run, PluginProductCode, packageMask, extraArguments, silent, logPath);
  }

  int versionOrder = 1;
  std::wstring installedVersion;
  const InstallerResult checked =
      comparePackageVersion(run, PluginProductCode, packageMask, versionOrder, installedVersion);
  if (checked != 0) return checked;

  if (!reinstall && versionOrder == 0) {
    if (silent) {
      logEvent(run, L"decision: same version, nothing to do (-silent)");
      return code::success;
    }
    const BoxAnswer answer =
        showMessage(run, msg::sameVersionReinstall, msg::updateCaption, box::yesNo);
    if (answer.failed()) return boxNotShown(run, msg::sameVersionReinstall, answer);
    if (!answer.is(box::idYes)) {
      logEvent(run, L"decision: same version, not reinstalled");
      return code::userExit;
    }
  } else if (versionOrder < 0 && !silent) {
    logEvent(run, L"decision: newer version installed, nothing to do");
    const BoxAnswer shown =
        showMessage(run, msg::newerVersionInstalled, msg::updateCaption, box::iconError);
    return shown.failed() ? boxNotShown(run, msg::newerVersionInstalled, shown) : code::success;
  }
  logEvent(run, versionOrder > 0   ? L"decision: upgrade"
                : versionOrder < 0 ? L"decision: downgrade (-silent)"
                                   : L"decision: repair (the same version again)");

  const Answer<int> feature =
      run.platform.msiQueryFeatureState(PluginProductCode, PluginFeatureName);
  if (feature.failed()) return failedCall(run, L"MsiQueryFeatureStateW", feature.error);
  if (feature.value < -1) {  // INSTALLSTATE_INVALIDARG and the like: no answer
    noteCodeSource(run, code::functionFailed,
                   L"the Windows Installer's answer to MsiQueryFeatureStateW: state " +
                       stateText(feature.value));
    return code::functionFailed;
  }
  if (feature.value == installStateAbsent) {
    logEvent(run, L"feature " + std::wstring(PluginFeatureName) + L" absent: added");
    extraArguments.insert(0, L" ADDLOCAL=ORVELIX");
  }
  const std::wstring reinstallAll = L"REINSTALL=ALL REINSTALLMODE=vomus";
  extraArguments.insert(0, isQuiet(extraArguments)
                               ? reinstallAll
                               : reinstallAll + L" " + uiLevel(run.desktopVisible));
  const InstallerResult same = stillAsDecided(run, true, installedVersion);
  if (same != 0) return same;
  return runMsiInstall(run, PluginProductCode, packageMask, extraArguments, silent, logPath);
}

}  // namespace eldoris
