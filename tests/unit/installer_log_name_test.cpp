#include <gtest/gtest.h>

#include "fake_platform.h"
#include "installer/log_name.h"
#include "messages/message_ids.h"

namespace eldoris::testing {
namespace {

TEST(FormatTimestamp, PadsEveryFieldToItsWidth) {
  EXPECT_EQ(formatTimestamp(LocalTime{2026, 12, 6, 7, 5, 9}), L"2026-12-06-07-05-09");
  EXPECT_EQ(formatTimestamp(LocalTime{2027, 1, 2, 0, 0, 0}), L"2027-01-02-00-00-00");
  EXPECT_EQ(formatTimestamp(LocalTime{1999, 10, 31, 23, 59, 58}), L"1999-10-31-23-59-58");
}

TEST(FormatTimestamp, EchoesTheTimestampWithALineFeed) {
  FakePlatform platform;
  RunContext run(platform);
  platform.time = {2026, 3, 14, 15, 9, 26};
  EXPECT_EQ(formatTimestamp(platform), L"2026-03-14-15-09-26");
  EXPECT_EQ(platform.standardOutput, std::vector<std::wstring>{L"2026-03-14-15-09-26\n"});
}

struct LogCase {
  const char* name;
  std::wstring tmp;
  std::wstring baseName;
  std::wstring path;
};

TEST(MakeLogPath, JoinsTmpBaseNameAndTimestamp) {
  const std::vector<LogCase> cases = {
      {"provider", L"C:\\Temp", L"csp", L"C:\\Temp\\csp_2026-12-06-07-05-09.log"},
      {"package name kept whole", L"C:\\Users\\user\\AppData\\Local\\Temp", L"velmarix-win32.msi",
       L"C:\\Users\\user\\AppData\\Local\\Temp\\velmarix-win32.msi_2026-12-06-07-05-09.log"},
      {"TMP ending in a backslash", L"C:\\Temp\\", L"ucsp",
       L"C:\\Temp\\\\ucsp_2026-12-06-07-05-09.log"},
      {"TMP taken verbatim", L" D:/tmp ", L"csp", L" D:/tmp \\csp_2026-12-06-07-05-09.log"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    RunContext run(platform);
    platform.environment[L"TMP"] = c.tmp;
    platform.environment[L"TEMP"] = L"E:\\Other";
    std::wstring path = L"earlier";
    EXPECT_EQ(makeLogPath(run, c.baseName, false, path), 0u) << c.name;
    EXPECT_EQ(path, c.path) << c.name;
    EXPECT_EQ(platform.files[c.path], "") << c.name;  // made, empty, before the child is told
    EXPECT_TRUE(platform.boxes.empty()) << c.name;
    EXPECT_EQ(platform.standardOutput, std::vector<std::wstring>{L"2026-12-06-07-05-09\n"})
        << c.name;
  }
}

TEST(MakeLogPath, WithoutTmpShowsMessage144UnlessSilent) {
  for (const bool emptyValue : {false, true}) {
    for (const bool silent : {false, true}) {
      FakePlatform platform;
      RunContext run(platform);
      platform.environment[L"TEMP"] = L"C:\\Temp";
      if (emptyValue) {
        platform.environment[L"TMP"] = L"";
      } else {
        platform.environment.erase(L"TMP");
      }
      std::wstring path = L"earlier";
      EXPECT_EQ(makeLogPath(run, L"csp", silent, path), 203u);
      EXPECT_EQ(path, L"earlier");
      EXPECT_TRUE(platform.standardOutput.empty());
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
}

}  // namespace
}  // namespace eldoris::testing
