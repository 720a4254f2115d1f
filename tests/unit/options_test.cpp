#include "options/options.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace eldoris::testing {
namespace {

struct Parsed {
  ParseOutcome outcome;
  InstallOptions options;
  std::wstring argument;
};

Parsed parse(const std::vector<std::wstring>& arguments) {
  Parsed parsed{ParseOutcome::proceed, {}, {}};
  const ParseResult result = parseArguments(arguments, parsed.options);
  parsed.outcome = result.outcome;
  parsed.argument = result.argument;
  return parsed;
}

TEST(ParseArguments, FlagsInAnyCaseExceptReinstallAndNoUpdate) {
  struct Row {
    std::wstring argument;
    bool InstallOptions::*flag;
  };
  const std::vector<Row> rows = {
      {L"-csp", &InstallOptions::installProvider},
      {L"-CSP", &InstallOptions::installProvider},
      {L"-Csp", &InstallOptions::installProvider},
      {L"-ucsp", &InstallOptions::installUecProvider},
      {L"-UcSp", &InstallOptions::installUecProvider},
      {L"-selectDlg", &InstallOptions::selectDialog},
      {L"-SELECTDLG", &InstallOptions::selectDialog},
      {L"-silent", &InstallOptions::silent},
      {L"-SILENT", &InstallOptions::silent},
      {L"-reinstall", &InstallOptions::reinstall},
      {L"-noupdate", &InstallOptions::noUpdate},
      {L"-norestart", &InstallOptions::noRestart},
      {L"-NoRestart", &InstallOptions::noRestart},
      {L"-restartcodes", &InstallOptions::restartCodes},
      {L"-RestartCodes", &InstallOptions::restartCodes},
  };
  for (const auto& row : rows) {
    const Parsed parsed = parse({row.argument});
    EXPECT_EQ(parsed.outcome, ParseOutcome::proceed) << row.argument.size();
    EXPECT_TRUE(parsed.options.*row.flag);
  }
}

TEST(ParseArguments, UnknownSpellingsShowTheHelp) {
  for (const std::wstring argument :
       {L"-REINSTALL", L"-Reinstall", L"-NoUpdate", L"-NOUPDATE", L"/csp", L"--csp", L"", L"-foo",
        L"csp", L"-csp ", L"-ÇSP", L"-restartcodes=1"}) {
    const Parsed parsed = parse({L"-silent", argument, L"-csp"});
    EXPECT_EQ(parsed.outcome, ParseOutcome::notUnderstood);
    EXPECT_EQ(parsed.argument, argument);
  }
  // Listed in the help, so asked for, though no row of its own knows it.
  EXPECT_EQ(parse({L"-?"}).outcome, ParseOutcome::helpRequested);
}

TEST(ParseArguments, TheLogAndTheWaitTakeAValueThatMakesSense) {
  struct Row {
    std::vector<std::wstring> arguments;
    ParseOutcome outcome;
    std::wstring logFile;
    std::uint32_t waitSeconds;
  };
  const std::vector<Row> rows = {
      {{L"-LOG", L"logs\\run.log", L"-log", L"C:\\x.log"},
       ParseOutcome::proceed,
       L"C:\\x.log",
       600},
      {{L"-msiwait", L"0"}, ParseOutcome::proceed, L"", 0},
      {{L"-MsiWait", L"4294966"}, ParseOutcome::proceed, L"", 4294966},
      {{L"-msiwait", L"4294967"}, ParseOutcome::notUnderstood, L"", 600},  // past INFINITE's ms
      {{L"-msiwait", L"-5"}, ParseOutcome::notUnderstood, L"", 600},
      {{L"-msiwait", L"10s"}, ParseOutcome::notUnderstood, L"", 600},
      {{L"-msiwait"}, ParseOutcome::notUnderstood, L"", 600},
      {{L"-log"}, ParseOutcome::notUnderstood, L"", 600},
      {{L"-log", L""}, ParseOutcome::notUnderstood, L"", 600},
  };
  for (const auto& row : rows) {
    const Parsed parsed = parse(row.arguments);
    EXPECT_EQ(parsed.outcome, row.outcome) << row.arguments.size();
    EXPECT_EQ(parsed.options.logFile, row.logFile);
    EXPECT_EQ(parsed.options.installerWaitSeconds, row.waitSeconds);
  }
}

TEST(ParseArguments, HelpFormsInAnyCase) {
  for (const std::wstring argument :
       {L"-help", L"--help", L"/help", L"-HELP", L"--Help", L"/hElP"}) {
    EXPECT_EQ(parse({argument}).outcome, ParseOutcome::helpRequested);
  }
}

TEST(ParseArguments, ValueOptionsAppendTheirValues) {
  const Parsed parsed = parse({L"-csp", L"-CSPArgs", L"A=1", L"-cspargs", L"B=2", L"-ucsp",
                               L"-UCSPArgs", L"U=1", L"-VelmarArgs", L"X=1", L"-velmarargs", L"Y=2",
                               L"-KC", L"KC2", L"-kc", L"KC3", L"-Lang", L"rus"});
  ASSERT_EQ(parsed.outcome, ParseOutcome::proceed);
  EXPECT_EQ(parsed.options.providerArgs, L"A=1 B=2 ");
  EXPECT_EQ(parsed.options.uecProviderArgs, L"U=1 ");
  EXPECT_EQ(parsed.options.pluginArgs, L" X=1  Y=2 ");
  EXPECT_EQ(parsed.options.protectionClass, L"*KC2**KC3*");
  EXPECT_EQ(parsed.options.providerLanguage, L"*rus*");
}

TEST(ParseArguments, AValueIsAlwaysTheNextElement) {
  const Parsed parsed = parse({L"-VelmarArgs", L"-silent"});
  EXPECT_EQ(parsed.outcome, ParseOutcome::proceed);
  EXPECT_FALSE(parsed.options.silent);
  EXPECT_EQ(parsed.options.pluginArgs, L" -silent ");
  EXPECT_EQ(parse({L"-VelmarArgs", L"A=1 B=2"}).options.pluginArgs, L" A=1 B=2 ");
}

TEST(ParseArguments, ProviderOptionsNeedTheirProviderFirst) {
  EXPECT_EQ(parse({L"-CSPArgs", L"A=1", L"-csp"}).outcome, ParseOutcome::notUnderstood);
  EXPECT_EQ(parse({L"-ucsp", L"-CSPArgs", L"A=1"}).outcome, ParseOutcome::notUnderstood);
  EXPECT_EQ(parse({L"-csp", L"-UCSPArgs", L"A=1"}).outcome, ParseOutcome::notUnderstood);
  EXPECT_EQ(parse({L"-KC", L"KC1"}).outcome, ParseOutcome::notUnderstood);
  EXPECT_EQ(parse({L"-ucsp", L"-Lang", L"eng"}).outcome, ParseOutcome::notUnderstood);
  EXPECT_EQ(parse({L"-csp", L"-CSPArgs", L"A=1"}).outcome, ParseOutcome::proceed);
}

TEST(ParseArguments, AValueOptionAtTheEndShowsTheHelpWithWhatCameBefore) {
  for (const std::wstring last : {L"-CSPArgs", L"-KC", L"-Lang", L"-VelmarArgs"}) {
    const Parsed parsed = parse({L"-csp", last});
    EXPECT_EQ(parsed.outcome, ParseOutcome::notUnderstood);
    EXPECT_TRUE(parsed.options.installProvider);
  }
  EXPECT_EQ(parse({L"-ucsp", L"-UCSPArgs"}).outcome, ParseOutcome::notUnderstood);
}

TEST(ParseArguments, StopsAtTheFirstHelpRequest) {
  const Parsed parsed = parse({L"-silent", L"-help", L"-csp"});
  EXPECT_EQ(parsed.outcome, ParseOutcome::helpRequested);
  EXPECT_TRUE(parsed.options.silent);
  EXPECT_FALSE(parsed.options.installProvider);
}

TEST(ParseArguments, RepeatedFlagsChangeNothingFurther) {
  const Parsed parsed = parse({L"-csp", L"-csp", L"-silent", L"-SILENT"});
  EXPECT_EQ(parsed.outcome, ParseOutcome::proceed);
  EXPECT_TRUE(parsed.options.installProvider);
  EXPECT_TRUE(parsed.options.silent);
  EXPECT_FALSE(parsed.options.installUecProvider);
}

TEST(ParseCommandLine, SkipsTheProgramAndSaysWhenTheSplitFails) {
  FakePlatform platform;
  platform.splitResult = {0, {L"-help"}};  // the program's own name
  InstallOptions options;
  EXPECT_EQ(parseCommandLine(platform, options).outcome, ParseOutcome::proceed);

  platform.splitResult = {8, {}};  // ERROR_NOT_ENOUGH_MEMORY
  const ParseResult failed = parseCommandLine(platform, options);
  EXPECT_EQ(failed.outcome, ParseOutcome::unreadable);
  EXPECT_EQ(failed.error, 8u);

  platform.splitResult = {};
  platform.processCommandLine = L"setup.exe -csp -silent";
  EXPECT_EQ(parseCommandLine(platform, options).outcome, ParseOutcome::proceed);
  EXPECT_TRUE(options.installProvider);
  EXPECT_TRUE(options.silent);
}

const std::wstring helpHead =
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
const std::wstring cspArgsLine =
    L"  -cspargs \"<args>\"\tдополнителные параметры\n\t\t\tкомандной строки (<args>) для\n"
    L"\t\t\tвызова msiexec /i при установке\n\t\t\tпакета MSI Тальвер CSP\n";
const std::wstring ucspArgsLine =
    L"  -ucspargs \"<args>\"\tдополнительные параметры\n\t\t\tкомандной строки (<args>) для\n"
    L"\t\t\tвызова msiexec /i при установке\n\t\t\tпакета MSI Тальвер УЭК CSP\n";
const std::wstring cspTail =
    L"  -selectDlg\tвывести диалог выбора конфигурации Тальвер CSP\n"
    L"  -KC\t\t\tуровень KC Тальвер CSP\n"
    L"  -Lang\t\t\tязык Тальвер CSP\n";

TEST(HelpText, ListsTheProviderLinesOnlyForTheProvidersAskedFor) {
  InstallOptions options;
  EXPECT_EQ(helpText(options), helpHead);
  options.installUecProvider = true;
  EXPECT_EQ(helpText(options), helpHead + ucspArgsLine);
  options.installProvider = true;
  EXPECT_EQ(helpText(options), helpHead + cspArgsLine + ucspArgsLine + cspTail);
  options.installUecProvider = false;
  EXPECT_EQ(helpText(options), helpHead + cspArgsLine + cspTail);
}

TEST(ShowHelp, InformationBoxCaptionedReference) {
  FakePlatform platform;
  InstallOptions options;
  options.silent = true;
  showHelp(platform, options);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].caption, L"Справка");
  EXPECT_EQ(platform.boxes[0].style, 0x40u);
  EXPECT_EQ(platform.boxes[0].text, helpHead);
}

}  // namespace
}  // namespace eldoris::testing
