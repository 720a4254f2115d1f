#include "restart/restart_marker.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace eldoris::testing {
namespace {

const std::wstring kMarker = L"Software\\NeedBstrReboot";

TEST(RestartMarker, IsCreatedFoundAndDeleted) {
  FakePlatform platform;
  bool present = true;
  EXPECT_NE(isRestartMarkerPresent(platform, present), 0u);
  EXPECT_FALSE(present);

  EXPECT_EQ(createRestartMarker(platform), 0u);
  EXPECT_TRUE(platform.markerPresent());
  EXPECT_EQ(isRestartMarkerPresent(platform, present), 0u);
  EXPECT_TRUE(present);

  EXPECT_EQ(deleteRestartMarker(platform), 0u);
  EXPECT_FALSE(platform.markerPresent());
  EXPECT_EQ(isRestartMarkerPresent(platform, present), 2u);
  EXPECT_FALSE(present);
}

TEST(RestartMarker, CreatingItAgainKeepsIt) {
  FakePlatform platform;
  EXPECT_EQ(createRestartMarker(platform), 0u);
  EXPECT_EQ(createRestartMarker(platform), 0u);
  EXPECT_EQ(platform.userKeys, std::set<std::wstring>{kMarker});
}

TEST(RestartMarker, AFailedCreateReturnsItsCode) {
  FakePlatform platform;
  platform.createKeyResult = 5;
  EXPECT_EQ(createRestartMarker(platform), 5u);
  EXPECT_FALSE(platform.markerPresent());
}

TEST(RestartMarker, AKeyMadeByHandCounts) {
  FakePlatform platform;
  platform.userKeys = {L"Software", kMarker};
  bool present = false;
  EXPECT_EQ(isRestartMarkerPresent(platform, present), 0u);
  EXPECT_TRUE(present);
  EXPECT_EQ(deleteRestartMarker(platform), 0u);
  EXPECT_EQ(platform.userKeys, std::set<std::wstring>{L"Software"});
}

TEST(RestartMarker, OtherKeysDoNotCount) {
  FakePlatform platform;
  platform.userKeys = {L"Software\\NeedBstrReboot2", L"NeedBstrReboot",
                       L"Software\\Other\\NeedBstrReboot"};
  bool present = true;
  EXPECT_NE(isRestartMarkerPresent(platform, present), 0u);
  EXPECT_FALSE(present);
  EXPECT_NE(deleteRestartMarker(platform), 0u);
  EXPECT_EQ(platform.userKeys.size(), 3u);
}

TEST(RestartMarker, AMarkerWithSubkeysCannotBeDeletedAndStaysPresent) {
  FakePlatform platform;
  platform.userKeys = {kMarker, kMarker + L"\\Child"};
  platform.keysWithSubkeys = {kMarker};
  EXPECT_EQ(deleteRestartMarker(platform), 5u);
  bool present = false;
  EXPECT_EQ(isRestartMarkerPresent(platform, present), 0u);
  EXPECT_TRUE(present);
  EXPECT_TRUE(platform.markerPresent());
}

// KEY_WOW64_32KEY only under WOW64: Windows 2000 refuses the flag.
TEST(RestartMarker, NamesTheViewOnlyWhereThereAreTwo) {
  for (const bool wow64 : {true, false}) {
    FakePlatform platform;
    platform.wow64 = wow64;
    bool present = false;
    createRestartMarker(platform);
    isRestartMarkerPresent(platform, present);
    deleteRestartMarker(platform);
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

TEST(RestartMarker, DeletingAMissingMarkerFails) {
  FakePlatform platform;
  EXPECT_EQ(deleteRestartMarker(platform), 2u);
  EXPECT_FALSE(platform.markerPresent());
}

}  // namespace
}  // namespace eldoris::testing
