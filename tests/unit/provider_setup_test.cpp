#include "provider/provider_setup.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "messages/message_ids.h"

namespace eldoris::testing {
namespace {

const std::wstring kCspLog = L"C:\\Temp\\csp_2026-12-06-07-05-09.log";
const std::wstring kUcspLog = L"C:\\Temp\\ucsp_2026-12-06-07-05-09.log";

// The log option as it stands inside the quoted -args value.
std::wstring logOption(const std::wstring& path) { return L"/Lv! \"\"\"" + path + L"\"\"\" "; }

struct CommandCase {
  const char* name;
  std::wstring subdirectory;
  std::wstring extraArguments;
  bool silent;
  bool reinstall;
  bool noUpdate;
  std::wstring commandLine;
};

TEST(ProviderSetup, BuildsTheSetupCommandLine) {
  const std::wstring tail = L"\" -noreboot -root";
  const std::vector<CommandCase> cases = {
      {"csp", L"csp", L"", false, false, false,
       L"csp\\Setup.exe -args \"/qb " + logOption(kCspLog) + tail},
      {"all flags", L"csp", L"", true, true, true,
       L"csp\\Setup.exe -args \"/qb " + logOption(kCspLog) + tail +
           L" -silent -reinstall -noupdate"},
      {"silent", L"csp", L"", true, false, false,
       L"csp\\Setup.exe -args \"/qb " + logOption(kCspLog) + tail + L" -silent"},
      {"reinstall", L"csp", L"", false, true, false,
       L"csp\\Setup.exe -args \"/qb " + logOption(kCspLog) + tail + L" -reinstall"},
      {"noupdate", L"csp", L"", false, false, true,
       L"csp\\Setup.exe -args \"/qb " + logOption(kCspLog) + tail + L" -noupdate"},
      {"silent and noupdate", L"csp", L"", true, false, true,
       L"csp\\Setup.exe -args \"/qb " + logOption(kCspLog) + tail + L" -silent -noupdate"},
      {"ucsp quiet", L"ucsp", L"/qn ", false, false, false,
       L"ucsp\\Setup.exe -args \"" + logOption(kUcspLog) + L"/qn " + tail},
      {"quiet with a bang", L"csp", L"/qb! ", false, false, false,
       L"csp\\Setup.exe -args \"" + logOption(kCspLog) + L"/qb! " + tail},
      {"user log", L"csp", L"/L*v x.log ", false, false, false,
       L"csp\\Setup.exe -args \"/qb /L*v x.log " + tail},
      {"small l in a property", L"csp", L"DIR=C:/lib ", false, false, false,
       L"csp\\Setup.exe -args \"/qb DIR=C:/lib " + tail},
      {"capital Q", L"csp", L"/Q ", false, false, false,
       L"csp\\Setup.exe -args \"/qb " + logOption(kCspLog) + L"/Q " + tail},
      {"dash l", L"ucsp", L"-l x.log ", false, false, false,
       L"ucsp\\Setup.exe -args \"/qb " + logOption(kUcspLog) + L"-l x.log " + tail},
  };
  for (const auto& c : cases) {
    for (const bool seen : {true, false}) {  // where nobody sees it: /qn for /qb
      FakePlatform platform;
      RunContext run(platform);
      run.desktopVisible = seen;
      std::wstring expected = c.commandLine;
      if (const auto basic = expected.find(L"\"/qb "); !seen && basic != std::wstring::npos) {
        expected.replace(basic + 1, 3, L"/qn");
      }
      EXPECT_EQ(runProviderSetup(run, c.subdirectory, c.extraArguments, c.silent, c.reinstall,
                                 c.noUpdate),
                0u)
          << c.name;
      EXPECT_EQ(platform.commandLines, std::vector<std::wstring>{expected}) << c.name;
      EXPECT_TRUE(platform.boxes.empty()) << c.name;
    }
  }
}

TEST(ProviderSetup, ALogPathHoldingSlashQCountsAsQuiet) {
  FakePlatform platform;
  RunContext run(platform);
  platform.environment[L"TMP"] = L"D:/qa";
  EXPECT_EQ(runProviderSetup(run, L"csp", L"", false, false, false), 0u);
  EXPECT_EQ(platform.commandLines,
            std::vector<std::wstring>{L"csp\\Setup.exe -args \"" +
                                      logOption(L"D:/qa\\csp_2026-12-06-07-05-09.log") +
                                      L"\" -noreboot -root"});
}

TEST(ProviderSetup, EchoesTheLogTimestampOnlyWhenItMakesALog) {
  FakePlatform platform;
  RunContext run(platform);
  EXPECT_EQ(runProviderSetup(run, L"csp", L"", false, false, false), 0u);
  EXPECT_EQ(platform.standardOutput, std::vector<std::wstring>{L"2026-12-06-07-05-09\n"});
  FakePlatform userLog;
  RunContext userLogRun(userLog);
  EXPECT_EQ(runProviderSetup(userLogRun, L"csp", L"/L*v x.log ", false, false, false), 0u);
  EXPECT_TRUE(userLog.standardOutput.empty());
}

struct ExitCase {
  ChildRun child;
  InstallerResult result;
};

TEST(ProviderSetup, MapsTheSetupsExitCode) {
  const std::vector<ExitCase> cases = {
      {{true, 0}, 0},
      {{true, 3}, 0},
      {{true, 4}, 0},
      {{true, 8}, 0},
      {{true, 1602}, 0},
      {{true, 3010}, 3010},
      {{true, 1}, 1},
      {{true, 2}, 2},
      {{true, 1603}, 1603},
      {{true, 1641}, 1641},
      {{false, 1260}, 1260},
      {{false, 8}, 14},
      // Not started: a Windows error that the table gives another meaning is not passed on.
      {{false, 2}, 1627},
      {{false, 3}, 1627},
      {{false, 1359}, 1627},
      {{false, 0}, 1627},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    RunContext run(platform);
    platform.childRuns = {c.child};
    const auto label = std::to_string(c.child.started) + "/" + std::to_string(c.child.code);
    EXPECT_EQ(runProviderSetup(run, L"csp", L"", false, false, false), c.result) << label;
    if (c.result == 0) {
      EXPECT_TRUE(platform.boxes.empty()) << label;
    } else {
      ASSERT_EQ(platform.boxes.size(), 1u) << label;
      EXPECT_EQ(platform.boxes[0].text,
                text(msg::providerSetupFailed) + L": " + std::to_wstring(c.result) + L".\n")
          << label;
      EXPECT_EQ(platform.boxes[0].caption, L"Ошибка") << label;
      EXPECT_EQ(platform.boxes[0].style, box::iconError) << label;
    }
    EXPECT_FALSE(platform.markerPresent()) << label;
  }
}

TEST(ProviderSetup, NamesTheLogInTheFailureBoxOnlyWhenTheSetupWroteIt) {
  for (const bool written : {true, false}) {
    FakePlatform platform;
    RunContext run(platform);
    platform.childRuns = {{true, 3010}};
    platform.childWritesLog = written;
    EXPECT_EQ(runProviderSetup(run, L"ucsp", L"", false, false, false), 3010u);
    EXPECT_EQ(platform.files.count(kUcspLog), 1u);  // made before the setup started
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, L"В процессе установки Тальвер CSP возникла ошибка: 3010.\n" +
                                          (written ? L"Install log: " + kUcspLog : L""));
    EXPECT_EQ(platform.boxes[0].caption, L"Ошибка");
    EXPECT_EQ(platform.boxes[0].style, box::iconError);
  }
}

TEST(ProviderSetup, StartsTheSetupByItsFullPathWithALogOfItsOwn) {
  struct Row {
    const char* name;
    std::wstring currentDirectory;
    std::vector<std::wstring> taken;  // log names planted before the run
    std::uint32_t createError;
    InstallerResult result;
    std::wstring program, log;  // empty: not started
  };
  const std::wstring stem = L"C:\\Temp\\csp_2026-12-06-07-05-09";
  std::vector<std::wstring> allTaken = {stem + L".log"};
  for (int n = 2; n <= 100; ++n) allTaken.push_back(stem + L"-" + std::to_wstring(n) + L".log");
  const std::vector<Row> rows = {
      // clang-format off
      {"media folder", L"D:\\setup", {}, 0, 0, L"D:\\setup\\csp\\Setup.exe", stem + L".log"},
      {"root of a drive", L"D:\\", {}, 0, 0, L"D:\\csp\\Setup.exe", stem + L".log"},
      {"names taken", L"D:\\setup", {stem + L".log", stem + L"-2.log"}, 0, 0, L"D:\\setup\\csp\\Setup.exe", stem + L"-3.log"},
      {"every name taken", L"D:\\setup", allTaken, 0, 80, L"", L""},
      // No name that the program did not make is handed on: not even one
      // refused after a taken one, as a name pending deletion is.
      {"TMP folder missing", L"D:\\setup", {}, 3, 1622, L"", L""},
      {"refused after a taken one", L"D:\\setup", {stem + L".log"}, 5, 1622, L"", L""},
      // clang-format on
  };
  for (const auto& row : rows) {
    FakePlatform platform;
    RunContext run(platform);
    platform.currentDir = {0, row.currentDirectory};
    platform.createError = row.createError;
    for (const auto& name : row.taken) platform.files[name] = "another user's";
    EXPECT_EQ(runProviderSetup(run, L"csp", L"", false, false, false), row.result) << row.name;
    EXPECT_EQ(platform.programs, row.program.empty() ? std::vector<std::wstring>{}
                                                     : std::vector<std::wstring>{row.program})
        << row.name;
    if (!row.log.empty()) {
      EXPECT_EQ(platform.commandLines,
                std::vector<std::wstring>{L"csp\\Setup.exe -args \"/qb " + logOption(row.log) +
                                          L"\" -noreboot -root"})
          << row.name;
    }
    for (const auto& name : row.taken)
      EXPECT_EQ(platform.files[name], "another user's") << row.name;
    EXPECT_EQ(platform.boxes.size(), row.result == 0 ? 0u : 1u) << row.name;
  }
}

TEST(ProviderSetup, AUserLogIsNotNamedInTheFailureBox) {
  FakePlatform platform;
  RunContext run(platform);
  platform.childRuns = {{true, 1603}};
  platform.files = {{L"x.log", "the user's"}, {kCspLog, "another run's"}};
  EXPECT_EQ(runProviderSetup(run, L"csp", L"/L*v x.log ", false, false, false), 1603u);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, text(msg::providerSetupFailed) + L": 1603.\n");
}

TEST(ProviderSetup, WhenSilentReturnsTheFailureWithoutABox) {
  for (const ChildRun child : {ChildRun{true, 3010}, ChildRun{false, 2}}) {
    FakePlatform platform;
    RunContext run(platform);
    platform.childRuns = {child};
    EXPECT_EQ(runProviderSetup(run, L"csp", L"", true, false, false),
              child.started ? child.code : 1627);
    EXPECT_TRUE(platform.boxes.empty());
    ASSERT_EQ(platform.commandLines.size(), 1u);
    EXPECT_EQ(platform.commandLines[0],
              L"csp\\Setup.exe -args \"/qb " + logOption(kCspLog) + L"\" -noreboot -root -silent");
  }
}

TEST(ProviderSetup, WithoutTmpStartsNoSetup) {
  for (const bool silent : {false, true}) {
    FakePlatform platform;
    RunContext run(platform);
    platform.environment.erase(L"TMP");
    EXPECT_EQ(runProviderSetup(run, L"csp", L"", silent, false, false), 203u);
    EXPECT_TRUE(platform.commandLines.empty());
    if (silent) {
      EXPECT_TRUE(platform.boxes.empty());
    } else {
      ASSERT_EQ(platform.boxes.size(), 1u);
      EXPECT_EQ(platform.boxes[0].text, text(msg::environmentUnreadable));
      EXPECT_EQ(platform.boxes[0].caption, L"Ошибка");
      EXPECT_EQ(platform.boxes[0].style, box::iconError);
    }
  }
}

TEST(ProviderSetup, AUserLogNeedsNoTmp) {
  FakePlatform platform;
  RunContext run(platform);
  platform.environment.erase(L"TMP");
  EXPECT_EQ(runProviderSetup(run, L"ucsp", L"/L*v x.log ", false, false, false), 0u);
  EXPECT_EQ(
      platform.commandLines,
      std::vector<std::wstring>{L"ucsp\\Setup.exe -args \"/qb /L*v x.log \" -noreboot -root"});
}

}  // namespace
}  // namespace eldoris::testing
