#include "options/options.h"

#include <cstddef>

#include "messages/run_log.h"
#include "platform/platform.h"
#include "text/ascii.h"

namespace eldoris {

namespace {

enum class Match { anyCase, exact };

bool matches(const std::wstring& argument, const wchar_t* option, Match how) {
  return how == Match::exact ? argument == option : equalsIgnoringAsciiCase(argument, option);
}

// Whole seconds in decimal digits, up to the longest wait there can be.
bool readSeconds(const std::wstring& text, std::uint32_t& seconds) {
  if (text.empty() || text.size() > 7) return false;
  std::uint32_t value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - L'0');
  }
  if (value > maxInstallerWaitSeconds) return false;
  seconds = value;
  return true;
}

}  // namespace

ParseResult parseArguments(const std::vector<std::wstring>& arguments, InstallOptions& options) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& arg = arguments[i];
    const bool hasValue = i + 1 < arguments.size();

    if (matches(arg, L"-help", Match::anyCase) || matches(arg, L"--help", Match::anyCase) ||
        matches(arg, L"/help", Match::anyCase)) {
      return {ParseOutcome::helpRequested, arg};
    }
    if (matches(arg, L"-csp", Match::anyCase)) {
      options.installProvider = true;
    } else if (matches(arg, L"-ucsp", Match::anyCase)) {
      options.installUecProvider = true;
    } else if (matches(arg, L"-selectDlg", Match::anyCase)) {
      options.selectDialog = true;
    } else if (matches(arg, L"-silent", Match::anyCase)) {
      options.silent = true;
    } else if (matches(arg, L"-reinstall", Match::exact)) {
      options.reinstall = true;
    } else if (matches(arg, L"-noupdate", Match::exact)) {
      options.noUpdate = true;
    } else if (matches(arg, L"-norestart", Match::anyCase)) {
      options.noRestart = true;
    } else if (matches(arg, L"-restartcodes", Match::anyCase)) {
      options.restartCodes = true;
    } else if (hasValue && !arguments[i + 1].empty() && matches(arg, L"-log", Match::anyCase)) {
      options.logFile = arguments[++i];
    } else if (hasValue && matches(arg, L"-msiwait", Match::anyCase) &&
               readSeconds(arguments[i + 1], options.installerWaitSeconds)) {
      ++i;
    } else if (options.installProvider && hasValue && matches(arg, L"-CSPArgs", Match::anyCase)) {
      options.providerArgs += arguments[++i] + L" ";
    } else if (options.installProvider && hasValue && matches(arg, L"-KC", Match::anyCase)) {
      options.protectionClass += L"*" + arguments[++i] + L"*";
    } else if (options.installProvider && hasValue && matches(arg, L"-Lang", Match::anyCase)) {
      options.providerLanguage += L"*" + arguments[++i] + L"*";
    } else if (options.installUecProvider && hasValue &&
               matches(arg, L"-UCSPArgs", Match::anyCase)) {
      options.uecProviderArgs += arguments[++i] + L" ";
    } else if (hasValue && matches(arg, L"-VelmarArgs", Match::anyCase)) {
      options.pluginArgs += L" " + arguments[++i] + L" ";
    } else {
      // "-?" is listed in the help: asked for, though it has no row of its own.
      return {arg == L"-?" ? ParseOutcome::helpRequested : ParseOutcome::notUnderstood, arg};
    }
  }
  return {};
}

ParseResult parseCommandLine(Platform& platform, InstallOptions& options) {
  const auto split = platform.splitCommandLine(platform.commandLine());
  if (split.failed()) return {ParseOutcome::unreadable, std::wstring(), split.error};
  if (split.value.empty()) return {};
  return parseArguments(std::vector<std::wstring>(split.value.begin() + 1, split.value.end()),
                        options);
}

std::wstring describeOptions(const InstallOptions& options) {
  std::wstring text;
  const std::pair<bool, const wchar_t*> flags[] = {
      {options.installProvider, L" -csp"},    {options.installUecProvider, L" -ucsp"},
      {options.selectDialog, L" -selectDlg"}, {options.silent, L" -silent"},
      {options.reinstall, L" -reinstall"},    {options.noUpdate, L" -noupdate"},
      {options.noRestart, L" -norestart"},    {options.restartCodes, L" -restartcodes"}};
  for (const auto& [set, name] : flags) {
    if (set) text += name;
  }
  const std::pair<const std::wstring*, const wchar_t*> texts[] = {
      {&options.providerArgs, L" CSP arguments "},
      {&options.uecProviderArgs, L" UEC provider arguments "},
      {&options.pluginArgs, L" plug-in arguments "},
      {&options.protectionClass, L" KC "},
      {&options.providerLanguage, L" language "}};
  for (const auto& [value, name] : texts) {
    if (!value->empty()) text += name + quoted(*value);
  }
  if (!options.logFile.empty()) text += L" -log " + quoted(options.logFile);
  if (options.installerWaitSeconds != defaultInstallerWaitSeconds) {
    text += L" -msiwait " + decimal(options.installerWaitSeconds);
  }
  return text.empty() ? L"none" : text.substr(1);
}

std::wstring helpText(const InstallOptions& options) {
  std::wstring text =
      L"Установщик Тальвер Эльдорис.\n"
      L"При запуске без параметров осуществляет установку с параметрами по умолчанию.\n"
      L"\n"
      L"Возможные параметры командной строки:\n"
      L"  -?\t\t\tвывести данную справку\n"
      L"  -velmarargs \"<args>\"\tдополнительные параметры\n\t\t\tкомандной строки(<args>) для\n"
      L"\t\t\tвызова msiexec /i при установке\n\t\t\tпакета MSI плагина\n"
      L"  -reinstall\t\t\tпереустановка продукта\n"
      L"  -silent\t\t\tподавить диалоговые окна\n\t\t\tбутстраппера\n"
      L"  -norestart\t\tподавить перезагрузку, если она\n\t\t\tбудет необходима\n";
  if (options.installProvider) {
    text +=
        L"  -cspargs \"<args>\"\tдополнителные параметры\n\t\t\tкомандной строки (<args>) для\n"
        L"\t\t\tвызова msiexec /i при установке\n\t\t\tпакета MSI Тальвер CSP\n";
  }
  if (options.installUecProvider) {
    text +=
        L"  -ucspargs \"<args>\"\tдополнительные параметры\n\t\t\tкомандной строки (<args>) для\n"
        L"\t\t\tвызова msiexec /i при установке\n\t\t\tпакета MSI Тальвер УЭК CSP\n";
  }
  if (options.installProvider) {
    text +=
        L"  -selectDlg\tвывести диалог выбора конфигурации Тальвер CSP\n"
        L"  -KC\t\t\tуровень KC Тальвер CSP\n"
        L"  -Lang\t\t\tязык Тальвер CSP\n";
  }
  return text;
}

Answer<int> showHelp(Platform& platform, const InstallOptions& options) {
  return platform.messageBox(helpText(options), L"Справка", box::iconInformation);
}

}  // namespace eldoris
