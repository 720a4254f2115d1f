#include "restart/restart_marker.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "messages/run_log.h"

namespace eldoris::testing {
namespace {

const std::wstring kMarker = L"Software\\NeedBstrReboot";

TEST(RestartMarker, IsCreatedFoundAndDeleted) {
  FakePlatform platform;
  RunContext run(platform);
  bool present = true;
  EXPECT_NE(isRestartMarkerPresent(run, present), 0u);
  EXPECT_FALSE(present);

  EXPECT_EQ(createRestartMarker(run), 0u);
  EXPECT_TRUE(platform.markerPresent());
  EXPECT_EQ(isRestartMarkerPresent(run, present), 0u);
  EXPECT_TRUE(present);

  EXPECT_EQ(deleteRestartMarker(run), 0u);
  EXPECT_FALSE(platform.markerPresent());
  EXPECT_EQ(isRestartMarkerPresent(run, present), 2u);
  EXPECT_FALSE(present);
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
  bool present = false;
  EXPECT_EQ(isRestartMarkerPresent(run, present), 0u);
  EXPECT_TRUE(present);
  EXPECT_EQ(deleteRestartMarker(run), 0u);
  EXPECT_EQ(platform.userKeys, std::set<std::wstring>{L"Software"});
}

TEST(RestartMarker, OtherKeysDoNotCount) {
  FakePlatform platform;
  RunContext run(platform);
  platform.userKeys = {L"Software\\NeedBstrReboot2", L"NeedBstrReboot",
                       L"Software\\Other\\NeedBstrReboot"};
  bool present = true;
  EXPECT_NE(isRestartMarkerPresent(run, present), 0u);
  EXPECT_FALSE(present);
  EXPECT_NE(deleteRestartMarker(run), 0u);
  EXPECT_EQ(platform.userKeys.size(), 3u);
}

TEST(RestartMarker, AMarkerWithSubkeysCannotBeDeletedAndStaysPresent) {
  FakePlatform platform;
  RunContext run(platform);
  platform.userKeys = {kMarker, kMarker + L"\\Child"};
  platform.keysWithSubkeys = {kMarker};
  EXPECT_EQ(deleteRestartMarker(run), 5u);
  bool present = false;
  EXPECT_EQ(isRestartMarkerPresent(run, present), 0u);
  EXPECT_TRUE(present);
  EXPECT_TRUE(platform.markerPresent());
}

// KEY_WOW64_32KEY only under WOW64: Windows 2000 refuses the flag.
TEST(RestartMarker, NamesTheViewOnlyWhereThereAreTwo) {
  for (const bool wow64 : {true, false}) {
    FakePlatform platform;
    RunContext run(platform);
    platform.wow64 = wow64;
    bool present = false;
    createRestartMarker(run);
    isRestartMarkerPresent(run, present);
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

// The restart that a marker written before the system started asked for has
// happened; where the start cannot be told for certain, the marker stays.
TEST(RestartMarker, OneWrittenBeforeTheSystemStartedGoes) {
  constexpr std::uint64_t minute = 600000000;  // in FILETIME units
  struct Row {
    const char* name;
    std::optional<std::uint64_t> writtenAgo;  // nothing: no marker
    std::optional<std::uint64_t> sinceStart;  // milliseconds
    bool stays;
    const char* logged;
  };
  const std::vector<Row> rows = {
      // clang-format off
      {"before the start", 61 * minute, 3600000, false, " restart marker written 2026-12-06 06:04:09 UTC, before the system started (2026-12-06 06:05:09 UTC): the restart it asked for has happened; it goes\r\n"},
      {"since the start", 59 * minute, 3600000, true, " restart marker written 2026-12-06 06:06:09 UTC, after the system started (2026-12-06 06:05:09 UTC): it stays\r\n"},
      {"years before", 500000 * minute, 3600000, false, ": the restart it asked for has happened; it goes\r\n"},
      {"without GetTickCount64", 500000 * minute, std::nullopt, true, "when the system started cannot be told for certain without GetTickCount64 (GetTickCount wraps after 49.7 days): it stays\r\n"},
      {"no marker", std::nullopt, 3600000, false, nullptr},
      // clang-format on
  };
  for (const auto& row : rows) {
    FakePlatform platform;
    RunContext run(platform);
    RunLog log(platform, L"");
    const AttachedLog attached(run, log);
    if (row.writtenAgo) {
      platform.userKeys.insert(kMarker);
      platform.keyWriteTimes[kMarker] = platform.now - *row.writtenAgo;
    }
    platform.sinceStart = row.sinceStart;
    forgetStaleRestartMarker(run);
    EXPECT_EQ(platform.markerPresent(), row.stays) << row.name;
    const std::string written = platform.files[log.path()];
    if (row.logged) {
      EXPECT_NE(written.find(row.logged), std::string::npos) << row.name << ": " << written;
    }
  }
}

TEST(RestartMarker, DeletingAMissingMarkerFails) {
  FakePlatform platform;
  RunContext run(platform);
  EXPECT_EQ(deleteRestartMarker(run), 2u);
  EXPECT_FALSE(platform.markerPresent());
}

}  // namespace
}  // namespace eldoris::testing
