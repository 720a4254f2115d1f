// What the user asked for on the command line.
#pragma once

#include <string>

namespace eldoris {

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
  std::wstring providerArgs;
  std::wstring uecProviderArgs;
  std::wstring pluginArgs;
  std::wstring protectionClass;
  std::wstring providerLanguage;
};

}  // namespace eldoris
