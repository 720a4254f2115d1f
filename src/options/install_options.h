// What the user asked for on the command line.
#pragma once

#include <cstdint>
#include <string>

namespace eldoris {

// How long a run that asks nobody waits for a busy Windows Installer, by default.
constexpr std::uint32_t defaultInstallerWaitSeconds = 600;
// The longest wait -msiwait takes: its milliseconds stay below INFINITE.
constexpr std::uint32_t maxInstallerWaitSeconds = 4294966;

struct InstallOptions {
  bool installProvider = false;
  bool installUecProvider = false;
  bool selectDialog = false;
  bool silent = false;
  bool reinstall = false;
  bool noUpdate = false;
  bool noRestart = false;
  // A due restart shows in the exit code (3010 not started, 1641 started).
  bool restartCodes = false;
  // -log: the run's own log there instead of TMP, the installers' beside it.
  std::wstring logFile;
  // -msiwait: the bound of the wait for a busy Windows Installer, in seconds.
  std::uint32_t installerWaitSeconds = defaultInstallerWaitSeconds;
  std::wstring providerArgs;
  std::wstring uecProviderArgs;
  std::wstring pluginArgs;
  std::wstring protectionClass;
  std::wstring providerLanguage;
};

}  // namespace eldoris
