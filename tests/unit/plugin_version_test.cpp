#include <gtest/gtest.h>

#include <algorithm>

#include "fake_platform.h"
#include "messages/message_ids.h"
#include "plugin/install_plugin.h"
#include "plugin/package_version.h"
#include "plugin/version_order.h"

namespace eldoris::testing {
namespace {

const std::wstring kProduct = L"{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}";

struct OrderCase {
  std::wstring package;
  std::wstring installed;
  int order;
};

TEST(CompareVersionTexts, ComparesDottedDecimalFieldsAsNumbers) {
  const std::vector<OrderCase> cases = {
      {L"2.0.13000", L"2.0.13000", 0},
      {L"2.0.10", L"2.0.9", 1},
      {L"2.0.9", L"2.0.10", -1},
      {L"10.0", L"9.9.9", 1},
      {L"1.0.1", L"1.0", 1},
      {L"1.0", L"1.0.1", -1},
      {L"1.0", L"1.0.0", 0},
      {L"1.0.0.0", L"1", 0},
      {L"1.00", L"1.0", 0},
      {L"01.2", L"1.2", 0},
      {L"1.2.0.1", L"1.2", 1},
      {L"99999999999999999999.1", L"99999999999999999998.9", 1},
      {L"18446744073709551616", L"18446744073709551615", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(compareVersionTexts(c.package, c.installed), c.order)
        << "package " << ::testing::PrintToString(c.package) << " installed "
        << ::testing::PrintToString(c.installed);
  }
}

TEST(CompareVersionTexts, ComparesCodeUnitsWhenEitherTextIsNotDottedDecimal) {
  const std::vector<OrderCase> cases = {
      {L"2.0.10a", L"2.0.9", -1},                         // '1' before '9'
      {L"2.0.9", L"2.0.10 ", 1},                          // a trailing space is not a version
      {L"v10", L"v9", -1},        {L"1..0", L"1.0", -1},  // '.' before '0'
      {L"1.0.", L"1.0", 1},                               // the longer text after its beginning
      {L".1", L"0.1", -1},        {L"1.0 beta", L"1.0 beta", 0},
      {L"1.0", L"1.0 beta", -1},  {L"1.0-rc", L"1.0-RC", 1},  // no case folding
      {L"\u044f", L"z", 1},                                   // code units are unsigned
      {L"\uff10", L"9", 1},                                   // only ASCII digits make a field
  };
  for (const auto& c : cases) {
    EXPECT_EQ(compareVersionTexts(c.package, c.installed), c.order)
        << "package " << ::testing::PrintToString(c.package) << " installed "
        << ::testing::PrintToString(c.installed);
  }
}

TEST(CompareVersionTexts, AnEmptyTextSortsFirstAndEqualsOnlyAnotherEmptyOne) {
  EXPECT_EQ(compareVersionTexts(L"", L"2.0.9"), -1);
  EXPECT_EQ(compareVersionTexts(L"", L"0"), -1);
  EXPECT_EQ(compareVersionTexts(L"2.0.9", L""), 1);
  EXPECT_EQ(compareVersionTexts(L"", L""), 0);
}

TEST(ComparePackageVersion, OrdersThePackageAgainstTheInstalledProduct) {
  const std::vector<OrderCase> cases = {
      {L"2.0.13000", L"2.0.13000", 0}, {L"2.0.10", L"2.0.9", 1}, {L"2.0.9", L"2.0.10", -1},
      {L"1.0.1", L"1.0", 1},           {L"", L"2.0.9", -1},      {L"", L"", 0},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    RunContext run(platform);
    platform.addPackage(L"x64", L"velmarix-x64.msi");
    platform.installedVersion = {0, c.installed};
    platform.packageVersion = {0, c.package};
    int order = 77;
    std::wstring installed;
    EXPECT_EQ(comparePackageVersion(run, kProduct, L"velmarix*x64*", order, installed), 0u);
    EXPECT_EQ(order, c.order) << ::testing::PrintToString(c.package);
    EXPECT_EQ(installed, c.installed);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(platform.openedPackages,
              std::vector<std::wstring>{L"D:\\setup\\x64\\velmarix-x64.msi"});
    EXPECT_EQ(platform.openHandles, 0);
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "msiCloseHandle"), 1);
  }
}

TEST(ComparePackageVersion, ReadsThePackageThatWillBeInstalled) {
  // win32 is listed before x64: a 64-bit system still reads the x64 build.
  for (const bool wow64 : {false, true}) {
    FakePlatform platform;
    RunContext run(platform);
    platform.wow64 = wow64;
    platform.productState = 5;
    platform.addPackage(L"docs", L"velmarix-notes.txt");
    platform.addPackage(L"win32", L"velmarix-win32.msi");
    platform.addPackage(L"x64", L"velmarix-x64.msi");
    std::wstring logPath;
    EXPECT_EQ(installPlugin(run, L"", true, logPath, true), 0u);
    const std::wstring package =
        wow64 ? L"D:\\setup\\x64\\velmarix-x64.msi" : L"D:\\setup\\win32\\velmarix-win32.msi";
    EXPECT_EQ(platform.openedPackages, std::vector<std::wstring>{package});
    ASSERT_EQ(platform.commandLines.size(), 1u);
    EXPECT_NE(platform.commandLines[0].find(L"/i \"" + package + L"\""), std::wstring::npos);
  }
}

struct FailureCase {
  const char* name;
  void (*script)(FakePlatform&);
  InstallerResult result;
  MessageId message;
  bool searched;
  bool opened;
};

const std::vector<FailureCase>& failures() {
  static const std::vector<FailureCase> cases = {
      {"installed version",
       [](FakePlatform& p) {
         p.installedVersion = {1605, L""};
       },
       1605, msg::installedVersionUnreadable, false, false},
      {"no package",
       [](FakePlatform& p) {
         p.tree = {{{L"x64", true}, {}}};
       },
       232, msg::packageNotFound, true, false},
      {"current directory",
       [](FakePlatform& p) {
         p.currentDir = {8, L""};
       },
       14, msg::packageNotFound, true, false},
      {"open", [](FakePlatform& p) { p.openResult = 1619; }, 1619, msg::packageNotOpened, true,
       true},
      // Another installation in progress: 1618 as it is, which tools retry.
      {"open, the installer busy", [](FakePlatform& p) { p.openResult = 1618; }, 1618,
       msg::packageNotOpened, true, true},
      // The installer's 6 would read as Windows older than 2000.
      {"package version, an invalid handle",
       [](FakePlatform& p) {
         p.packageVersion = {6, L""};
       },
       1627, msg::packageVersionUnreadable, true, true},
      {"package version",
       [](FakePlatform& p) {
         p.packageVersion = {1627, L""};
       },
       1627, msg::packageVersionUnreadable, true, true},
  };
  return cases;
}

void expectFailureShown(const FakePlatform& platform, const FailureCase& c) {
  ASSERT_EQ(platform.boxes.size(), 1u) << c.name;
  EXPECT_EQ(platform.boxes[0].text, text(c.message)) << c.name;
  EXPECT_EQ(platform.boxes[0].caption, L"Ошибка") << c.name;
  EXPECT_EQ(platform.boxes[0].style, box::iconError) << c.name;
  EXPECT_EQ(platform.searchedPatterns.empty(), !c.searched) << c.name;
  EXPECT_EQ(platform.openedPackages.empty(), !c.opened) << c.name;
  EXPECT_EQ(platform.openHandles, 0) << c.name;
  const auto closes = std::count(platform.calls.begin(), platform.calls.end(), "msiCloseHandle");
  EXPECT_EQ(closes, c.message == msg::packageVersionUnreadable ? 1 : 0) << c.name;
}

TEST(ComparePackageVersion, ShowsEachFailureAndReturnsItsCode) {
  for (const auto& c : failures()) {
    FakePlatform platform;
    RunContext run(platform);
    platform.addPackage(L"x64", L"velmarix-x64.msi");
    c.script(platform);
    int order = 77;
    std::wstring installed;
    EXPECT_EQ(comparePackageVersion(run, kProduct, L"velmarix*x64*", order, installed), c.result)
        << c.name;
    EXPECT_EQ(order, 77) << c.name;
    expectFailureShown(platform, c);
  }
}

TEST(ComparePackageVersion, ShowsItsFailuresAlsoWhenTheRunIsSilent) {
  for (const auto& c : failures()) {
    for (const bool seen : {true, false}) {
      FakePlatform platform;
      RunContext run(platform);
      platform.addPackage(L"x64", L"velmarix-x64.msi");
      platform.productState = 5;
      run.desktopVisible = seen;
      c.script(platform);
      std::wstring logPath;
      EXPECT_EQ(installPlugin(run, L"", true, logPath, false), c.result) << c.name;
      if (seen) {
        expectFailureShown(platform, c);
      } else {  // nobody could press its OK: taken as pressed, the same code
        EXPECT_TRUE(platform.boxes.empty()) << c.name;
      }
      EXPECT_TRUE(platform.commandLines.empty()) << c.name;
    }
  }
}

}  // namespace
}  // namespace eldoris::testing
