#include <gtest/gtest.h>

#include "driver/os_check.h"
#include "driver/run.h"
#include "fake_platform.h"
#include "installer/installer_wait.h"
#include "messages/message_ids.h"
#include "restart/restart_marker.h"

namespace eldoris::testing {
namespace {

const std::wstring title = L"Тальвер Эльдорис";

// A machine where the plug-in is not installed and its package lies in "x64".
FakePlatform freshMachine() {
  FakePlatform platform;
  platform.addPackage(L"x64", L"velmarix-x64.msi");
  return platform;
}

InstallerResult run(FakePlatform& platform, const std::wstring& arguments) {
  platform.processCommandLine = L"eldoris-setup.exe " + arguments;
  return runBootstrapper(platform, arguments);
}

TEST(Run, HelpIsShownBeforeAnyCheckEvenWithoutRights) {
  FakePlatform platform;
  platform.adminByName = false;
  EXPECT_EQ(run(platform, L"-csp -help"), 0u);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].caption, L"Справка");
  EXPECT_TRUE(platform.commandLines.empty());
}

TEST(Run, WhereNobodySeesTheHelpItsExitCodeTellsATypoFromARequest) {
  struct Row {
    std::wstring arguments;
    bool seen;
    InstallerResult exitCode;
    const char* logged;  // nullptr: no log of the run's own
  };
  const std::vector<Row> rows = {
      {L"-help", true, 0, nullptr},
      {L"-silnet", true, 0, nullptr},
      {L"-silent -help", false, 0, " help asked for with «-help»"},
      {L"-?", false, 0, " help asked for with «-?»"},
      {L"-silent -silnet", false, 1639, " argument not understood: «-silnet»"},
      {L"-csp -KC", false, 1639,
       " exit code 1639: the program's own: an argument was not understood"},
  };
  for (const auto& row : rows) {
    FakePlatform platform;
    platform.desktop.stationVisible.value = row.seen;
    EXPECT_EQ(run(platform, row.arguments), row.exitCode);
    EXPECT_EQ(platform.boxes.size(), row.seen ? 1u : 0u);
    const std::string log = platform.files[L"C:\\Temp\\eldoris-setup_2026-12-06-07-05-09.log"];
    EXPECT_EQ(log.empty(), row.logged == nullptr);
    if (row.logged) {
      EXPECT_NE(log.find(row.logged), std::string::npos) << row.logged;
    }
  }
}

TEST(Run, AnEmptyTailReadsNoOption) {
  FakePlatform platform = freshMachine();
  platform.processCommandLine = L"eldoris-setup.exe -help";  // ignored without a tail
  platform.answers = {box::idNo};
  EXPECT_EQ(runBootstrapper(platform, L""), 0u);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, text(msg::confirmPlugin));
}

TEST(Run, RefusesAUserWithoutAdministratorRights) {
  for (const bool silent : {false, true}) {
    FakePlatform platform = freshMachine();
    platform.adminByName = false;
    EXPECT_EQ(run(platform, silent ? L"-silent" : L"-norestart"), 1u);
    ASSERT_EQ(platform.boxes.size(), silent ? 0u : 1u);
    if (!silent) {
      EXPECT_EQ(platform.boxes[0].text, text(msg::mustRunAsAdministrator));
      EXPECT_EQ(platform.boxes[0].caption, title);
      EXPECT_EQ(platform.boxes[0].style, 0x10u);
    }
    EXPECT_TRUE(platform.commandLines.empty());
    EXPECT_FALSE(platform.internalUiSetToNone);
  }
}

TEST(Run, TheAdministratorTestFallsBackToTheOrdinalThenToTheToken) {
  struct Row {
    std::optional<bool> byName, byOrdinal;
    bool byToken;
    const char* logged;
  };
  const std::vector<Row> rows = {
      {true, false, false, "yes (IsUserAnAdmin)"},
      {false, true, true, "no (IsUserAnAdmin)"},
      {std::nullopt, true, false, "yes (IsUserAnAdmin by ordinal 680)"},
      {std::nullopt, false, true, "no (IsUserAnAdmin by ordinal 680)"},
      {std::nullopt, std::nullopt, true, "yes (the process token's groups)"},
      {std::nullopt, std::nullopt, false, "no (the process token's groups)"},
  };
  for (const auto& row : rows) {
    FakePlatform platform = freshMachine();
    platform.adminByName = row.byName;
    platform.adminByOrdinal = row.byOrdinal;
    platform.adminByToken = row.byToken;
    const bool admin = std::string(row.logged).rfind("yes", 0) == 0;
    EXPECT_EQ(run(platform, L"-silent"), admin ? 0u : 1u) << row.logged;
    const std::string log = platform.files[L"C:\\Temp\\eldoris-setup_2026-12-06-07-05-09.log"];
    EXPECT_NE(log.find(std::string(" administrator: ") + row.logged + "\r\n"), std::string::npos)
        << row.logged;
  }
}

TEST(Run, AnOldSystemEndsWithItsCodeBeforeTheInstallerIsTouched) {
  FakePlatform platform = freshMachine();
  platform.version = OsVersion{5, 1, 1};
  EXPECT_EQ(run(platform, L"-csp"), 4u);
  EXPECT_FALSE(platform.internalUiSetToNone);
  EXPECT_EQ(platform.boxes.size(), 1u);
}

TEST(Run, ConfirmationNamesTheProductsAndNoEndsWithZero) {
  const std::vector<std::pair<std::wstring, MessageId>> rows = {
      {L"-norestart", msg::confirmPlugin},
      {L"-csp", msg::confirmPluginAndProvider},
      {L"-ucsp", msg::confirmPluginAndUecProvider},
      {L"-CSP -UcSp", msg::confirmPluginAndBothProviders},
  };
  for (const auto& [arguments, message] : rows) {
    FakePlatform platform = freshMachine();
    platform.answers = {box::idNo};
    EXPECT_EQ(run(platform, arguments), 0u);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, text(message));
    EXPECT_EQ(platform.boxes[0].caption, title);
    EXPECT_EQ(platform.boxes[0].style, box::yesNo);
    EXPECT_TRUE(platform.commandLines.empty());
    EXPECT_FALSE(platform.internalUiSetToNone);  // nor is msi.dll loaded for it
  }
}

TEST(Run, ARuntimeFailureEndsWithACodeOfItsOwn) {
  EXPECT_EQ(exitCodeOf(RuntimeFailure::outOfMemory), 14u);     // ERROR_OUTOFMEMORY
  EXPECT_EQ(exitCodeOf(RuntimeFailure::programFault), 1359u);  // ERROR_INTERNAL_ERROR
  // Not a code the run gives for a refusal, a check or a restart.
  for (const InstallerResult own : {1u, 2u, 3u, 4u, 5u, windowsTooOldResult, restartFailedResult,
                                    code::envVarNotFound, code::noData, code::userExit}) {
    EXPECT_NE(exitCodeOf(RuntimeFailure::outOfMemory), own);
    EXPECT_NE(exitCodeOf(RuntimeFailure::programFault), own);
  }
}

TEST(Run, SystemLibrariesImportFromTheSystemNeverFromTheProgramsFolder) {
  EXPECT_EQ(systemLibraryLoadFlags(true), 0x800u);  // LOAD_LIBRARY_SEARCH_SYSTEM32
  EXPECT_EQ(systemLibraryLoadFlags(false), 0x8u);   // LOAD_WITH_ALTERED_SEARCH_PATH, not 0
}

TEST(Run, AnyAnswerButNoGoesOn) {
  FakePlatform platform = freshMachine();
  platform.answers = {box::idCancel};
  EXPECT_EQ(run(platform, L"-norestart"), 0u);
  EXPECT_EQ(platform.commandLines.size(), 1u);
}

TEST(Run, SilentFreshInstallShowsNothing) {
  FakePlatform platform = freshMachine();
  EXPECT_EQ(run(platform, L"-silent"), 0u);
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_TRUE(platform.internalUiSetToNone);
  EXPECT_EQ(platform.msiCallsBeforeInternalUi, 0);
  ASSERT_EQ(platform.commandLines.size(), 1u);
  EXPECT_EQ(platform.commandLines[0],
            L"\"C:\\Windows\\system32\\msiexec.exe\" /i \"D:\\setup\\x64\\velmarix-x64.msi\" "
            L"/Lv! \"C:\\Temp\\velmarix-x64.msi_2026-12-06-07-05-09.log\" REBOOT=R  /qb");
}

TEST(Run, ItsLogNamesWhatRanAndHowItEnded) {
  FakePlatform platform = freshMachine();
  platform.childRuns = {{true, 1603, 2500}};
  EXPECT_EQ(run(platform, L"-silent"), 1603u);
  const std::string log = platform.files[L"C:\\Temp\\eldoris-setup_2026-12-06-07-05-09.log"];
  for (const char* line :
       {" options: -silent\r\n", " decision: fresh installation\r\n",
        " starting: \"C:\\Windows\\system32\\msiexec.exe\" /i \"D:\\setup\\x64\\velmarix-x64.msi\" "
        "/Lv! \"C:\\Temp\\velmarix-x64.msi_2026-12-06-07-05-09.log\" REBOOT=R  /qb\r\n",
        " ended with exit code 1603 after 2.500 s\r\n",
        " box 106 (OK, error) not shown (-silent)"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
}

// The last line says whose code the run ends with: a provider's code is never
// read as the program's own, nor the program's as an earlier child's.
TEST(Run, ItsLastLineSaysWhoseCodeItIs) {
  struct Row {
    const char* name;
    std::wstring arguments;
    std::deque<ChildRun> children;
    int productState;
    std::uint32_t openResult;
    InstallerResult exitCode;
    std::string lastLine;
  };
  const std::vector<Row> rows = {
      // clang-format off
      {"provider's code", L"-csp", {{true, 1}}, 2, 0, 1, "exit code 1: csp\\Setup.exe's exit code: the provider's own, read its log"},
      {"setup not started", L"-ucsp", {{false, 3}}, 2, 0, 1627, "exit code 1627: ucsp\\Setup.exe could not be started: Windows error 3 (the path was not found)"},
      {"msiexec's code", L"", {{true, 1618}}, 2, 0, 1618, "exit code 1618: msiexec's exit code: another installation is running: retry later; read the installer's log"},
      {"the Windows Installer's answer", L"", {}, 5, 1619, 1619, "exit code 1619: the Windows Installer's answer to MsiOpenPackageExW"},
      {"a provider's 1602, then the user's", L"-csp", {{true, 1602}}, 5, 0, 1602, "exit code 1602: the program's own: the user declined"},
      {"provider restart, -restartcodes", L"-csp -restartcodes", {{true, 3010}}, 2, 0, 350, "exit code 350: the program's own: a provider setup asks for a restart before the plug-in is installed (-restartcodes): restart the computer, then run the program again"},
      {"provider restart started, -restartcodes", L"-ucsp -restartcodes", {{true, 1641}}, 2, 0, 350, "exit code 350: the program's own: a provider setup asks"},
      {"provider restart", L"-csp", {{true, 3010}}, 2, 0, 3010, "exit code 3010: csp\\Setup.exe's exit code"},
      {"provider failure, -restartcodes", L"-csp -restartcodes", {{true, 1603}}, 2, 0, 1603, "exit code 1603: csp\\Setup.exe's exit code"},
      // clang-format on
  };
  for (const auto& row : rows) {
    FakePlatform platform = freshMachine();
    platform.childRuns = row.children;
    platform.productState = row.productState;
    platform.packageVersion = platform.installedVersion;  // the same version: 147 is asked
    platform.openResult = row.openResult;
    platform.answers = {box::idYes, box::idOk, box::idNo};
    EXPECT_EQ(run(platform, row.arguments), row.exitCode) << row.name;
    const std::string log = platform.files[L"C:\\Temp\\eldoris-setup_2026-12-06-07-05-09.log"];
    const std::size_t last = log.rfind("\r\n", log.size() - 3);
    EXPECT_EQ(log.compare(last + 26, row.lastLine.size(), row.lastLine), 0)
        << row.name << ": " << log.substr(last + 2);
  }
}

// -log: the logs where the administrator says; beside the names another
// run still writes, the installer's named after the run's own; in TMP where
// another account may change the folder; nothing installed where no log can be made.
TEST(Run, ALogWhereTheAdministratorSaysOrNothingInstalled) {
  struct Row {
    const char* name;
    std::uint32_t folderError;
    bool heldByAnotherRun, othersMayChange;
    InstallerResult exitCode;
    std::wstring ownLog, installerLog;  // empty: no installer ran
    const char* logged;
  };
  const std::wstring tmp = L"C:\\Temp\\eldoris-setup_2026-12-06-07-05-09.log";
  const std::vector<Row> rows = {
      // clang-format off
      {"writable", 0, false, false, 0, L"C:\\Logs\\eldoris.log", L"C:\\Logs\\eldoris_velmarix-x64.msi.log", " exit code 0: "},
      {"another run writes it", 0, true, false, 0, L"C:\\Logs\\eldoris_2026-12-06-07-05-09.log", L"C:\\Logs\\eldoris_2026-12-06-07-05-09_velmarix-x64.msi.log", " -log: C:\\Logs\\eldoris.log is not replaced (another program holds it open (a run still writing it, or a viewer)): this log stays beside it, C:\\Logs\\eldoris_2026-12-06-07-05-09.log\r\n"},
      {"others may change the folder", 0, false, true, 0, tmp, L"C:\\Temp\\velmarix-x64.msi_2026-12-06-07-05-09.log", " -log «C:\\Logs\\eldoris.log»: C:\\Logs is not used: S-1-1-0 (Everyone) may rename or delete it or what is in it, or change who may; this log and the installers' are in TMP instead\r\n"},
      {"no folder can be made", 5, false, false, 1622, tmp, L"", " -log «C:\\Logs\\eldoris.log»: C:\\Logs\\eldoris.log cannot be written (error 5); nothing is installed\r\n"},
      // clang-format on
  };
  for (const auto& row : rows) {
    FakePlatform platform = freshMachine();
    platform.folderError = row.folderError;
    if (row.heldByAnotherRun) {
      platform.files[L"C:\\Logs\\eldoris.log"] = "the first run's";
      platform.heldOpen.insert(L"C:\\Logs\\eldoris.log");
    }
    if (row.othersMayChange) {
      platform.existingFolders.insert(L"C:\\Logs");
      platform.folderLooks[L"C:\\Logs"] =
          folderOwnedBy(L"S-1-5-32-544", {{AccessEntry::Kind::allow, L"S-1-1-0", 0x1F01FF, 3}});
    }
    EXPECT_EQ(run(platform, L"-silent -log C:\\Logs\\eldoris.log"), row.exitCode) << row.name;
    const std::string own = platform.files[row.ownLog];
    EXPECT_NE(own.find(row.logged), std::string::npos) << row.name << ": " << own;
    EXPECT_EQ(platform.commandLines.size(), row.installerLog.empty() ? 0u : 1u) << row.name;
    if (!row.installerLog.empty()) {
      EXPECT_NE(platform.commandLines[0].find(L"/Lv! \"" + row.installerLog + L"\" "),
                std::wstring::npos)
          << row.name;
    }
    if (row.heldByAnotherRun) {  // the first run's log is where it was, untouched
      EXPECT_EQ(platform.files[L"C:\\Logs\\eldoris.log"], "the first run's") << row.name;
      EXPECT_EQ(platform.files.count(L"C:\\Logs\\eldoris.lo_"), 0u) << row.name;
    }
  }
}

// A tool retrying a failed run while another installation runs: the retries
// that end with 1618, having changed nothing, leave the failed run's log at
// the name and the one before it as .lo_; a retry that installs keeps it.
TEST(Run, RetriesEndingWith1618KeepTheFailedRunsLog) {
  FakePlatform platform = freshMachine();
  platform.files[L"C:\\Logs\\run.log"] = "the failed run's";
  platform.files[L"C:\\Logs\\run.lo_"] = "the run's before it";
  for (int retry = 0; retry < 2; ++retry) {
    platform.runLocks = {RunLock::State::held};
    platform.time.second = 10 + retry;  // its own name beside
    EXPECT_EQ(run(platform, L"-silent -msiwait 0 -log C:\\Logs\\run.log"), 1618u);
    EXPECT_EQ(platform.files[L"C:\\Logs\\run.log"], "the failed run's");
    EXPECT_EQ(platform.files[L"C:\\Logs\\run.lo_"], "the run's before it");
  }
  EXPECT_EQ(run(platform, L"-silent -log C:\\Logs\\run.log"), 0u);
  EXPECT_EQ(platform.files[L"C:\\Logs\\run.lo_"], "the failed run's");
  EXPECT_NE(platform.files[L"C:\\Logs\\run.log"].find(" exit code 0: "), std::string::npos);
  EXPECT_NE(platform.commandLines.back().find(L"/Lv! \"C:\\Logs\\run_velmarix-x64.msi.log\""),
            std::wstring::npos);
}

TEST(Run, WhereNobodyIsAskedABusyInstallerIsWaitedFor) {
  using State = InstallerWait::State;
  struct Row {
    const char* name;
    std::wstring arguments;
    std::deque<InstallerWait> mutex;
    InstallerResult exitCode;
    std::vector<std::uint32_t> asked;  // milliseconds
    std::size_t children;
    const char* logged;
  };
  const std::vector<Row> rows = {
      // clang-format off
      {"a person is asked", L"-norestart", {{State::held}}, 0, {}, 1, nullptr},
      {"free", L"-silent", {}, 0, {0}, 1, nullptr},
      {"freed", L"-silent", {{State::held}, {State::free, 0, 2500}}, 0, {0, 600000}, 1, " Windows Installer busy: its service is running another installation (msiexec.exe runs as process 4242, 77); waiting up to 600 s before msiexec starts\r\n"},
      {"past the bound", L"-silent -msiwait 5", {{State::held}, {State::held, 0, 5000}}, 1618, {0, 5000}, 0, " Windows Installer still busy after 5.000 s: msiexec is not started"},
      {"no wait", L"-silent -msiwait 0", {{State::held}}, 0, {0}, 1, "msiexec starts without waiting (-msiwait 0)"},
      {"service unreadable", L"-silent", {{State::unknown, 5}}, 0, {0, 0}, 1, " Windows Installer: its service's status cannot be read (Windows error 5 (access is denied)); Global\\_MSIExecute is looked at\r\n"},
      {"cannot tell", L"-silent", {{State::unknown, 5}, {State::unknown, 6}}, 0, {0, 0}, 1, " Windows Installer: whether it is busy cannot be told (Windows error 6"},
      {"before a provider", L"-silent -csp", {{State::held}, {State::held, 0, 600000}}, 1618, {0, 600000}, 0, ": csp\\Setup.exe is not started"},
      // clang-format on
  };
  for (const auto& row : rows) {
    FakePlatform platform = freshMachine();
    platform.answers = {box::idYes};
    platform.installerWaits = row.mutex;
    platform.msiexecProcesses = std::vector<std::uint32_t>{4242, 77};
    EXPECT_EQ(run(platform, row.arguments), row.exitCode) << row.name;
    EXPECT_EQ(platform.installerWaitsAsked, row.asked) << row.name;
    EXPECT_EQ(platform.commandLines.size(), row.children) << row.name;
    const std::string log = platform.files[L"C:\\Temp\\eldoris-setup_2026-12-06-07-05-09.log"];
    if (row.logged) {
      EXPECT_NE(log.find(row.logged), std::string::npos) << row.name;
    }
  }
}

// The Windows Installer's calls give 1618 while another installation runs:
// an upgrade waits before its version check's first one.
TEST(Run, AnUpgradeWaitsForTheInstallerBeforeTheVersionCheck) {
  using State = InstallerWait::State;
  for (const bool freed : {true, false}) {
    FakePlatform platform = freshMachine();
    platform.productState = 5;
    platform.packageVersion = {0, L"2.0.10"};
    platform.installerWaits = {{State::held}, {freed ? State::free : State::held, 0, 5000}};
    EXPECT_EQ(run(platform, L"-silent -msiwait 5"), freed ? 0u : 1618u);
    const auto& calls = platform.calls;
    const auto waited = std::find(calls.begin(), calls.end(), "installerWait");
    const auto checked = std::find(calls.begin(), calls.end(), "msiGetProductInfo");
    EXPECT_LT(waited, checked);
    EXPECT_EQ(checked == calls.end(), !freed);
  }
}

TEST(Run, TheInstallersBusySignIsItsServiceFromWindowsXpOn) {
  const std::vector<std::pair<std::optional<OsVersion>, InstallerBusySign>> rows = {
      {OsVersion{5, 0, 4}, InstallerBusySign::mutex},  // Windows Installer 2.0 unless updated
      {OsVersion{5, 1, 2}, InstallerBusySign::serviceStatus},
      {OsVersion{5, 2, 2}, InstallerBusySign::serviceStatus},
      {OsVersion{10, 0, 0}, InstallerBusySign::serviceStatus},
      {std::nullopt, InstallerBusySign::mutex},
  };
  for (const auto& [version, sign] : rows) EXPECT_EQ(installerBusySignFor(version), sign);
}

// MsiOpenPackageExW asks for COM on its thread: only while the package is
// open, so that the apartment never waits (for msiexec, for a busy Windows
// Installer) without pumping messages; uninitialised only when initialised.
TEST(Run, ComOnlyWhileThePackageIsOpen) {
  for (const std::uint32_t result : {0u, 1u, 0x80010106u}) {  // S_OK, S_FALSE, RPC_E_CHANGED_MODE
    FakePlatform platform = freshMachine();
    platform.productState = 5;
    platform.packageVersion = {0, L"2.0.10"};
    platform.comResult = result;
    EXPECT_EQ(run(platform, L"-silent"), 0u);
    const auto& calls = platform.calls;
    const auto at = [&calls](const char* call) {
      return std::find(calls.begin(), calls.end(), call);
    };
    EXPECT_LT(at("comInit"), at("msiOpenPackage"));
    const bool owed = result != 0x80010106u;
    if (owed) {
      EXPECT_LT(at("msiCloseHandle"), at("comUninit")) << result;
      // Before msiexec's wait and msiexec itself.
      EXPECT_LT(at("comUninit"), std::find(calls.rbegin(), calls.rend(), "installerWait").base())
          << result;
      EXPECT_LT(at("comUninit"), at("child")) << result;
    } else {
      EXPECT_EQ(at("comUninit"), calls.end()) << result;
    }
    const std::string log = platform.files[L"C:\\Temp\\eldoris-setup_2026-12-06-07-05-09.log"];
    EXPECT_EQ(log.find("COM not initialised: HRESULT 0x80010106") == std::string::npos, owed);
  }
  FakePlatform fresh = freshMachine();  // no package opened: no COM
  EXPECT_EQ(run(fresh, L"-silent"), 0u);
  EXPECT_EQ(std::count(fresh.calls.begin(), fresh.calls.end(), "comInit"), 0);
}

// The run lock is taken before the first change, waited for where nobody is
// asked, and never held while a box waits for a person; a run that meets it
// where a person is asked ends with 1618 and the plug-in's failure box.
TEST(Run, OneRunAtATime) {
  using State = RunLock::State;
  struct Row {
    const char* name;
    std::wstring arguments;
    std::deque<State> locks;
    InstallerResult exitCode;
    std::vector<std::uint32_t> asked;  // milliseconds
    const char* logged;
    bool namespaces = true;
    std::deque<std::uint32_t> waited = {};  // milliseconds, where a lock is taken after a wait
  };
  const std::wstring global = L"Global\\EldorisSetup{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}";
  const std::vector<Row> rows = {
      // clang-format off
      // The global name first, which earlier versions take too, then the namespace's.
      {"alone", L"-silent", {}, 0, {0, 0}, " run lock taken: EldorisSetup\\{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}\r\n"},
      {"a person is asked", L"", {State::held}, 1618, {0}, " another run of the program is in progress (it holds Global\\EldorisSetup{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}): this run ends before it changes anything more\r\n"},
      {"a person is asked, a provider first", L"-csp", {State::held}, 1618, {0}, ": this run ends before it changes anything more"},
      {"waited for", L"-silent", {State::held, State::taken}, 0, {0, 600000, 0}, "; waiting up to 600 s for its end\r\n"},
      // One -msiwait for both names: an older version's run holds the namespace's.
      {"both waited for", L"-silent", {State::held, State::taken, State::held, State::taken}, 0, {0, 600000, 0, 200000}, "; waiting up to 200 s for its end\r\n", true, {0, 400000, 0, 0}},
      {"past the wait", L"-silent -msiwait 5", {State::held, State::held}, 1618, {0, 5000}, " the other run is still in progress after 5.000 s: this run ends before it changes anything more\r\n"},
      {"no wait", L"-silent -msiwait 0", {State::held}, 1618, {0}, ": this run ends before it changes anything more"},
      {"held in the namespace only", L"-silent -msiwait 0", {State::taken, State::held}, 1618, {0, 0}, " another run of the program is in progress (it holds EldorisSetup\\{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}): this run ends"},
      // The namespace's lock keeps runs apart where another account made the global one.
      {"another user's global object", L"-silent", {State::foreign}, 0, {0, 0}, "Global\\EldorisSetup{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35} was made by an account that is neither SYSTEM nor an administrator\r\n2026-12-06 07:05:09.000 run lock taken: EldorisSetup\\{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}\r\n2026-12-06 07:05:09.000 runs are kept apart by the namespace's lock alone"},
      {"another user's objects", L"-silent", {State::foreign, State::foreign}, 0, {0, 0}, " was made by an account that is neither SYSTEM nor an administrator\r\n2026-12-06 07:05:09.000 runs are not kept apart\r\n"},
      // Going on would let two runs share the marker unseen: the run ends, and a tool retries.
      {"cannot be made", L"-silent", {State::unknown}, 1627, {0}, " exit code 1627: taking Global\\EldorisSetup{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35} (the lock that keeps runs apart) failed: Windows error 0\r\n", false},
      // Whatever another account put at the global name stops no run that holds the namespace's.
      {"the global one cannot be made", L"-silent", {State::unknown}, 0, {0, 0}, " taking Global\\EldorisSetup{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35} failed: Windows error 0; the namespace's lock alone keeps runs apart\r\n"},
      {"the global one cannot be made, the namespace's another's", L"-silent", {State::unknown, State::foreign}, 1627, {0, 0}, " exit code 1627: taking Global\\EldorisSetup{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35} (the lock that keeps runs apart) failed: Windows error 0\r\n"},
      {"cannot be made in the namespace", L"-silent", {State::taken, State::unknown}, 1627, {0, 0}, " exit code 1627: taking EldorisSetup\\{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35} (the lock"},
      // clang-format on
  };
  for (const auto& row : rows) {
    FakePlatform platform = freshMachine();
    platform.answers = {box::idYes};
    platform.runLocks = row.locks;
    platform.privateNamespaces = row.namespaces;
    platform.runLockWaits = row.waited;
    platform.userKeys.insert(
        L"Software\\NeedBstrReboot");  // another program's, from before the start
    platform.keyWriteTimes[L"Software\\NeedBstrReboot"] = platform.now - 72000000000ull;
    EXPECT_EQ(run(platform, row.arguments + L" -norestart"), row.exitCode) << row.name;
    EXPECT_EQ(platform.runLocksAsked, row.asked) << row.name;
    const bool ran = row.exitCode == 0;
    EXPECT_EQ(platform.commandLines.size(), ran ? 1u : 0u) << row.name;
    EXPECT_EQ(platform.markerPresent(), !ran) << row.name;  // a run that ends changes nothing
    EXPECT_EQ(platform.runLocksHeld, 0) << row.name;        // released at the end
    const bool asked = row.arguments.find(L"-silent") == std::wstring::npos;
    ASSERT_EQ(platform.boxes.size(), asked ? 2u : 0u) << row.name;
    if (asked) {  // the question, then why the run ended
      EXPECT_EQ(platform.boxes[1].text, text(msg::pluginInstallFailed) + L": 1618.\n") << row.name;
    }
    const std::string log = platform.files[L"C:\\Temp\\eldoris-setup_2026-12-06-07-05-09.log"];
    EXPECT_NE(log.find(row.logged), std::string::npos) << row.name << ": " << log;
  }
}

// The lock is in a private namespace no standard user can make wherever the
// system has the calls (Vista on, whatever version it reports); else in the
// global one, and the calls are not looked for again.
TEST(Run, TheRunLocksNamespace) {
  struct Row {
    OsVersion version;
    bool privateNamespaces;
    std::vector<std::wstring> places;  // aliases asked for, in order ("" global)
  };
  const std::vector<Row> rows = {
      {{6, 0, 2}, true, {L"", L"EldorisSetup", L"", L"EldorisSetup"}},
      {{10, 0, 0}, true, {L"", L"EldorisSetup", L"", L"EldorisSetup"}},
      // Windows 10 under an XP compatibility layer: its calls are there all the same.
      {{5, 1, 3}, true, {L"", L"EldorisSetup", L"", L"EldorisSetup"}},
      // XP, Server 2003 (and Wine): the namespace asked for once, then the global name alone.
      {{5, 2, 2}, false, {L"", L"EldorisSetup", L""}},
      {{6, 1, 1}, false, {L"", L"EldorisSetup", L""}},
  };
  for (const auto& row : rows) {
    FakePlatform platform = freshMachine();
    platform.version = row.version;
    platform.privateNamespaces = row.privateNamespaces;
    platform.childRuns = {{true, 3010}};  // taken for msiexec, let go at the question, taken again
    platform.answers = {box::idYes, box::idYes};
    EXPECT_EQ(run(platform, L""), 0u);
    std::vector<std::wstring> aliases;
    for (const RunLockPlace& place : platform.runLockPlaces)
      aliases.push_back(place.namespaceAlias);
    EXPECT_EQ(aliases, row.places) << row.version.major << "." << row.version.minor;
    EXPECT_EQ(platform.runLockPlaces.back().mutexName.rfind(
                  row.places.back().empty() ? L"Global\\EldorisSetup{" : L"EldorisSetup\\{", 0),
              0u);
    for (const Grant& grant :
         platform.runLockAccess.grants) {  // SYSTEM and the Administrators only
      EXPECT_NE(grant.trustee, Trustee::users);
    }
  }
}

// What the decision read is read again once the lock is held: another run
// that installed, upgraded or removed the plug-in before (while a box
// waited, say) ends this one with 1618 before it changes anything.
TEST(Run, TheDecisionIsReadAgainUnderTheLock) {
  struct Row {
    const char* name;
    int stateBefore;
    std::wstring versionBefore;
    std::deque<int> answers;
    int stateMeanwhile;
    std::wstring versionMeanwhile;
    InstallerResult exitCode;
  };
  const std::vector<Row> rows = {
      // clang-format off
      {"the same version reinstalled, upgraded meanwhile", 5, L"2.0.9", {box::idYes, box::idYes}, 5, L"2.0.10", 1618},
      {"a fresh installation, installed meanwhile", 2, L"", {box::idYes}, 5, L"2.0.9", 1618},
      {"an upgrade, removed meanwhile", 5, L"2.0.8", {box::idYes}, 2, L"", 1618},
      {"nothing changed meanwhile", 5, L"2.0.9", {box::idYes, box::idYes}, 5, L"2.0.9", 0},
      // clang-format on
  };
  for (const auto& row : rows) {
    FakePlatform platform = freshMachine();
    platform.productState = row.stateBefore;
    platform.installedVersion = {0, row.versionBefore};
    platform.packageVersion = {0, L"2.0.9"};
    platform.answers = row.answers;
    platform.answers.push_back(box::idOk);
    platform.beforeTheLock = [&row](FakePlatform& p) {
      p.productState = row.stateMeanwhile;
      p.installedVersion = {0, row.versionMeanwhile};
    };
    EXPECT_EQ(run(platform, L""), row.exitCode) << row.name;
    EXPECT_EQ(platform.commandLines.size(), row.exitCode == 0 ? 1u : 0u) << row.name;
  }
}

// A stale marker asks for no restart, even where another run holds the lock
// and it cannot be deleted yet: it is left for a later run.
TEST(Run, AStaleMarkerIsNoRestartWhileAnotherRunHoldsTheLock) {
  FakePlatform platform = freshMachine();
  platform.productState = 5;
  platform.packageVersion =
      platform.installedVersion;  // nothing to install: no lock before the end
  platform.userKeys.insert(L"Software\\NeedBstrReboot");  // another program's, before the start
  platform.keyWriteTimes[L"Software\\NeedBstrReboot"] = platform.now - 72000000000ull;
  platform.runLocks = {RunLock::State::held};
  EXPECT_EQ(run(platform, L"-silent -msiwait 0 -restartcodes"), 0u);
  EXPECT_TRUE(platform.restartCalls.empty());
  EXPECT_TRUE(platform.markerPresent());
}

// Judged stale, then written again by another run while this one waited for
// the lock: judged again under it, it stays, and the restart is due.
TEST(Run, AMarkerWrittenAgainWhileTheLockWasAwaitedStays) {
  FakePlatform platform = freshMachine();
  platform.productState = 5;
  platform.packageVersion = platform.installedVersion;
  platform.userKeys.insert(L"Software\\NeedBstrReboot");
  platform.keyWriteTimes[L"Software\\NeedBstrReboot"] = platform.now - 72000000000ull;
  platform.beforeTheLock = [](FakePlatform& p) {
    RunContext other(p);
    createRestartMarker(other);
  };
  EXPECT_EQ(run(platform, L"-silent -norestart -restartcodes"), 3010u);
  EXPECT_TRUE(platform.markerPresent());
}

// An object of the lock's name that refuses the run is another account's: the
// run goes on (stopping would let any user stop every deployment).
TEST(Run, AnObjectOfTheLocksNameThatRefusesIsAnothers) {
  using State = RunLock::State;
  EXPECT_EQ(lockStateOfRefusal(5), State::foreign);  // a mutex refusing an administrator
  EXPECT_EQ(lockStateOfRefusal(6), State::foreign);  // an event of that name
  for (const std::uint32_t error : {0u, 8u, 1450u}) {
    EXPECT_EQ(lockStateOfRefusal(error), State::unknown) << error;
  }
}

// No box that waits for a person holds the lock: not the question, not the
// reinstallation question between a provider and the plug-in, not the end.
TEST(Run, NoBoxHoldsTheRunLock) {
  FakePlatform platform = freshMachine();
  platform.productState = 5;  // the same version: 147 is asked after the provider ran
  platform.answers = {box::idYes, box::idYes, box::idOk};
  EXPECT_EQ(run(platform, L"-csp"), 0u);
  EXPECT_EQ(platform.boxes.size(), 3u);
  EXPECT_EQ(platform.locksHeldAtBoxes, std::vector<int>(3, 0));
  EXPECT_EQ(platform.runLocksAsked.size(), 4u);  // both names for the provider, again for msiexec
}

TEST(Run, TheDialogNeedsSelectDlgAndCspAndNoSilence) {
  struct Row {
    std::wstring arguments;
    int dialogs;
  };
  const std::vector<Row> rows = {{L"-selectDlg -csp", 1},
                                 {L"-csp -selectDlg -ucsp", 1},
                                 {L"-selectDlg", 0},
                                 {L"-selectDlg -ucsp", 0},
                                 {L"-selectDlg -csp -silent", 0}};
  for (const auto& row : rows) {
    FakePlatform platform = freshMachine();
    platform.answers = {box::idYes};
    run(platform, row.arguments);
    EXPECT_EQ(platform.dialogsShown, row.dialogs);
  }
}

TEST(Run, CancellingTheDialogOrFailingToShowItInstallsNothing) {
  struct Row {
    DialogOutcome outcome;
    std::uint32_t error;
    InstallerResult exitCode;
  };
  // 1813: ERROR_RESOURCE_TYPE_NOT_FOUND; 5 would read as a missing service pack.
  const Row rows[] = {{DialogOutcome::cancelled, 0, 0},
                      {DialogOutcome::failed, 1813, 1813},
                      {DialogOutcome::failed, 5, 1627}};
  for (const Row& row : rows) {
    FakePlatform platform = freshMachine();
    platform.answers = {box::idYes};
    platform.dialogOutcome = row.outcome;
    platform.dialogError = row.error;
    EXPECT_EQ(run(platform, L"-csp -selectDlg"), row.exitCode) << row.error;
    EXPECT_TRUE(platform.commandLines.empty());
    EXPECT_EQ(platform.boxes.size(), 1u);
  }
}

TEST(Run, ProvidersRunInOrderBeforeThePlugin) {
  FakePlatform platform = freshMachine();
  EXPECT_EQ(run(platform, L"-ucsp -csp -silent -norestart"), 0u);
  ASSERT_EQ(platform.commandLines.size(), 3u);
  EXPECT_EQ(platform.commandLines[0].rfind(L"csp\\Setup.exe ", 0), 0u);
  EXPECT_EQ(platform.commandLines[1].rfind(L"ucsp\\Setup.exe ", 0), 0u);
  EXPECT_NE(platform.commandLines[2].find(L"msiexec.exe"), std::wstring::npos);
}

TEST(Run, AFailedProviderEndsTheRunWithItsCode) {
  for (const bool restartCodes : {false, true}) {
    FakePlatform platform = freshMachine();
    platform.childRuns = {{true, 3010}};
    EXPECT_EQ(
        run(platform, restartCodes ? L"-csp -ucsp -silent -restartcodes" : L"-csp -ucsp -silent"),
        restartCodes ? 350u : 3010u);  // a code that no deployment tool reads as success
    EXPECT_EQ(platform.commandLines.size(), 1u);
    EXPECT_FALSE(platform.markerPresent());
  }

  FakePlatform second = freshMachine();
  second.childRuns = {{true, 0}, {true, 1603}};
  EXPECT_EQ(run(second, L"-csp -ucsp -silent"), 1603u);
  EXPECT_EQ(second.commandLines.size(), 2u);
}

TEST(Run, APluginFailureIsReportedWithItsCodeAndExistingLog) {
  const std::wstring log = L"C:\\Temp\\velmarix-x64.msi_2026-12-06-07-05-09.log";
  for (const bool logExists : {true, false}) {
    FakePlatform platform = freshMachine();
    platform.answers = {box::idYes};
    platform.childRuns = {{true, 1603}};
    platform.childWritesLog = logExists;
    EXPECT_EQ(run(platform, L"-norestart"), 1603u);
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[1].text, text(msg::pluginInstallFailed) + L": 1603.\n" +
                                          (logExists ? L"Install log: " + log : L""));
    EXPECT_EQ(platform.boxes[1].caption, title);
    EXPECT_EQ(platform.boxes[1].style, 0x10u);
  }
}

TEST(Run, APluginDeclineEndsWith1602AndNoMessage) {
  FakePlatform platform = freshMachine();
  platform.answers = {box::idYes};
  platform.childRuns = {{true, 1602}};
  EXPECT_EQ(run(platform, L""), 1602u);
  EXPECT_EQ(platform.boxes.size(), 1u);
}

struct RestartRow {
  const char* name;
  std::wstring arguments;
  bool markerBefore;
  InstallerResult installerCode;
  std::deque<int> answers;  // after the confirmation
  bool restartWorks;
  InstallerResult exitCode;
  std::vector<MessageId> messages;  // after the confirmation
  bool markerAfter;
  int restarts;
  bool seen = true;             // whether anybody can see the desktop
  std::uint32_t markerAge = 0;  // seconds before now; the system started an hour ago
};

TEST(Run, RestartDecision) {
  const std::vector<RestartRow> rows = {
      // clang-format off
      {"no marker", L"-norestart", false, 0, {}, true, 0, {msg::restartBrowser}, false, 0},
      // The marker of this start stays through the restart, which itself makes it stale.
      {"reboot required, yes", L"-reinstall", false, 3010, {box::idYes}, true, 0, {msg::restartNow}, true, 1},
      {"reboot initiated, no", L"-reinstall", false, 1641, {box::idNo}, true, 0, {msg::restartNow}, false, 0},
      {"restart fails, still due", L"-reinstall", false, 3011, {box::idYes}, false, 7, {msg::restartNow, msg::restartFailed}, true, 0},
      {"norestart keeps the marker", L"-norestart", false, 3010, {}, true, 0, {msg::restartBrowser}, true, 0},
      {"earlier marker", L"-reinstall", true, 0, {box::idYes}, true, 0, {msg::restartNow}, false, 1},
      {"silent restarts", L"-silent", true, 0, {}, true, 0, {}, false, 1},
      {"silent restart fails", L"-silent", true, 0, {}, false, 7, {}, true, 0},
      {"silent norestart", L"-silent -norestart", false, 3010, {}, true, 0, {}, true, 0},
      {"csp wording", L"-csp", true, 0, {box::idNo}, true, 0, {msg::restartNowWithProvider}, false, 0},
      {"ucsp wording", L"-ucsp", false, 0, {}, true, 0, {msg::restartBrowserWithUecProvider}, false, 0},
      {"both wording", L"-csp -ucsp", true, 0, {box::idNo}, true, 0, {msg::restartNowWithBothProviders}, false, 0},
      {"both browser wording", L"-csp -ucsp -norestart", true, 0, {}, true, 0, {msg::restartBrowserWithBothProviders}, true, 0},
      {"csp browser wording", L"-csp", false, 0, {}, true, 0, {msg::restartBrowserWithProvider}, false, 0},
      {"ucsp restart wording", L"-ucsp", true, 0, {box::idNo}, true, 0, {msg::restartNowWithUecProvider}, false, 0},
      // -restartcodes: the exit code tells a deployment tool of the restart.
      {"codes: declined", L"-restartcodes", false, 3010, {box::idNo}, true, 3010, {msg::restartNow}, false, 0},
      {"codes: started", L"-RestartCodes", false, 1641, {box::idYes}, true, 1641, {msg::restartNow}, true, 1},
      {"codes: start fails", L"-restartcodes", false, 3010, {box::idYes}, false, 3010, {msg::restartNow, msg::restartFailed}, true, 0},
      {"codes: none due", L"-restartcodes", false, 0, {}, true, 0, {msg::restartBrowser}, false, 0},
      {"codes: norestart", L"-norestart -restartcodes", true, 0, {}, true, 3010, {msg::restartBrowser}, true, 0},
      {"codes: silent", L"-silent -restartcodes", true, 0, {}, true, 1641, {}, false, 1},
      // Where nobody sees the desktop: -silent runs as anywhere, a question ends the run.
      {"unseen, silent", L"-silent -restartcodes", true, 0, {}, true, 1641, {}, false, 1, false},
      {"unseen, silent norestart", L"-silent -norestart -restartcodes", false, 3010, {}, true, 3010, {}, true, 0, false},
      {"unseen, not silent", L"-reinstall", true, 0, {}, true, 1459, {}, true, 0, false},
      // A marker written before the system started asked for a restart that has happened.
      {"marker from before the start", L"-silent -norestart -restartcodes", true, 0, {}, true, 0, {}, false, 0, true, 7200},
      {"marker since the start", L"-silent -norestart -restartcodes", true, 0, {}, true, 3010, {}, true, 0, true, 1800},
      // clang-format on
  };
  for (const auto& row : rows) {
    FakePlatform platform = freshMachine();
    const bool silent = row.arguments.find(L"-silent") != std::wstring::npos;
    if (!silent && row.seen) platform.answers.push_back(box::idYes);
    platform.desktop.stationVisible.value = row.seen;
    platform.answers.insert(platform.answers.end(), row.answers.begin(), row.answers.end());
    if (row.markerBefore) platform.userKeys.insert(L"Software\\NeedBstrReboot");
    platform.keyWriteTimes[L"Software\\NeedBstrReboot"] =
        platform.now - row.markerAge * 10000000ull;
    const bool withCsp = row.arguments.find(L"-csp") != std::wstring::npos;
    const bool withUcsp = row.arguments.find(L"-ucsp") != std::wstring::npos;
    for (int i = 0; i < int(withCsp) + int(withUcsp); ++i) platform.childRuns.push_back({true, 0});
    platform.childRuns.push_back({true, row.installerCode});
    platform.restartSucceeds = row.restartWorks;

    EXPECT_EQ(run(platform, row.arguments), row.exitCode) << row.name;
    std::vector<std::wstring> expected;
    for (const MessageId id : row.messages) expected.push_back(text(id));
    std::vector<std::wstring> shown;
    for (std::size_t i = silent || !row.seen ? 0 : 1; i < platform.boxes.size(); ++i) {
      shown.push_back(platform.boxes[i].text);
    }
    EXPECT_EQ(shown, expected) << row.name;
    EXPECT_EQ(platform.commandLines.empty(), row.exitCode == 1459) << row.name;
    EXPECT_EQ(platform.markerPresent(), row.markerAfter) << row.name;
    EXPECT_EQ(platform.restartsStarted, row.restarts) << row.name;
    // Seen or not, the call that restarts for a caller who is not the interactive user.
    for (const RestartRequest& request : platform.restartCalls) {
      EXPECT_EQ(request.call, RestartCall::initiateShutdownEx) << row.name;
    }
  }
}

// The restart call's answers: not ready yet (no user logged on under fast
// user switching) is asked again a second apart; a shutdown already in
// progress is a restart under way, one scheduled may still be aborted (not
// started); the marker stays for a next run, or is put back where another
// program's went first, since another's shutdown may be aborted too.
TEST(Run, TheRestartCallsAnswers) {
  struct Row {
    const char* name;
    std::deque<std::uint32_t> answers;
    InstallerResult exitCode;  // with -restartcodes
    std::size_t calls, pauses;
    MessageId after;  // the box after the restart question; 0: none
    bool anotherProgramsMarker = false;
  };
  const std::vector<Row> rows = {
      // clang-format off
      {"started", {0}, 1641, 1, 0, 0},
      {"not ready, then started", {21, 21, 0}, 1641, 3, 2, 0},
      {"never ready", {21, 21, 21, 21, 21}, 3010, 5, 4, msg::restartFailed},
      {"a shutdown in progress", {1115}, 1641, 1, 0, msg::restartUnderWay},
      {"a shutdown scheduled", {1190}, 3010, 1, 0, msg::restartUnderWay},
      {"refused", {5}, 3010, 1, 0, msg::restartFailed},
      {"in progress, another program's marker", {1115}, 1641, 1, 0, msg::restartUnderWay, true},
      {"scheduled, another program's marker", {1190}, 3010, 1, 0, msg::restartUnderWay, true},
      {"refused, another program's marker", {5}, 3010, 1, 0, msg::restartFailed, true},
      // clang-format on
  };
  for (const auto& row : rows) {
    FakePlatform platform = freshMachine();
    platform.childRuns = {{true, 3010}};
    platform.answers = {box::idYes, box::idYes};
    platform.restartErrors = row.answers;
    if (row.anotherProgramsMarker) platform.userKeys.insert(L"Software\\NeedBstrReboot");
    EXPECT_EQ(run(platform, L"-restartcodes"), row.exitCode) << row.name;
    EXPECT_EQ(platform.restartCalls.size(), row.calls) << row.name;
    EXPECT_EQ(platform.pauses, std::vector<std::uint32_t>(row.pauses, 1000)) << row.name;
    ASSERT_EQ(platform.boxes.size(), row.after ? 3u : 2u) << row.name;
    if (row.after) {
      EXPECT_EQ(platform.boxes[2].text, text(row.after)) << row.name;
    }
    EXPECT_TRUE(platform.markerPresent()) << row.name;  // until a restart makes it stale
  }
}

// The marker stays until the question is answered: a question that could
// not be asked leaves the restart due.
TEST(Run, TheRestartQuestionIsAWarningAndTheMarkerGoesOnlyWhenItIsAnswered) {
  FakePlatform platform = freshMachine();
  platform.answers = {box::idYes, box::idNo};
  platform.childRuns = {{true, 3010}};
  EXPECT_EQ(run(platform, L""), 0u);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[1].style, 0x34u);
  EXPECT_EQ(platform.boxes[1].caption, title);
  const auto deleted = std::find(platform.calls.begin(), platform.calls.end(), "deleteKey");
  ASSERT_NE(deleted, platform.calls.end());
  EXPECT_EQ(std::count(deleted, platform.calls.end(), "box"), 0);
}

TEST(Run, AMarkerThatCannotBeDeletedIsOfferedEveryTime) {
  FakePlatform platform = freshMachine();
  platform.userKeys.insert(L"Software\\NeedBstrReboot");
  platform.keysWithSubkeys.insert(L"Software\\NeedBstrReboot");
  for (int round = 0; round < 2; ++round) {
    platform.boxes.clear();
    platform.answers = {box::idYes, box::idNo};
    EXPECT_EQ(run(platform, L"-norestart -reinstall"), 0u);
    platform.answers = {box::idYes, box::idNo};
    EXPECT_EQ(run(platform, L"-reinstall"), 0u);
    EXPECT_EQ(platform.boxes.back().text, text(msg::restartNow));
    EXPECT_TRUE(platform.markerPresent());
  }
}

}  // namespace
}  // namespace eldoris::testing
