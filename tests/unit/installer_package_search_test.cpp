#include <gtest/gtest.h>

#include "fake_platform.h"
#include "installer/package_search.h"

namespace eldoris::testing {
namespace {

using Patterns = std::vector<std::wstring>;

const std::wstring kMask = L"velmarix*x64*";
const std::wstring kUnchanged = L"unchanged";

struct SearchCase {
  const char* name;
  void (*script)(FakePlatform&);
  InstallerResult result;
  std::wstring path;  // kUnchanged when nothing is found
  Patterns searched;
};

TEST(FindPackageFile, SearchesOnlyTheImmediateSubdirectoriesInListingOrder) {
  const std::vector<SearchCase> cases = {
      {"first listed subdirectory wins",
       [](FakePlatform& p) {
         p.addPackage(L"b", L"velmarix-x64.msi");
         p.addPackage(L"a", L"velmarix-x64.msi");
       },
       0,
       L"D:\\setup\\b\\velmarix-x64.msi",
       {L"b\\velmarix*x64*"}},
      {"a subdirectory without a match is passed over",
       [](FakePlatform& p) {
         p.addPackage(L"docs", L"readme.txt");
         p.addPackage(L"x64", L"velmarix-x64.msi");
       },
       0,
       L"D:\\setup\\x64\\velmarix-x64.msi",
       {L"docs\\velmarix*x64*", L"x64\\velmarix*x64*"}},
      {"the first match inside the directory",
       [](FakePlatform& p) {
         p.addPackage(L"x64", L"velmarix-x64-b.msi");
         p.addPackage(L"x64", L"velmarix-x64-a.msi");
       },
       0,
       L"D:\\setup\\x64\\velmarix-x64-b.msi",
       {L"x64\\velmarix*x64*"}},
      {"the root of a drive gives no doubled backslash",
       [](FakePlatform& p) {
         p.currentDir = {0, L"D:\\"};
         p.addPackage(L"x64", L"velmarix-x64.msi");
       },
       0,
       L"D:\\x64\\velmarix-x64.msi",
       {L"x64\\velmarix*x64*"}},
      {"a matching directory counts",
       [](FakePlatform& p) {
         p.tree.push_back({{L"x64", true}, {{L"velmarix-x64", true}}});
       },
       0,
       L"D:\\setup\\x64\\velmarix-x64",
       {L"x64\\velmarix*x64*"}},
      {"any file matches a mask without extension",
       [](FakePlatform& p) {
         p.addPackage(L"docs", L"velmarix-x64-notes.txt");
         p.addPackage(L"x64", L"velmarix-x64.msi");
       },
       0,
       L"D:\\setup\\docs\\velmarix-x64-notes.txt",
       {L"docs\\velmarix*x64*"}},
      {"files beside the dot folders are skipped",
       [](FakePlatform& p) {
         p.addFolder(L"velmarix-x64.msi", false);
         p.addPackage(L".cache", L"velmarix-x64.msi");
         p.addPackage(L"x64", L"velmarix-x64.msi");
       },
       0,
       L"D:\\setup\\x64\\velmarix-x64.msi",
       {L"x64\\velmarix*x64*"}},
      {"only in the current directory",
       [](FakePlatform& p) { p.addFolder(L"velmarix-x64.msi", false); },
       232,
       kUnchanged,
       {}},
      {"a file is never searched as a folder",
       [](FakePlatform& p) {
         p.addFolder(L"bundle", false);
         p.addPackage(L"bundle", L"velmarix-x64.msi");
       },
       232,
       kUnchanged,
       {}},
      {"only in a dot folder",
       [](FakePlatform& p) { p.addPackage(L".hidden", L"velmarix-x64.msi"); },
       232,
       kUnchanged,
       {}},
      {"two levels down",
       [](FakePlatform& p) {
         p.tree.push_back({{L"outer", true}, {{L"x64", true}}});
       },
       232,
       kUnchanged,
       {L"outer\\velmarix*x64*"}},
      {"files only",
       [](FakePlatform& p) {
         p.addFolder(L"setup.exe", false);
         p.addFolder(L"readme.txt", false);
       },
       232,
       kUnchanged,
       {}},
      {"empty", [](FakePlatform&) {}, 232, kUnchanged, {}},
      // A drive's root: Windows' own folders refuse all but the system, unsearched.
      {"a hidden system folder that refuses the search is passed over",
       [](FakePlatform& p) {
         p.tree.push_back({{L"System Volume Information", true, true}, {}});
         p.searchErrors[L"System Volume Information"] = 5;
         p.addPackage(L"x64", L"velmarix-x64.msi");
       },
       0,
       L"D:\\setup\\x64\\velmarix-x64.msi",
       {L"System Volume Information\\velmarix*x64*", L"x64\\velmarix*x64*"}},
      // It may hold the package all the same (the media's own hidden folder).
      {"a hidden system folder whose search fails otherwise ends it",
       [](FakePlatform& p) {
         p.tree.push_back({{L"Media", true, true}, {}});
         p.searchErrors[L"Media"] = 21;  // ERROR_NOT_READY
         p.addPackage(L"x64", L"velmarix-x64.msi");
       },
       21,
       kUnchanged,
       {L"Media\\velmarix*x64*"}},
      {"a link to nothing holds nothing",
       [](FakePlatform& p) {
         p.tree.push_back({{L"old", true, false, true}, {}});
         p.searchErrors[L"old"] = 3;
         p.addPackage(L"x64", L"velmarix-x64.msi");
       },
       0,
       L"D:\\setup\\x64\\velmarix-x64.msi",
       {L"old\\velmarix*x64*", L"x64\\velmarix*x64*"}},
      // It may hold the package: a later folder's is not taken instead.
      {"a folder gone since the listing ends it",
       [](FakePlatform& p) {
         p.addFolder(L"moved");
         p.searchErrors[L"moved"] = 3;
         p.addPackage(L"x64", L"velmarix-x64.msi");
       },
       1627,  // 3 would read as a missing service pack
       kUnchanged,
       {L"moved\\velmarix*x64*"}},
      {"a folder that refuses the search ends it",
       [](FakePlatform& p) {
         p.addFolder(L"private");
         p.searchErrors[L"private"] = 5;
         p.addPackage(L"x64", L"velmarix-x64.msi");
       },
       1627,  // 5 would read as a missing service pack
       kUnchanged,
       {L"private\\velmarix*x64*"}},
      // A failure is no "no package": its own code.
      {"listing fails",
       [](FakePlatform& p) {
         p.addPackage(L"x64", L"velmarix-x64.msi");
         p.listingFails = true;
       },
       1627,
       kUnchanged,
       {}},
      {"current directory unreadable",
       [](FakePlatform& p) {
         p.addPackage(L"x64", L"velmarix-x64.msi");
         p.addPackage(L"y64", L"velmarix-x64.msi");
         p.currentDir = {5, L""};
       },
       1627,  // 5 would read as a missing service pack
       kUnchanged,
       {L"x64\\velmarix*x64*"}},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    RunContext run(platform);
    c.script(platform);
    std::wstring path = kUnchanged;
    EXPECT_EQ(findPackageFile(run, kMask, path), c.result) << c.name;
    EXPECT_EQ(path, c.path) << c.name;
    EXPECT_EQ(platform.searchedPatterns, c.searched) << c.name;
  }
}

TEST(FindPackageFile, UsesTheMaskGiven) {
  FakePlatform platform;
  RunContext run(platform);
  platform.addPackage(L"x64", L"velmarix-x64.msi");
  platform.addPackage(L"win32", L"velmarix-win32.msi");
  std::wstring path;
  EXPECT_EQ(findPackageFile(run, L"velmarix*win32*", path), 0u);
  EXPECT_EQ(path, L"D:\\setup\\win32\\velmarix-win32.msi");
  EXPECT_EQ(platform.searchedPatterns,
            (Patterns{L"x64\\velmarix*win32*", L"win32\\velmarix*win32*"}));
}

}  // namespace
}  // namespace eldoris::testing
