#include <gtest/gtest.h>

#include "fake_platform.h"
#include "logfiles/folder_trust.h"

namespace eldoris::testing {
namespace {

using Kind = AccessEntry::Kind;

// Rights and entry flags as Windows writes them.
constexpr std::uint32_t full = 0x1F01FF, modify = 0x1301BF, readExecute = 0x1200A9;
constexpr std::uint32_t appendOrAddFolder = 0x4, addFileOrFolder = 0x6;
constexpr std::uint8_t thisOnly = 0, folderAndBelow = 0x3, inherited = 0x13, belowOnly = 0x0B;

const std::wstring running = L"S-1-5-21-7-8-9-1001";  // the account the run is
const std::wstring aUser = L"S-1-5-21-7-8-9-1104";    // another, a standard user
const std::wstring trustedInstaller = trustedInstallerSid;

FolderLook folder(const std::wstring& owner, std::vector<AccessEntry> entries) {
  return folderOwnedBy(owner, std::move(entries));
}

// The access lists an administrator meets (as Windows 10 gives them; the two
// tools' log folders as they are expected to be, which the run checks on
// every machine); then what Wine reports for a folder of mode 755 and 777.
TEST(FolderTrust, TheAccessListsThatMatter) {
  const FolderRole logs = FolderRole::holdsTheLogs, path = FolderRole::onThePath;
  struct Row {
    const char* name;
    FolderLook look;
    FolderRole role;
    const char* distrust;  // its beginning; "" where the folder may be used
  };
  const std::vector<Row> rows = {
      // clang-format off
      {"C:\\ on the path", folder(systemSid, {{Kind::allow, administratorsSid, full, folderAndBelow}, {Kind::allow, systemSid, full, folderAndBelow}, {Kind::allow, L"S-1-5-32-545", readExecute, folderAndBelow}, {Kind::allow, L"S-1-5-11", appendOrAddFolder, thisOnly}, {Kind::allow, L"S-1-5-11", modify, belowOnly}, {Kind::allow, L"S-1-3-0", full, belowOnly}}), path, ""},
      {"C:\\ holding the logs", folder(systemSid, {{Kind::allow, L"S-1-5-11", appendOrAddFolder, thisOnly}}), logs, "S-1-5-11 (Authenticated Users) may add files"},
      {"Explorer's folder under C:\\", folder(administratorsSid, {{Kind::allow, systemSid, full, inherited}, {Kind::allow, administratorsSid, full, inherited}, {Kind::allow, L"S-1-5-32-545", readExecute, inherited}, {Kind::allow, L"S-1-5-11", modify, inherited}, {Kind::allow, L"S-1-3-0", full, 0x1B}}), path, "S-1-5-11 (Authenticated Users) may rename or delete it"},
      {"C:\\ProgramData on the path", folder(systemSid, {{Kind::allow, systemSid, full, folderAndBelow}, {Kind::allow, administratorsSid, full, folderAndBelow}, {Kind::allow, L"S-1-3-0", full, belowOnly}, {Kind::allow, L"S-1-5-32-545", readExecute, folderAndBelow}, {Kind::allow, L"S-1-5-32-545", addFileOrFolder, 0x2}}), path, ""},
      {"a folder under C:\\ProgramData that a user made", folder(aUser, {{Kind::allow, aUser, full, inherited}}), logs, "it is owned by S-1-5-21-7-8-9-1104"},
      {"Intune's log folder", folder(systemSid, {{Kind::allow, systemSid, full, inherited}, {Kind::allow, administratorsSid, full, inherited}, {Kind::allow, L"S-1-5-32-545", readExecute, inherited}}), logs, ""},
      {"Configuration Manager's log folder", folder(trustedInstaller, {{Kind::allow, trustedInstaller, full, thisOnly}, {Kind::allow, systemSid, modify, inherited}, {Kind::allow, administratorsSid, full, inherited}, {Kind::allow, L"S-1-5-32-545", readExecute, inherited}, {Kind::allow, L"S-1-3-0", full, 0x1B}}), logs, ""},
      {"a share writable by Domain Computers", folder(administratorsSid, {{Kind::allow, administratorsSid, full, folderAndBelow}, {Kind::allow, L"S-1-5-21-11-22-33-515", modify, folderAndBelow}}), logs, "S-1-5-21-11-22-33-515 (Domain Computers) may rename"},
      {"Users may change the files made in it", folder(administratorsSid, {{Kind::allow, L"S-1-5-32-545", modify, 0x09}}), logs, "S-1-5-32-545 (Users) may change or delete the files"},
      {"... which does not matter on the path", folder(administratorsSid, {{Kind::allow, L"S-1-5-32-545", modify, 0x09}}), path, ""},
      {"others may write its attributes, so make an empty one a link", folder(administratorsSid, {{Kind::allow, L"S-1-5-32-545", 0x100, thisOnly}}), logs, "S-1-5-32-545 (Users) may add files or folders to it"},
      {"a network drive", {0, true, false, true, administratorsSid, false, {}}, path, "it is on a network drive"},
      {"a folder of the run's own account", folder(running, {{Kind::allow, running, full, folderAndBelow}}), logs, ""},
      {"a deny entry grants nothing", folder(administratorsSid, {{Kind::deny, L"S-1-1-0", full, folderAndBelow}}), logs, ""},
      {"an entry of a kind not read", folder(administratorsSid, {{Kind::other, L"", 0, 0}}), logs, "its access list holds an entry"},
      {"no access list", {0, true, false, false, administratorsSid, true, {}}, path, "it has no access list"},
      {"a junction", {0, true, true, false, administratorsSid, false, {}}, path, "it is a junction"},
      {"a file", {0, false, false, false, administratorsSid, false, {}}, path, "it is not a folder"},
      {"unreadable", {5, true, false, false, L"", false, {}}, path, "who may change it cannot be read (Windows error 5)"},
      {"Wine, mode 755", folder(running, {{Kind::allow, systemSid, full, 0x3}, {Kind::allow, running, full, 0x3}, {Kind::allow, L"S-1-1-0", readExecute, 0x3}}), logs, ""},
      {"Wine, mode 777", folder(running, {{Kind::allow, systemSid, full, 0x3}, {Kind::allow, running, full, 0x3}, {Kind::allow, L"S-1-1-0", 0x1301FF, 0x3}}), logs, "S-1-1-0 (Everyone) may rename"},
      // clang-format on
  };
  for (const auto& row : rows) {
    const std::wstring why = folderDistrust(row.look, row.role, running);
    const std::wstring expected(row.distrust,
                                row.distrust + std::char_traits<char>::length(row.distrust));
    if (expected.empty()) {
      EXPECT_TRUE(why.empty()) << row.name << ": " << std::string(why.begin(), why.end());
    } else {
      EXPECT_EQ(why.rfind(expected, 0), 0u)
          << row.name << ": " << std::string(why.begin(), why.end());
    }
  }
  // Without the run's own account (it could not be read), its folder is another's.
  EXPECT_FALSE(folderDistrust(folder(running, {}), logs, L"").empty());
}

}  // namespace
}  // namespace eldoris::testing
