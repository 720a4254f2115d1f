#include "restart/restart_marker.h"

#include <gtest/gtest.h>

#include <functional>

#include "fake_platform.h"
#include "messages/run_log.h"

namespace eldoris::testing {
namespace {

const std::wstring kMarker = L"Software\\NeedBstrReboot";

bool markerFound(RunContext& run) {
  return judgeRestartMarker(run).kind != MarkerState::Kind::absent;
}

TEST(RestartMarker, IsCreatedFoundAndDeleted) {
  FakePlatform platform;
  RunContext run(platform);
  EXPECT_FALSE(markerFound(run));

  EXPECT_EQ(createRestartMarker(run), 0u);
  EXPECT_TRUE(platform.markerPresent());
  EXPECT_TRUE(markerFound(run));

  EXPECT_EQ(deleteRestartMarker(run), 0u);
  EXPECT_FALSE(platform.markerPresent());
  EXPECT_FALSE(markerFound(run));
}

TEST(RestartMarker, CreatingItAgainKeepsIt) {
  FakePlatform platform;
  RunContext run(platform);
  EXPECT_EQ(createRestartMarker(run), 0u);
  EXPECT_EQ(createRestartMarker(run), 0u);
  EXPECT_EQ(platform.userKeys, std::set<std::wstring>{kMarker});
}

TEST(RestartMarker, AFailedCreateReturnsItsCode) {
  FakePlatform platform;
  RunContext run(platform);
  platform.createKeyResult = 5;
  EXPECT_EQ(createRestartMarker(run), 5u);
  EXPECT_FALSE(platform.markerPresent());
}

TEST(RestartMarker, AKeyMadeByHandCounts) {
  FakePlatform platform;
  RunContext run(platform);
  platform.userKeys = {L"Software", kMarker};
  EXPECT_TRUE(markerFound(run));
  EXPECT_EQ(deleteRestartMarker(run), 0u);
  EXPECT_EQ(platform.userKeys, std::set<std::wstring>{L"Software"});
}

TEST(RestartMarker, OtherKeysDoNotCount) {
  FakePlatform platform;
  RunContext run(platform);
  platform.userKeys = {L"Software\\NeedBstrReboot2", L"NeedBstrReboot",
                       L"Software\\Other\\NeedBstrReboot"};
  EXPECT_FALSE(markerFound(run));
  EXPECT_NE(deleteRestartMarker(run), 0u);
  EXPECT_EQ(platform.userKeys.size(), 3u);
}

TEST(RestartMarker, AMarkerWithSubkeysCannotBeDeletedAndStaysPresent) {
  FakePlatform platform;
  RunContext run(platform);
  platform.userKeys = {kMarker, kMarker + L"\\Child"};
  platform.keysWithSubkeys = {kMarker};
  EXPECT_EQ(deleteRestartMarker(run), 5u);
  EXPECT_TRUE(markerFound(run));
  EXPECT_TRUE(platform.markerPresent());
}

// KEY_WOW64_32KEY only under WOW64: Windows 2000 refuses the flag.
TEST(RestartMarker, NamesTheViewOnlyWhereThereAreTwo) {
  for (const bool wow64 : {true, false}) {
    FakePlatform platform;
    RunContext run(platform);
    platform.wow64 = wow64;
    createRestartMarker(run);
    markerFound(run);
    deleteRestartMarker(run);
    EXPECT_EQ(platform.keyViews, std::set<std::uint32_t>{wow64 ? 0x0200u : 0u});
  }
}

// Whoever runs the program: ExitWindowsEx restarts only for the interactive user.
TEST(RestartMarker, TheRestartIsAskedAsAnyCallerMay) {
  struct Row {
    std::optional<OsVersion> version;
    RestartCall call;
  };
  const std::vector<Row> rows = {
      {OsVersion{10, 0, 0}, RestartCall::initiateShutdownEx},
      {OsVersion{5, 1, 2}, RestartCall::initiateShutdownEx},
      {OsVersion{5, 0, 4}, RestartCall::initiateShutdown},  // 2000 lacks the Ex
      {std::nullopt, RestartCall::initiateShutdown},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(restartCallFor(row.version), row.call);
  }
}

TEST(RestartMarker, FileTimesAreWrittenAsUtcDates) {
  const std::vector<std::pair<std::uint64_t, std::wstring>> rows = {
      {0, L"1601-01-01 00:00:00 UTC"},
      {116444736000000000u, L"1970-01-01 00:00:00 UTC"},
      {125963423990000000u, L"2000-02-29 23:59:59 UTC"},
      {134410143090000000u, L"2026-12-06 07:05:09 UTC"},
  };
  for (const auto& [fileTime, text] : rows) EXPECT_EQ(fileTimeText(fileTime), text);
}

// A marker of the program's own names the start of the system it was
// written in: a full restart since makes it stale, whatever the clocks say.
// Another program's is judged by its write time against GetTickCount64, and
// stays where the start cannot be told for certain.
TEST(RestartMarker, OneFromBeforeTheLastFullRestartGoes) {
  constexpr std::uint64_t minute = 600000000;  // in FILETIME units
  enum class Made { none, byThisProgram, byAnother };
  struct Row {
    const char* name;
    Made made;
    std::uint64_t writtenAgo;                 // another program's
    std::optional<std::uint64_t> sinceStart;  // milliseconds
    bool restartedSince;
    std::uint64_t clockStep;  // the clock stepped forward since, in FILETIME units
    bool startKeyLasting;     // the start's key made not volatile, by another program
    bool stays;
    const char* logged;
    std::vector<std::wstring> writtenOn = {L"PC-01"};  // ours: by runs on these computers
  };
  const std::uint64_t year = 525600 * minute;
  const std::vector<Row> rows = {
      // clang-format off
      {"ours, no restart since", Made::byThisProgram, 0, 3600000, false, 0, false, true, "the system has not restarted since: it stays"},
      {"ours, the clock a year ahead since", Made::byThisProgram, 0, 3600000, false, year, false, true, "the system has not restarted since: it stays"},
      {"ours, restarted since", Made::byThisProgram, 0, 3600000, true, 0, false, false, "; no run has marked this start of the system: the restart it asked for has happened\r\n"},
      {"ours, restarted on Windows XP", Made::byThisProgram, 0, std::nullopt, true, 0, false, false, ": the restart it asked for has happened"},
      {"ours, a lasting key of that name", Made::byThisProgram, 0, 3600000, true, 0, true, true, "is not volatile (a lasting key can be made in it): it does not tell a restart: it stays"},
      {"another's, before the start", Made::byAnother, 61 * minute, 3600000, false, 0, false, false, " restart marker (without the program's mark) written 2026-12-06 06:04:09 UTC, before the system started (2026-12-06 06:05:09 UTC): the restart it asked for has happened\r\n"},
      {"another's, since the start", Made::byAnother, 59 * minute, 3600000, false, 0, false, true, " restart marker (without the program's mark) written 2026-12-06 06:06:09 UTC, after the system started (2026-12-06 06:05:09 UTC): it stays\r\n"},
      {"another's, without GetTickCount64", Made::byAnother, 500000 * minute, std::nullopt, false, 0, false, true, "when the system started cannot be told for certain without GetTickCount64 (GetTickCount wraps after 49.7 days): it stays\r\n"},
      {"no marker", Made::none, 0, 3600000, false, 0, false, false, " no restart marker\r\n"},
      // A profile that roams: the marker of another computer, which restarts on its own.
      {"another computer's", Made::byThisProgram, 0, 3600000, false, 0, false, true, " restart marker written on another computer (PC-02): none due here, it is left for it\r\n", {L"PC-02"}},
      {"another computer's, this one restarted", Made::byThisProgram, 0, 3600000, true, 0, false, true, "(PC-02): none due here", {L"PC-02"}},
      {"ours restarted since, another computer's too", Made::byThisProgram, 0, 3600000, true, 0, false, true, " restart marker: this computer's value deleted; the marker stays for PC-02\r\n", {L"PC-02", L"PC-01"}},
      // clang-format on
  };
  for (const auto& row : rows) {
    FakePlatform platform;
    {
      for (const std::wstring& computer : row.writtenOn) {
        platform.computer.value = computer;
        RunContext earlier(platform);
        if (row.made == Made::byThisProgram) createRestartMarker(earlier);
      }
      platform.computer.value = L"PC-01";
    }
    if (row.made == Made::byAnother) {
      platform.userKeys.insert(kMarker);
      platform.keyWriteTimes[kMarker] = platform.now - row.writtenAgo;
    }
    if (row.startKeyLasting) platform.volatileMachineKeys.clear();
    if (row.restartedSince) platform.restartTheSystem();
    platform.now += row.clockStep;
    platform.sinceStart = row.sinceStart;
    RunContext run(platform);
    RunLog log(platform, L"");
    const AttachedLog attached(run, log);
    forgetStaleRestartMarker(run);
    EXPECT_EQ(platform.markerPresent(), row.stays) << row.name;
    for (const std::wstring& computer : row.writtenOn) {  // only this computer's goes
      if (row.made != Made::byThisProgram) break;
      const bool gone = computer == L"PC-01" && row.restartedSince && !row.startKeyLasting;
      EXPECT_EQ(platform.userValues.count(kMarker + L"|SystemStart " + computer), gone ? 0u : 1u)
          << row.name;
    }
    const std::string written = platform.files[log.path()];
    EXPECT_NE(written.find(row.logged), std::string::npos) << row.name << ": " << written;
  }
}

// A marker this computer wrote without the start's mark is judged by the
// clock, whatever other computers' values are in it.
TEST(RestartMarker, OtherComputersValuesNeverHideThisOnes) {
  struct Row {
    const char* name;
    std::function<void(FakePlatform&)> here;
  };
  const std::vector<Row> rows = {
      {"this start cannot be told", [](FakePlatform& p) { p.volatileMachineKeys.clear(); }},
      // Whose it is cannot be told: judged by the clock, written after the start.
      {"this computer's name cannot be read", [](FakePlatform& p) { p.computer.error = 5; }},
  };
  for (const Row& row : rows) {
    FakePlatform platform;
    platform.computer.value = L"PC-02";
    {
      RunContext elsewhere(platform);
      createRestartMarker(elsewhere);
    }
    platform.computer.value = L"PC-01";
    row.here(platform);
    RunContext run(platform);
    createRestartMarker(run);
    EXPECT_EQ(judgeRestartMarker(run).kind, MarkerState::Kind::due) << row.name;
  }
}

// Stale by the clock where this computer's name cannot be read: no restart
// is due here, and other computers' values stay for them.
TEST(RestartMarker, AStaleMarkerOfOthersAsksNothingWhereTheNameIsUnknown) {
  FakePlatform platform;
  platform.computer.value = L"PC-02";
  {
    RunContext elsewhere(platform);
    createRestartMarker(elsewhere);
  }
  platform.computer.error = 5;
  platform.keyWriteTimes[kMarker] = platform.now - 72000000000ull;
  RunContext run(platform);
  EXPECT_EQ(forgetStaleRestartMarker(run).kind, MarkerState::Kind::absent);
  EXPECT_TRUE(platform.markerPresent());
}

TEST(RestartMarker, DeletingAMissingMarkerFails) {
  FakePlatform platform;
  RunContext run(platform);
  EXPECT_EQ(deleteRestartMarker(run), 2u);
  EXPECT_FALSE(platform.markerPresent());
}

}  // namespace
}  // namespace eldoris::testing
