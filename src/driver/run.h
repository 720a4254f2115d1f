// The whole run, from the command line to the exit code.
#pragma once

#include <string>

#include "options/install_options.h"
#include "platform/platform.h"

namespace eldoris {

// Exit code when a due restart could not be started.
constexpr InstallerResult restartFailedResult = 7;
// Exit code, with -restartcodes, when a provider setup asks for a restart
// before the plug-in is installed (ERROR_FAIL_NOACTION_REBOOT: "No action was
// taken as a system reboot is required"); none of the codes that deployment
// tools read as success, a restart or a retry.
constexpr InstallerResult providerRestartResult = 350;
// Exit code for a fault of the program's own (ERROR_INTERNAL_ERROR).
constexpr InstallerResult internalErrorResult = 1359;

// The confirmation question for the providers asked for.
MessageId confirmationMessage(const InstallOptions& options);
// The restart question, and the notice to restart the browser.
MessageId restartQuestion(const InstallOptions& options);
MessageId restartBrowserNotice(const InstallOptions& options);

// `commandLineTail` is what follows the program name; when it is empty no
// option is read. Returns the process exit code.
InstallerResult runBootstrapper(Platform& platform, const std::wstring& commandLineTail);

}  // namespace eldoris
