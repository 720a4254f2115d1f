#include "driver/run.h"

#include "driver/os_check.h"
#include "messages/message_ids.h"
#include "messages/messages.h"
#include "options/options.h"
#include "plugin/install_plugin.h"
#include "provider/provider_setup.h"
#include "restart/restart_marker.h"

namespace eldoris {

namespace {

MessageId byProviders(const InstallOptions& options, MessageId both, MessageId providerOnly,
                      MessageId uecOnly, MessageId neither) {
  if (options.installProvider) return options.installUecProvider ? both : providerOnly;
  return options.installUecProvider ? uecOnly : neither;
}

// The run's boxes share one caption and one text buffer: an id missing from
// the string table leaves the previous text in place.
class Messenger {
 public:
  explicit Messenger(Platform& platform) : platform_(platform) {
    loadMessage(platform_, msg::productTitle, caption_);
  }
  int show(MessageId id, unsigned style) {
    loadMessage(platform_, id, text_);
    return platform_.messageBox(text_, caption_, style);
  }
  int showText(const std::wstring& text, unsigned style) {
    text_ = text;
    return platform_.messageBox(text_, caption_, style);
  }

 private:
  Platform& platform_;
  std::wstring caption_;
  std::wstring text_;
};

InstallerResult finishWithRestartDecision(Platform& platform, const InstallOptions& options,
                                          Messenger& messenger) {
  bool markerPresent = false;
  isRestartMarkerPresent(platform, markerPresent);
  if (!markerPresent || options.noRestart) {
    if (!options.silent) messenger.show(restartBrowserNotice(options), box::ok);
    return code::success;
  }

  deleteRestartMarker(platform);
  if (!options.silent &&
      messenger.show(restartQuestion(options), box::yesNo | box::iconWarning) != box::idYes) {
    return code::success;
  }
  if (platform.restartSystem()) return code::success;
  if (!options.silent) messenger.show(msg::restartFailed, box::ok);
  return restartFailedResult;
}

}  // namespace

MessageId confirmationMessage(const InstallOptions& options) {
  return byProviders(options, msg::confirmPluginAndBothProviders, msg::confirmPluginAndProvider,
                     msg::confirmPluginAndUecProvider, msg::confirmPlugin);
}

MessageId restartQuestion(const InstallOptions& options) {
  return byProviders(options, msg::restartNowWithBothProviders, msg::restartNowWithProvider,
                     msg::restartNowWithUecProvider, msg::restartNow);
}

MessageId restartBrowserNotice(const InstallOptions& options) {
  return byProviders(options, msg::restartBrowserWithBothProviders, msg::restartBrowserWithProvider,
                     msg::restartBrowserWithUecProvider, msg::restartBrowser);
}

InstallerResult runBootstrapper(Platform& platform, const std::wstring& commandLineTail) {
  Messenger messenger(platform);
  InstallOptions options;
  if (!commandLineTail.empty() &&
      parseCommandLine(platform, options) == ParseOutcome::helpRequested) {
    showHelp(platform, options);
    return code::success;
  }

  if (!platform.isUserAnAdmin()) {
    if (!options.silent) messenger.show(msg::mustRunAsAdministrator, box::iconError);
    return 1;
  }

  const InstallerResult system = checkOperatingSystem(platform, options.silent);
  if (system != 0) return system;

  if (!options.silent && messenger.show(confirmationMessage(options), box::yesNo) == box::idNo) {
    return code::success;
  }

  if (options.selectDialog && options.installProvider && !options.silent &&
      platform.showConfigurationDialog(options) == DialogOutcome::cancelled) {
    return code::success;
  }

  if (options.installProvider) {
    const InstallerResult result =
        runProviderSetup(platform, L"csp", options.providerArgs, options.silent, options.reinstall,
                         options.noUpdate);
    if (result != 0) return result;
  }
  if (options.installUecProvider) {
    const InstallerResult result =
        runProviderSetup(platform, L"ucsp", options.uecProviderArgs, options.silent,
                         options.reinstall, options.noUpdate);
    if (result != 0) return result;
  }

  // The Windows Installer's own interface is off for this process's calls, the
  // first of which is in installPlugin; set only now, because it loads msi.dll,
  // which the question and a declined run need not wait for.
  platform.msiSetInternalUiNone();

  std::wstring logPath;
  const InstallerResult plugin =
      installPlugin(platform, options.pluginArgs, options.silent, logPath, options.reinstall);
  if (plugin == code::userExit) return plugin;
  if (plugin != 0) {
    if (!options.silent) {
      std::wstring text;
      composeFailureText(platform, msg::pluginInstallFailed, plugin, logPath, text);
      messenger.showText(text, box::iconError);
    }
    return plugin;
  }

  return finishWithRestartDecision(platform, options, messenger);
}

}  // namespace eldoris
