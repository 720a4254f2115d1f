#include <gtest/gtest.h>

#include "driver/os_check.h"
#include "fake_platform.h"
#include "messages/message_ids.h"

namespace eldoris::testing {
namespace {

struct VersionRow {
  std::uint32_t major, minor;
  std::uint16_t servicePack;
  InstallerResult result;
  MessageId message;  // 0: none
};

TEST(CheckOperatingSystem, RefusesOldSystemsAndServicePacks) {
  const std::vector<VersionRow> rows = {
      {4, 0, 6, 6, 116}, {4, 10, 0, 6, 116}, {5, 0, 3, 3, 117}, {5, 0, 4, 0, 0},
      {5, 1, 1, 4, 118}, {5, 1, 2, 0, 0},    {5, 1, 3, 0, 0},   {5, 2, 1, 5, 119},
      {5, 2, 2, 0, 0},   {5, 3, 0, 0, 0},    {6, 0, 0, 0, 0},   {6, 1, 1, 0, 0},
      {10, 0, 0, 0, 0},  {3, 51, 5, 6, 116},
  };
  for (const auto& row : rows) {
    for (const auto& [silent, seen] : {std::pair{false, true}, {true, true}, {false, false}}) {
      FakePlatform platform;
      RunContext run(platform);
      platform.version = OsVersion{row.major, row.minor, row.servicePack};
      run.desktopVisible = seen;
      const std::string label = std::to_string(row.major) + "." + std::to_string(row.minor) +
                                " SP" + std::to_string(row.servicePack) +
                                (silent ? " silent" : "") + (seen ? "" : " unseen");
      EXPECT_EQ(checkOperatingSystem(run, silent), row.result) << label;
      // The refusal of a system older than Windows 2000 is shown even when
      // silent; where nobody sees it, none is.
      const bool shown = seen && row.message != 0 && (!silent || row.message == msg::windowsTooOld);
      ASSERT_EQ(platform.boxes.size(), shown ? 1u : 0u) << label;
      if (shown) {
        EXPECT_EQ(platform.boxes[0].text, text(row.message)) << label;
        EXPECT_EQ(platform.boxes[0].caption, L"Тальвер Эльдорис") << label;
        EXPECT_EQ(platform.boxes[0].style, 0x10u) << label;
      }
    }
  }
}

// Windows NT 4.0 before SP6 refuses the extended record: the basic one is
// read, and the system refused as what it is.
TEST(CheckOperatingSystem, WithoutTheExtendedRecordTheBasicOneDecides) {
  struct Row {
    std::optional<OsVersion> basic;
    InstallerResult result;
    MessageId message;
  };
  const std::vector<Row> rows = {
      {OsVersion{4, 0, 5}, windowsTooOldResult, msg::windowsTooOld},
      {OsVersion{5, 0, 4}, 3, msg::windows2000NeedsSp4},  // its service pack unknown: 0
      {OsVersion{6, 1, 1}, 0, 0},
      {std::nullopt, 2, msg::versionUnreadable},
  };
  for (const auto& row : rows) {
    for (const bool silent : {false, true}) {
      FakePlatform platform;
      RunContext run(platform);
      platform.version.reset();
      platform.basicVersion = row.basic;
      EXPECT_EQ(checkOperatingSystem(run, silent), row.result);
      const bool shown = row.message != 0 && (!silent || row.message == msg::windowsTooOld);
      ASSERT_EQ(platform.boxes.size(), shown ? 1u : 0u);
      if (shown) {
        EXPECT_EQ(platform.boxes[0].text, text(row.message));
      }
    }
  }
}

// GetVersionExW answers 6.2 from Windows 8.1 on; the log shows the kernel's.
TEST(CheckOperatingSystem, TheLogNamesTheKernelsVersionWhereItDiffers) {
  const OsVersion eight{6, 2, 0, false, 9200};
  const std::vector<std::pair<std::optional<OsVersion>, std::wstring>> rows = {
      {OsVersion{10, 0, 0, false, 22631},
       L"; the system is 10.0.22631 (RtlGetVersion: the manifest names no Windows after 7)"},
      {OsVersion{6, 3, 0, false, 9600},
       L"; the system is 6.3.9600 (RtlGetVersion: the manifest names no Windows after 7)"},
      {OsVersion{6, 2, 0, false, 9200}, L""},
      {std::nullopt, L""},  // Windows NT 4.0 lacks RtlGetVersion
  };
  for (const auto& [kernel, note] : rows) EXPECT_EQ(kernelVersionNote(eight, kernel), note);
  EXPECT_EQ(kernelVersionNote(std::nullopt, rows[0].first), L"");
}

}  // namespace
}  // namespace eldoris::testing
