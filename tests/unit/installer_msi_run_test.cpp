#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "fake_platform.h"
#include "installer/msi_run.h"
#include "messages/message_ids.h"

namespace eldoris::testing {
namespace {

const std::wstring kProduct = L"{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}";
const std::wstring kMask = L"velmarix*x64*";
const std::wstring kPackage =
    L"\"C:\\Windows\\system32\\msiexec.exe\" /i "
    L"\"D:\\setup\\x64\\velmarix-x64.msi\" ";
const std::wstring kLogPath = L"C:\\Temp\\velmarix-x64.msi_2026-12-06-07-05-09.log";
const std::wstring kUnchanged = L"unchanged";

class MsiRun : public ::testing::Test {
 protected:
  MsiRun() { platform.addPackage(L"x64", L"velmarix-x64.msi"); }

  InstallerResult run(const std::wstring& extraArguments, bool silent = false) {
    return runMsiInstall(context, kProduct, kMask, extraArguments, silent, logPath);
  }

  // The notable requests from reading the system directory on.
  std::vector<std::string> lateCalls() const {
    std::vector<std::string> late;
    for (const auto& call : platform.calls) {
      if (call == "systemDirectory" || call == "msiSourceListForceResolution" ||
          call == "msiSourceListSetInfo" || call == "deleteFile" || call == "child") {
        late.push_back(call);
      }
    }
    return late;
  }

  void expectOneBox(MessageId message) const {
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, text(message));
    EXPECT_EQ(platform.boxes[0].caption, L"Ошибка");
    EXPECT_EQ(platform.boxes[0].style, box::iconError);
  }

  void expectNothingRun() const {
    EXPECT_TRUE(platform.commandLines.empty());
    EXPECT_TRUE(platform.sourceListCalls.empty());
    EXPECT_TRUE(platform.deletedFiles.empty());
    EXPECT_FALSE(platform.markerPresent());
  }

  FakePlatform platform;
  RunContext context{platform};
  std::wstring logPath;
};

struct CommandCase {
  const char* name;
  std::wstring extraArguments;
  bool ownLog;
};

TEST_F(MsiRun, BuildsTheCommandLineFromItsPieces) {
  const std::vector<CommandCase> cases = {
      {"fresh installation", L" /qb", true},
      {"no arguments", L"", true},
      {"reinstallation", L"REINSTALL=ALL REINSTALLMODE=vomus /qb", true},
      {"user log", L" /L*v C:\\x.log ", false},
      {"small l in a property", L" INSTALLDIR=C:/lib ", false},
      {"dash l", L" -lv x.log ", true},
      {"capital L inside a word", L" PROP=A/Lb ", false},
  };
  for (const auto& c : cases) {
    FakePlatform fresh;
    RunContext freshRun(fresh);
    fresh.addPackage(L"x64", L"velmarix-x64.msi");
    std::wstring path = kUnchanged;
    EXPECT_EQ(runMsiInstall(freshRun, kProduct, kMask, c.extraArguments, false, path), 0u)
        << c.name;
    const std::wstring log = c.ownLog ? L"/Lv! \"" + kLogPath + L"\"" : L"";
    ASSERT_EQ(fresh.commandLines.size(), 1u) << c.name;
    EXPECT_EQ(fresh.commandLines[0], kPackage + log + L" REBOOT=R " + c.extraArguments) << c.name;
    EXPECT_EQ(path, c.ownLog ? kLogPath : kUnchanged) << c.name;
    EXPECT_EQ(fresh.standardOutput.size(), c.ownLog ? 1u : 0u) << c.name;
  }
}

TEST_F(MsiRun, RunsTheSystemsMsiexecOnThePackageWithAVerboseLog) {
  EXPECT_EQ(run(L" /qb"), 0u);
  ASSERT_EQ(platform.commandLines.size(), 1u);
  EXPECT_EQ(platform.commandLines[0],
            L"\"C:\\Windows\\system32\\msiexec.exe\" /i \"D:\\setup\\x64\\velmarix-x64.msi\" "
            L"/Lv! \"C:\\Temp\\velmarix-x64.msi_2026-12-06-07-05-09.log\" REBOOT=R  /qb");
  EXPECT_EQ(logPath, L"C:\\Temp\\velmarix-x64.msi_2026-12-06-07-05-09.log");
  EXPECT_EQ(platform.standardOutput, std::vector<std::wstring>{L"2026-12-06-07-05-09\n"});
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(MsiRun, WithTheUsersOwnLogThePackageAndRebootPropertyMeet) {
  EXPECT_EQ(run(L" /L*v C:\\x.log "), 0u);
  ASSERT_EQ(platform.commandLines.size(), 1u);
  EXPECT_EQ(platform.commandLines[0],
            L"\"C:\\Windows\\system32\\msiexec.exe\" /i \"D:\\setup\\x64\\velmarix-x64.msi\"  "
            L"REBOOT=R  /L*v C:\\x.log ");
  EXPECT_EQ(logPath, L"");
  EXPECT_TRUE(platform.standardOutput.empty());
}

TEST_F(MsiRun, AUserLogNeedsNoTemporaryDirectory) {
  platform.environment.erase(L"TMP");
  EXPECT_EQ(run(L" /L*v C:\\x.log "), 0u);
  EXPECT_EQ(platform.commandLines.size(), 1u);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(MsiRun, RecordsThePackageInTheSourceListBeforeTheInstallerRuns) {
  EXPECT_EQ(run(L" /qb"), 0u);
  EXPECT_EQ(platform.sourceListCalls,
            (std::vector<std::wstring>{L"resolve " + kProduct,
                                       L"PackageName " + kProduct + L" velmarix-x64.msi"}));
  EXPECT_EQ(lateCalls(),
            (std::vector<std::string>{"systemDirectory", "msiSourceListForceResolution",
                                      "msiSourceListSetInfo", "child"}));
}

TEST_F(MsiRun, DeletesTheCachedSourceHashOnlyOnVersion5Point2) {
  struct VersionCase {
    std::optional<OsVersion> version;
    bool deletes;
  };
  const std::vector<VersionCase> cases = {
      {OsVersion{5, 2, 2}, true},  {OsVersion{5, 2, 0}, true},  {OsVersion{5, 1, 3}, false},
      {OsVersion{6, 0, 2}, false}, {OsVersion{6, 2, 0}, false}, {OsVersion{4, 2, 0}, false},
      {std::nullopt, false},
  };
  for (const auto& c : cases) {
    FakePlatform fresh;
    RunContext freshRun(fresh);
    fresh.addPackage(L"x64", L"velmarix-x64.msi");
    fresh.version = c.version;
    fresh.environment[L"WINDIR"] = L"C:\\WINDOWS";
    std::wstring path;
    EXPECT_EQ(runMsiInstall(freshRun, kProduct, kMask, L" /qb", false, path), 0u);
    if (c.deletes) {
      EXPECT_EQ(fresh.deletedFiles,
                std::vector<std::wstring>{
                    L"C:\\WINDOWS\\installer\\SourceHash{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}"});
      const auto deleted = std::find(fresh.calls.begin(), fresh.calls.end(), "deleteFile");
      const auto child = std::find(fresh.calls.begin(), fresh.calls.end(), "child");
      EXPECT_LT(deleted, child);
    } else {
      EXPECT_TRUE(fresh.deletedFiles.empty());
    }
    EXPECT_EQ(fresh.commandLines.size(), 1u);
  }
}

TEST_F(MsiRun, SkipsTheSourceHashWhenWindirCannotBeRead) {
  for (const bool unset : {true, false}) {
    FakePlatform fresh;
    RunContext freshRun(fresh);
    fresh.addPackage(L"x64", L"velmarix-x64.msi");
    fresh.version = OsVersion{5, 2, 2};
    if (unset) {
      fresh.environment.erase(L"WINDIR");
    } else {
      fresh.environment[L"WINDIR"] = L"";
    }
    std::wstring path;
    EXPECT_EQ(runMsiInstall(freshRun, kProduct, kMask, L" /qb", false, path), 0u);
    EXPECT_TRUE(fresh.deletedFiles.empty());
    EXPECT_EQ(fresh.commandLines.size(), 1u);
    EXPECT_TRUE(fresh.boxes.empty());
  }
}

struct ExitCase {
  ChildRun child;
  InstallerResult result;
  bool marker;
};

TEST_F(MsiRun, MapsTheInstallersExitCode) {
  const std::vector<ExitCase> cases = {
      {{true, 0}, 0, false},
      {{true, 1602}, 1602, false},
      {{true, 1603}, 1603, false},
      {{true, 1641}, 0, true},
      {{true, 3010}, 0, true},
      {{true, 3011}, 0, true},
      {{true, 3012}, 3012, false},
      {{true, 1}, 1, false},
      {{false, 1260}, 1260, false},
      // Not started: a Windows error that the table gives another meaning is not passed on.
      {{false, 2}, 1627, false},
      {{false, 3010}, 1627, false},
      {{false, 0}, 1627, false},
  };
  for (const auto& c : cases) {
    FakePlatform fresh;
    RunContext freshRun(fresh);
    fresh.addPackage(L"x64", L"velmarix-x64.msi");
    fresh.childRuns = {c.child};
    std::wstring path;
    const auto label = std::to_string(c.child.started) + "/" + std::to_string(c.child.code);
    EXPECT_EQ(runMsiInstall(freshRun, kProduct, kMask, L" /qb", false, path), c.result) << label;
    EXPECT_EQ(fresh.markerPresent(), c.marker) << label;
    EXPECT_TRUE(fresh.boxes.empty()) << label;
    EXPECT_EQ(path, kLogPath) << label;
  }
}

TEST_F(MsiRun, ARestartIsReportedAsSuccessEvenWhenTheMarkerCannotBeSet) {
  platform.childRuns = {{true, 3010}};
  platform.createKeyResult = 5;
  EXPECT_EQ(run(L" /qb"), 0u);
  EXPECT_FALSE(platform.markerPresent());
  EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "createKey"), 1);
}

TEST_F(MsiRun, WithoutTmpShowsMessage144AndRunsNothing) {
  platform.environment.erase(L"TMP");
  logPath = kUnchanged;
  EXPECT_EQ(run(L" /qb"), 203u);
  ASSERT_NO_FATAL_FAILURE(expectOneBox(msg::environmentUnreadable));
  EXPECT_EQ(platform.boxes[0].text, L"Невозможно узнать значение переменной окружения.");
  expectNothingRun();
  EXPECT_EQ(logPath, kUnchanged);
}

TEST_F(MsiRun, AnEmptyTmpCountsAsMissing) {
  platform.environment[L"TMP"] = L"";
  logPath = kUnchanged;
  EXPECT_EQ(run(L" /qb"), 203u);
  expectOneBox(msg::environmentUnreadable);
  expectNothingRun();
  EXPECT_EQ(logPath, kUnchanged);
}

TEST_F(MsiRun, WithoutTmpWhenSilentFailsWithoutABox) {
  platform.environment.erase(L"TMP");
  EXPECT_EQ(run(L" /qb", true), 203u);
  EXPECT_TRUE(platform.boxes.empty());
  expectNothingRun();
}

TEST_F(MsiRun, AnUnreadableSystemDirectoryShowsMessage152AfterTheLogPathIsSet) {
  platform.systemDir = {8, L""};  // memory ran out: 14, as anywhere
  EXPECT_EQ(run(L" /qb"), 14u);
  expectOneBox(msg::systemDirectoryUnreadable);
  expectNothingRun();
  EXPECT_EQ(logPath, kLogPath);
}

TEST_F(MsiRun, AnUnreadableSystemDirectoryWhenSilentFailsWithoutABox) {
  platform.systemDir = {8, L""};
  EXPECT_EQ(run(L" /qb", true), 14u);
  EXPECT_TRUE(platform.boxes.empty());
  expectNothingRun();
}

TEST_F(MsiRun, AMissingPackageShowsMessage139AndReturnsTheSearchCode) {
  for (const bool silent : {false, true}) {
    FakePlatform fresh;
    RunContext freshRun(fresh);
    fresh.addPackage(L"win32", L"velmarix-win32.msi");
    std::wstring path = kUnchanged;
    EXPECT_EQ(runMsiInstall(freshRun, kProduct, kMask, L" /qb", silent, path), 232u);
    if (silent) {
      EXPECT_TRUE(fresh.boxes.empty());
    } else {
      ASSERT_EQ(fresh.boxes.size(), 1u);
      EXPECT_EQ(fresh.boxes[0].text, L"Невозможно найти msi-пакет.");
      EXPECT_EQ(fresh.boxes[0].caption, L"Ошибка");
      EXPECT_EQ(fresh.boxes[0].style, box::iconError);
    }
    EXPECT_TRUE(fresh.commandLines.empty());
    EXPECT_TRUE(fresh.sourceListCalls.empty());
    EXPECT_TRUE(fresh.standardOutput.empty());
    EXPECT_EQ(path, kUnchanged);
  }
}

TEST_F(MsiRun, AnUnreadableCurrentDirectoryFailsTheSearch) {
  platform.currentDir = {5, L""};
  EXPECT_EQ(run(L" /qb"), 1627u);  // 5 would read as a missing service pack
  expectOneBox(msg::packageNotFound);
  expectNothingRun();
}

TEST(FileNameOf, TakesTheTextAfterTheLastBackslash) {
  EXPECT_EQ(fileNameOf(L"D:\\setup\\x64\\velmarix-x64.msi"), L"velmarix-x64.msi");
  EXPECT_EQ(fileNameOf(L"velmarix-x64.msi"), L"velmarix-x64.msi");
  EXPECT_EQ(fileNameOf(L"D:/setup/velmarix.msi"), L"D:/setup/velmarix.msi");
  EXPECT_EQ(fileNameOf(L"D:\\setup\\"), L"");
}

}  // namespace
}  // namespace eldoris::testing
