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
  std::wstring providerArgs;
  std::wstring uecProviderArgs;
  std::wstring pluginArgs;
  std::wstring protectionClass;
  std::wstring providerLanguage;
};

}  // namespace eldoris
