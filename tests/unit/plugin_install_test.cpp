#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "fake_platform.h"
#include "messages/message_ids.h"
#include "plugin/install_plugin.h"

namespace eldoris::testing {
namespace {

constexpr int advertised = 1;
constexpr int absent = 2;
constexpr int local = 3;
constexpr int installed = 5;
constexpr int unknown = -1;
constexpr int invalidArgument = -2;

const std::wstring kReinstall = L"REINSTALL=ALL REINSTALLMODE=vomus";
const std::wstring kLogPath = L"C:\\Temp\\velmarix-x64.msi_2026-12-06-07-05-09.log";
const std::wstring kUnchanged = L"unchanged";

// The msiexec command line for the 64-bit package with this run's own log.
std::wstring msiexecLine(const std::wstring& extraArguments) {
  return L"\"C:\\Windows\\system32\\msiexec.exe\" /i \"D:\\setup\\x64\\velmarix-x64.msi\" /Lv! \"" +
         kLogPath + L"\" REBOOT=R " + extraArguments;
}

// A 64-bit system carrying both builds, the 32-bit one listed first.
void carryBothBuilds(FakePlatform& platform) {
  platform.addPackage(L"win32", L"velmarix-win32.msi");
  platform.addPackage(L"x64", L"velmarix-x64.msi");
}

int countCalls(const FakePlatform& platform, const char* name) {
  return static_cast<int>(std::count(platform.calls.begin(), platform.calls.end(), name));
}

struct ShownBox {
  MessageId text;
  unsigned style;
};

struct DecisionCase {
  const char* name;
  int productState;
  std::wstring installedVersion;
  std::wstring packageVersion;
  bool reinstall;
  bool silent;
  std::vector<int> answers;
  std::optional<ShownBox> box;
  InstallerResult result;
  std::optional<std::wstring> extraArguments;  // nothing: the installer does not run
};

TEST(InstallPlugin, DecidesBetweenFreshInstallReinstallAndNothing) {
  const std::wstring fresh = L" /qb";
  const std::wstring again = kReinstall + L" /qb";
  const ShownBox question{msg::sameVersionReinstall, box::yesNo};
  const ShownBox newer{msg::newerVersionInstalled, box::iconError};
  const std::vector<DecisionCase> cases = {
      {"absent", absent, L"", L"", false, false, {}, {}, 0, fresh},
      {"absent, silent", absent, L"", L"", false, true, {}, {}, 0, fresh},
      {"absent, reinstall", absent, L"", L"", true, false, {}, {}, 0, fresh},
      {"advertised", advertised, L"", L"", false, false, {}, {}, 0, fresh},
      {"unknown", unknown, L"", L"", false, false, {}, {}, 0, fresh},
      // No answer: read as "not installed", an upgrade would run as a fresh /i.
      {"invalid argument", invalidArgument, L"", L"", false, false, {}, {}, 1627, {}},
      // A documented answer: msiexec mends or refuses the product's data.
      {"configuration corrupt", -6, L"", L"", false, false, {}, {}, 0, fresh},
      {"same, silent", installed, L"2.0.9", L"2.0.9", false, true, {}, {}, 0, {}},
      {"same, Yes", installed, L"2.0.9", L"2.0.9", false, false, {box::idYes}, question, 0, again},
      {"same, No", installed, L"2.0.9", L"2.0.9", false, false, {box::idNo}, question, 1602, {}},
      {"same, Esc", installed, L"1.0", L"1.0", false, false, {box::idCancel}, question, 1602, {}},
      {"same, reinstall", installed, L"2.0.9", L"2.0.9", true, false, {}, {}, 0, again},
      {"same, reinstall, silent", installed, L"2.0.9", L"2.0.9", true, true, {}, {}, 0, again},
      {"package newer", installed, L"2.0.9", L"2.0.10", false, false, {}, {}, 0, again},
      {"package newer, silent", installed, L"2.0.9", L"2.0.10", false, true, {}, {}, 0, again},
      {"package newer, reinstall", installed, L"1.0", L"1.0.1", true, false, {}, {}, 0, again},
      {"installed newer", installed, L"2.0.10", L"2.0.9", false, false, {}, newer, 0, {}},
      {"installed newer, reinstall", installed, L"2.0.10", L"2.0.9", true, false, {}, newer, 0, {}},
      {"installed newer, silent", installed, L"2.0.10", L"2.0.9", false, true, {}, {}, 0, again},
      {"older, silent, reinstall", installed, L"2.1", L"2.0", true, true, {}, {}, 0, again},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    RunContext run(platform);
    carryBothBuilds(platform);
    platform.productState = c.productState;
    platform.installedVersion = {0, c.installedVersion};
    platform.packageVersion = {0, c.packageVersion};
    platform.answers.assign(c.answers.begin(), c.answers.end());
    std::wstring logPath = kUnchanged;

    EXPECT_EQ(installPlugin(run, L"", c.silent, logPath, c.reinstall), c.result) << c.name;

    if (c.box) {
      ASSERT_EQ(platform.boxes.size(), 1u) << c.name;
      EXPECT_EQ(platform.boxes[0].text, text(c.box->text)) << c.name;
      EXPECT_EQ(platform.boxes[0].caption, L"Обновление") << c.name;
      EXPECT_EQ(platform.boxes[0].style, c.box->style) << c.name;
    } else {
      EXPECT_TRUE(platform.boxes.empty()) << c.name;
    }
    if (c.extraArguments) {
      ASSERT_EQ(platform.commandLines.size(), 1u) << c.name;
      EXPECT_EQ(platform.commandLines[0], msiexecLine(*c.extraArguments)) << c.name;
      EXPECT_EQ(logPath, kLogPath) << c.name;
    } else {
      EXPECT_TRUE(platform.commandLines.empty()) << c.name;
      EXPECT_TRUE(platform.sourceListCalls.empty()) << c.name;
      EXPECT_EQ(logPath, kUnchanged) << c.name;
    }
    const bool versionsCompared = c.productState == installed;
    // Read again under the run lock before the installer starts.
    const int reads = (versionsCompared ? 1 : 0) + (versionsCompared && c.extraArguments ? 1 : 0);
    EXPECT_EQ(countCalls(platform, "msiGetProductInfo"), reads) << c.name;
    const bool reinstalls = versionsCompared && c.extraArguments.has_value();
    EXPECT_EQ(countCalls(platform, "msiQueryFeatureState"), reinstalls ? 1 : 0) << c.name;
    EXPECT_EQ(platform.openHandles, 0) << c.name;
    EXPECT_FALSE(platform.markerPresent()) << c.name;
  }
}

TEST(InstallPlugin, ReadsTheFeatureStateOnlyAfterTheAnswer) {
  FakePlatform platform;
  RunContext run(platform);
  carryBothBuilds(platform);
  platform.productState = installed;
  platform.answers = {box::idYes};
  std::wstring logPath;
  EXPECT_EQ(installPlugin(run, L"", false, logPath, false), 0u);
  const auto answered = std::find(platform.calls.begin(), platform.calls.end(), "box");
  const auto feature =
      std::find(platform.calls.begin(), platform.calls.end(), "msiQueryFeatureState");
  ASSERT_NE(answered, platform.calls.end());
  ASSERT_NE(feature, platform.calls.end());
  EXPECT_LT(answered, feature);
}

struct FailedCheckCase {
  const char* name;
  void (*script)(FakePlatform&);
  InstallerResult result;
  MessageId message;
};

TEST(InstallPlugin, AFailedVersionCheckEndsTheCallWithItsCode) {
  const std::vector<FailedCheckCase> cases = {
      {"installed version",
       [](FakePlatform& p) {
         p.installedVersion = {1605, L""};
       },
       1605, msg::installedVersionUnreadable},
      {"no package", [](FakePlatform& p) { p.tree.clear(); }, 232, msg::packageNotFound},
      {"open", [](FakePlatform& p) { p.openResult = 1619; }, 1619, msg::packageNotOpened},
      {"package version",
       [](FakePlatform& p) {
         p.packageVersion = {1627, L""};
       },
       1627, msg::packageVersionUnreadable},
  };
  for (const auto& c : cases) {
    for (const bool reinstall : {false, true}) {
      FakePlatform platform;
      RunContext run(platform);
      carryBothBuilds(platform);
      platform.productState = installed;
      c.script(platform);
      std::wstring logPath = kUnchanged;
      EXPECT_EQ(installPlugin(run, L" /qn ", false, logPath, reinstall), c.result) << c.name;
      ASSERT_EQ(platform.boxes.size(), 1u) << c.name;
      EXPECT_EQ(platform.boxes[0].text, text(c.message)) << c.name;
      EXPECT_EQ(platform.boxes[0].caption, L"Ошибка") << c.name;
      EXPECT_EQ(platform.boxes[0].style, box::iconError) << c.name;
      EXPECT_TRUE(platform.commandLines.empty()) << c.name;
      EXPECT_EQ(countCalls(platform, "msiQueryFeatureState"), 0) << c.name;
      EXPECT_EQ(logPath, kUnchanged) << c.name;
      EXPECT_EQ(platform.openHandles, 0) << c.name;
    }
  }
}

struct ArgumentsCase {
  const char* name;
  bool reinstall;  // product installed in the same version, reinstall asked for
  int featureState;
  std::wstring pluginArgs;
  std::wstring extraArguments;
};

TEST(InstallPlugin, PutsItsFragmentsInFrontOfTheUserArguments) {
  const std::vector<ArgumentsCase> cases = {
      {"fresh", false, local, L"", L" /qb"},
      {"fresh, property", false, local, L" TARGET=1 ", L" /qb TARGET=1 "},
      {"fresh, quiet", false, local, L" /qn ", L" /qn "},
      {"fresh, feature absent is not asked", false, absent, L"", L" /qb"},
      {"fresh, capital /QN", false, local, L" /QN ", L" /qb /QN "},
      {"fresh, dash q", false, local, L" -qn ", L" /qb -qn "},
      {"fresh, C:/qa", false, local, L" INSTALLDIR=C:/qa ", L" INSTALLDIR=C:/qa "},
      {"reinstall", true, local, L"", kReinstall + L" /qb"},
      {"reinstall, property", true, local, L" TARGET=1 ", kReinstall + L" /qb TARGET=1 "},
      {"reinstall, quiet", true, local, L" /qn ", kReinstall + L" /qn "},
      {"reinstall, advertised feature", true, advertised, L"", kReinstall + L" /qb"},
      {"reinstall, unknown feature", true, unknown, L"", kReinstall + L" /qb"},
      {"reinstall, feature absent", true, absent, L"", kReinstall + L" /qb ADDLOCAL=ORVELIX"},
      {"reinstall, feature absent, property", true, absent, L" TARGET=1 ",
       kReinstall + L" /qb ADDLOCAL=ORVELIX TARGET=1 "},
      {"reinstall, feature absent, quiet", true, absent, L" /qn ",
       kReinstall + L" ADDLOCAL=ORVELIX /qn "},
      {"reinstall, capital /QN", true, local, L" /QN ", kReinstall + L" /qb /QN "},
      {"reinstall, C:/qa", true, absent, L" INSTALLDIR=C:/qa ",
       kReinstall + L" ADDLOCAL=ORVELIX INSTALLDIR=C:/qa "},
  };
  for (const auto& c : cases) {
    // -silent never changes the installer's interface; where nobody can see
    // it, none is shown, whose error boxes nobody would answer.
    for (const auto& [silent, seen] : {std::pair{false, true}, {true, true}, {true, false}}) {
      FakePlatform platform;
      RunContext run(platform);
      carryBothBuilds(platform);
      platform.productState = c.reinstall ? installed : absent;
      platform.featureState = c.featureState;
      run.desktopVisible = seen;
      std::wstring expected = c.extraArguments;
      if (const auto basic = expected.find(L"/qb"); !seen && basic != std::wstring::npos) {
        expected.replace(basic, 3, L"/qn");
      }
      std::wstring logPath;
      EXPECT_EQ(installPlugin(run, c.pluginArgs, silent, logPath, c.reinstall), 0u) << c.name;
      ASSERT_EQ(platform.commandLines.size(), 1u) << c.name;
      EXPECT_EQ(platform.commandLines[0], msiexecLine(expected)) << c.name;
      EXPECT_TRUE(platform.boxes.empty()) << c.name;
    }
  }
}

TEST(InstallPlugin, RunsTheFreshInstallationOfTheArchitecturesPackage) {
  FakePlatform platform;
  RunContext run(platform);
  carryBothBuilds(platform);
  std::wstring logPath;
  EXPECT_EQ(installPlugin(run, L"", false, logPath, false), 0u);
  ASSERT_EQ(platform.commandLines.size(), 1u);
  EXPECT_EQ(platform.commandLines[0],
            L"\"C:\\Windows\\system32\\msiexec.exe\" /i \"D:\\setup\\x64\\velmarix-x64.msi\" "
            L"/Lv! \"C:\\Temp\\velmarix-x64.msi_2026-12-06-07-05-09.log\" REBOOT=R  /qb");
  EXPECT_EQ(logPath, L"C:\\Temp\\velmarix-x64.msi_2026-12-06-07-05-09.log");
}

TEST(InstallPlugin, AnsweredYesWithTheFeatureAbsentAndQuietUserArguments) {
  FakePlatform platform;
  RunContext run(platform);
  carryBothBuilds(platform);
  platform.productState = installed;
  platform.featureState = absent;
  platform.answers = {box::idYes};
  std::wstring logPath;
  EXPECT_EQ(installPlugin(run, L" /qn ", false, logPath, false), 0u);
  ASSERT_EQ(platform.commandLines.size(), 1u);
  EXPECT_EQ(platform.commandLines[0],
            msiexecLine(L"REINSTALL=ALL REINSTALLMODE=vomus ADDLOCAL=ORVELIX /qn "));
}

TEST(InstallPlugin, ReturnsTheInstallersResultUnchanged) {
  for (const auto& [exitCode, expected] : std::vector<std::pair<InstallerResult, InstallerResult>>{
           {1603, 1603}, {1602, 1602}, {3010, 0}}) {
    FakePlatform platform;
    RunContext run(platform);
    carryBothBuilds(platform);
    platform.productState = installed;
    platform.packageVersion = {0, L"2.0.10"};
    platform.childRuns = {{true, exitCode}};
    std::wstring logPath;
    EXPECT_EQ(installPlugin(run, L"", false, logPath, false), expected) << exitCode;
    EXPECT_EQ(platform.markerPresent(), exitCode == 3010) << exitCode;
  }
}

TEST(PluginPackageMask, FollowsTheArchitecture) {
  EXPECT_EQ(pluginPackageMask(true), L"velmarix*x64*");
  EXPECT_EQ(pluginPackageMask(false), L"velmarix*win32*");
}

TEST(InstallPlugin, InstallsThe64BitBuildUnderWow64AndThe32BitBuildOtherwise) {
  struct ArchitectureCase {
    bool wow64;
    std::wstring package;
    std::wstring fileName;
  };
  for (const auto& c :
       {ArchitectureCase{true, L"D:\\setup\\x64\\velmarix-x64.msi", L"velmarix-x64.msi"},
        ArchitectureCase{false, L"D:\\setup\\win32\\velmarix-win32.msi", L"velmarix-win32.msi"}}) {
    for (const bool win32First : {true, false}) {
      FakePlatform platform;
      RunContext run(platform);
      platform.wow64 = c.wow64;
      if (win32First) {
        carryBothBuilds(platform);
      } else {
        platform.addPackage(L"x64", L"velmarix-x64.msi");
        platform.addPackage(L"win32", L"velmarix-win32.msi");
      }
      std::wstring logPath;
      EXPECT_EQ(installPlugin(run, L"", false, logPath, false), 0u);
      const std::wstring log = L"C:\\Temp\\" + c.fileName + L"_2026-12-06-07-05-09.log";
      ASSERT_EQ(platform.commandLines.size(), 1u);
      EXPECT_EQ(platform.commandLines[0], L"\"C:\\Windows\\system32\\msiexec.exe\" /i \"" +
                                              c.package + L"\" /Lv! \"" + log +
                                              L"\" REBOOT=R  /qb");
      EXPECT_EQ(logPath, log);
    }
  }
}

}  // namespace
}  // namespace eldoris::testing
