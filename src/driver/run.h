// The whole run, from the command line to the exit code.
#pragma once

#include <string>

#include "options/install_options.h"
#include "platform/platform.h"

namespace eldoris {

// Exit code when a due restart could not be started.
constexpr InstallerResult restartFailedResult = 7;

// The confirmation question for the providers asked for.
MessageId confirmationMessage(const InstallOptions& options);
// The restart question, and the notice to restart the browser.
MessageId restartQuestion(const InstallOptions& options);
MessageId restartBrowserNotice(const InstallOptions& options);

// `commandLineTail` is what follows the program name; when it is empty no
// option is read. Returns the process exit code.
InstallerResult runBootstrapper(Platform& platform, const std::wstring& commandLineTail);

}  // namespace eldoris
