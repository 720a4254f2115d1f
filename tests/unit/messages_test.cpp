#include "messages/messages.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fake_platform.h"
#include "logfiles/folder_trust.h"
#include "messages/audience.h"
#include "messages/message_ids.h"
#include "messages/run_log.h"

namespace eldoris::testing {
namespace {

std::vector<std::uint8_t> units(std::initializer_list<unsigned> values) {
  std::vector<std::uint8_t> bytes;
  for (unsigned v : values) {
    bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  return bytes;
}

TEST(StringBlockWalk, FindsEachEntryAfterSkippingTheOnesBefore) {
  // Entries: "AB", absent, "C".
  const auto block = units({2, 'A', 'B', 0, 1, 'C'});
  EXPECT_EQ(findStringInBlock(block.data(), block.size(), 0), L"AB");
  EXPECT_EQ(findStringInBlock(block.data(), block.size(), 1), std::nullopt);
  EXPECT_EQ(findStringInBlock(block.data(), block.size(), 2), L"C");
}

TEST(StringBlockWalk, EntriesPastTheEndOfTheBlockAreAbsent) {
  const auto block = units({2, 'A', 'B', 0, 1, 'C'});
  EXPECT_EQ(findStringInBlock(block.data(), block.size(), 3), std::nullopt);
  EXPECT_EQ(findStringInBlock(block.data(), block.size(), 15), std::nullopt);
  EXPECT_EQ(findStringInBlock(block.data(), 0, 0), std::nullopt);
}

TEST(StringBlockWalk, AnEntryWhoseTextRunsPastTheBlockIsAbsent) {
  const auto block = units({1, 'A', 9, 'x', 'y'});
  EXPECT_EQ(findStringInBlock(block.data(), block.size(), 0), L"A");
  EXPECT_EQ(findStringInBlock(block.data(), block.size(), 1), std::nullopt);
  // A skip length that leaps past the end, and an odd trailing byte.
  const auto leap = units({0xFFFF, 'A'});
  EXPECT_EQ(findStringInBlock(leap.data(), leap.size(), 1), std::nullopt);
  auto odd = units({1, 'Z'});
  odd.push_back(7);
  EXPECT_EQ(findStringInBlock(odd.data(), odd.size(), 0), L"Z");
  EXPECT_EQ(findStringInBlock(odd.data(), odd.size(), 1), std::nullopt);
}

TEST(LoadMessage, ReadsIdsFromTheirBlockAndPosition) {
  FakePlatform platform;
  std::wstring message;
  EXPECT_EQ(loadMessage(platform, msg::productTitle, message), 0u);
  EXPECT_EQ(message, L"Тальвер Эльдорис");
  EXPECT_EQ(loadMessage(platform, msg::sameVersionReinstall, message), 0u);
  EXPECT_EQ(message, L"Эта версия Тальвер Эльдорис уже установлена. Переустановить?");
  EXPECT_EQ(loadMessage(platform, msg::systemDirectoryUnreadable, message), 0u);
  EXPECT_EQ(message, L"Невозможно узнать путь системной директории.");
}

TEST(LoadMessage, AnAbsentIdLeavesTheTextAsItWas) {
  FakePlatform platform;
  for (const MessageId absent : {115, 132, 140, 141, 151, 9000}) {
    std::wstring message = L"before";
    EXPECT_EQ(loadMessage(platform, static_cast<MessageId>(absent), message), 1814u) << absent;
    EXPECT_EQ(message, L"before") << absent;
  }
}

TEST(LoadMessage, EveryTextOfTheTableRoundTripsThroughItsBlock) {
  FakePlatform platform;
  ASSERT_EQ(realMessages().size(), 48u);
  for (const auto& [id, expected] : realMessages()) {
    std::wstring message;
    EXPECT_EQ(loadMessage(platform, id, message), 0u) << id;
    EXPECT_EQ(message, expected) << id;
  }
}

struct FailureCase {
  const char* name;
  InstallerResult result;
  std::wstring logPath;
  const char* logContent;  // nullptr: no log there
  std::wstring expectedTail;
};

TEST(ComposeFailureText, AddsTheCodeAndTheLogOnlyWhenSomethingIsInIt) {
  const std::wstring log = L"C:\\Temp\\velmarix-x64.msi_2026-12-06-07-05-09.log";
  const std::vector<FailureCase> cases = {
      {"written log", 1603, log, "MSI (s)", L": 1603.\nInstall log: " + log},
      {"empty path", 1603, L"", nullptr, L": 1603.\n"},
      {"missing log", 1603, log, nullptr, L": 1603.\n"},
      {"log left empty", 1603, log, "", L": 1603.\n"},
      {"all bits set", 0xFFFFFFFFu, L"", nullptr, L": 4294967295.\n"},
      {"question mark", 5, L"C:\\Temp\\a?.log", "x", L": 5.\n"},
      {"asterisk", 5, L"C:\\Temp\\*.log", "x", L": 5.\n"},
      {"zero", 0, L"", nullptr, L": 0.\n"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    if (c.logContent) platform.files[c.logPath] = c.logContent;
    std::wstring composed;
    composeFailureText(platform, msg::pluginInstallFailed, c.result, c.logPath, composed);
    EXPECT_EQ(composed, text(msg::pluginInstallFailed) + c.expectedTail) << c.name;
  }
}

// Never another box's text in its place: the code alone.
TEST(ComposeFailureText, AnAbsentMessageLeavesTheCodeAlone) {
  FakePlatform platform;
  platform.setTable({});
  std::wstring composed = L"earlier";
  composeFailureText(platform, msg::providerSetupFailed, 2, L"", composed);
  EXPECT_EQ(composed, L"2.\n");
}

TEST(RunLog, TakesTheFirstFreeNameAndLeavesTakenOnesAlone) {
  FakePlatform platform;
  const std::wstring taken = L"C:\\Temp\\eldoris-setup_2026-12-06-07-05-09";
  platform.files[taken + L".log"] = "planted";
  platform.files[taken + L"-2.log"] = "planted too";
  RunLog log(platform, L"");
  log.write(L"Установить? ⏎");
  EXPECT_EQ(log.path(), taken + L"-3.log");
  EXPECT_EQ(platform.files[taken + L".log"], "planted");
  EXPECT_EQ(platform.files[taken + L"-2.log"], "planted too");
  EXPECT_EQ(platform.files[log.path()],
            "\xEF\xBB\xBF"
            "2026-12-06 07:05:09.000 "
            "\xD0\xA3\xD1\x81\xD1\x82\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2\xD0\xB8\xD1\x82\xD1\x8C? "
            "\xE2\x8F\x8E\r\n");
}

TEST(RunLog, WithoutTmpThereIsNone) {
  for (const bool empty : {false, true}) {
    FakePlatform platform;
    if (empty) {
      platform.environment[L"TMP"] = L"";
    } else {
      platform.environment.erase(L"TMP");
    }
    RunLog log(platform, L"");
    log.write(L"dropped");
    EXPECT_TRUE(log.path().empty());
    EXPECT_TRUE(platform.files.empty());
  }
}

// -log: where the administrator says, folders made, a file there kept once
// and replaced; a link, or a log that another run still writes, never
// replaced; a folder that another account may change not used; else TMP.
TEST(RunLog, WhereTheAdministratorSays) {
  enum class Before { nothing, file, link, heldOpen };
  using Arrange = void (*)(FakePlatform&);
  struct Row {
    const char* name;
    std::wstring requested;
    Before before;
    std::uint32_t folderError, createError;
    std::wstring path;                  // the log's
    std::vector<std::wstring> folders;  // made
    const char* why = "";               // notUsed() or besideBecause(), its beginning
    Arrange arrange = nullptr;          // what else was there
  };
  const std::wstring tmpLog = L"C:\\Temp\\eldoris-setup_2026-12-06-07-05-09.log";
  const std::wstring beside = L"C:\\L\\run_2026-12-06-07-05-09.log";
  // C:\L there before the run, and any account may change it (Modify, inherited from C:\).
  const Arrange modifiable = [](FakePlatform& p) {
    p.existingFolders.insert(L"C:\\L");
    p.folderLooks[L"C:\\L"] =
        folderOwnedBy(administratorsSid, {{AccessEntry::Kind::allow, L"S-1-5-11", 0x1301BF, 0x13}});
  };
  const Arrange fileWhereAFolderGoes = [](FakePlatform& p) { p.files[L"C:\\L\\deep"] = "planted"; };
  const std::vector<Row> rows = {
      // clang-format off
      {"relative", L"logs\\deep\\run.log", Before::nothing, 0, 0, L"D:\\setup\\logs\\deep\\run.log", {L"D:\\setup", L"D:\\setup\\logs", L"D:\\setup\\logs\\deep"}, "", nullptr},
      {"replaced", L"C:\\L\\run.log", Before::file, 0, 0, L"C:\\L\\run.log", {L"C:\\L"}, "", nullptr},
      {"no folder", L"C:\\L\\run.log", Before::nothing, 5, 0, tmpLog, {}, "", nullptr},
      {"no file", L"C:\\L\\run.log", Before::nothing, 0, 5, L"", {L"C:\\L"}, "", nullptr},
      {"held open by a run or a viewer", L"C:\\L\\run.log", Before::heldOpen, 0, 0, beside, {L"C:\\L"}, "another program holds it open", nullptr},
      {"a link at the name", L"C:\\L\\run.log", Before::link, 0, 0, beside, {L"C:\\L"}, "it is a folder or a link", nullptr},
      {"a folder others may change", L"C:\\L\\deep\\run.log", Before::file, 0, 0, tmpLog, {}, "C:\\L is not used: S-1-5-11 (Authenticated Users) may rename", modifiable},
      {"a root others may change", L"E:\\run.log", Before::nothing, 0, 0, tmpLog, {}, "E:\\ is not used: S-1-5-11", [](FakePlatform& p) { p.folderLooks[L"E:\\"] = folderOwnedBy(systemSid, {{AccessEntry::Kind::allow, L"S-1-5-11", 0x6, 0}}); }},
      {"a share out of reach", L"\\\\srv\\logs\\pc1\\run.log", Before::nothing, 0, 0, tmpLog, {}, "\\\\srv\\logs\\ is not used: it is on a network drive", [](FakePlatform& p) { p.folderLooks[L"\\\\srv\\logs\\"].error = 53; }},
      {"a network drive", L"N:\\pc1\\run.log", Before::nothing, 0, 0, tmpLog, {}, "N:\\ is not used: it is on a network drive", [](FakePlatform& p) { p.folderLooks[L"N:\\"].remote = true; }},
      {"a file where a folder goes, where only administrators add", L"C:\\L\\deep\\run.log", Before::nothing, 0, 0, tmpLog, {L"C:\\L"}, "", fileWhereAFolderGoes},
      {"... where others may add", L"C:\\L\\deep\\run.log", Before::nothing, 0, 0, tmpLog, {}, "C:\\L\\deep is not used: it cannot be made (Windows error 267), and other accounts may add", [](FakePlatform& p) { p.files[L"C:\\L\\deep"] = "planted"; p.existingFolders.insert(L"C:\\L"); p.folderLooks[L"C:\\L"] = folderOwnedBy(systemSid, {{AccessEntry::Kind::allow, L"S-1-5-32-545", 0x6, 0x2}}); }},
      {"an empty folder made a link as the run made one in it, unmade before the second look", L"C:\\L\\deep\\run.log", Before::nothing, 0, 0, tmpLog, {L"C:\\L\\deep"}, "C:\\L\\deep is not used: the log made in it is elsewhere", [](FakePlatform& p) { p.existingFolders.insert(L"C:\\L"); p.madeElsewhere.insert(L"C:\\L\\deep\\run.log"); }},
      {"... and another's folder put where the run made its own", L"C:\\L\\deep\\run.log", Before::nothing, 0, 0, tmpLog, {L"C:\\L\\deep"}, "C:\\L\\deep is not used: it is owned by S-1-5-21-7-7-7-1001", [](FakePlatform& p) { p.existingFolders.insert(L"C:\\L"); p.foundLooks[L"C:\\L\\deep"] = folderOwnedBy(L"S-1-5-21-7-7-7-1001", {}); }},
      {"an empty folder made a link as the run made one in it", L"C:\\L\\deep\\run.log", Before::nothing, 0, 0, tmpLog, {L"C:\\L\\deep"}, "C:\\L is not used: it is a junction", [](FakePlatform& p) { p.existingFolders.insert(L"C:\\L"); p.folderLooksOnceMadeIn[L"C:\\L"].reparsePoint = true; }},
      // clang-format on
  };
  for (const auto& row : rows) {
    FakePlatform platform;
    if (row.before == Before::file || row.before == Before::heldOpen) {
      platform.files[row.requested] = "an earlier run's";
    }
    if (row.before == Before::heldOpen) platform.heldOpen.insert(row.requested);
    if (row.before == Before::link) platform.links.insert(row.requested);
    platform.folderError = row.folderError;
    platform.createError = row.createError;
    if (row.arrange != nullptr) row.arrange(platform);
    RunLog log(platform, row.requested);
    // What had the name is kept aside only when the run first changes something.
    EXPECT_EQ(log.waitsForTheName(), row.before != Before::nothing && log.inRequestedFolder())
        << row.name;
    log.runChanges();
    log.write(L"line");
    EXPECT_EQ(log.path(), row.path) << row.name;
    EXPECT_EQ(platform.folders, row.folders) << row.name;
    const bool refused =
        row.folderError + row.createError != 0 || row.arrange == fileWhereAFolderGoes;
    EXPECT_EQ(log.refused().has_value(), refused) << row.name;
    EXPECT_EQ(log.inRequestedFolder(), row.path != tmpLog && !row.path.empty()) << row.name;
    if (log.inRequestedFolder() && !row.folders.empty()) {  // found again from where it was made
      EXPECT_EQ(platform.placesChecked.size(), 1u) << row.name;
    }
    const std::wstring why = log.notUsed() + log.besideBecause();
    EXPECT_EQ(why.rfind(std::wstring(row.why, row.why + std::strlen(row.why)), 0), 0u)
        << row.name << ": " << std::string(why.begin(), why.end());
    if (row.before != Before::nothing) {  // kept once, or left where it is: never lost
      const bool kept = row.before == Before::file && row.arrange == nullptr;
      EXPECT_EQ(platform.files.count(kept ? L"C:\\L\\run.lo_" : row.requested),
                row.before != Before::link)
          << row.name;
    }
    if (!row.path.empty()) {
      EXPECT_EQ(platform.files[row.path].rfind("\xEF\xBB\xBF", 0), 0u) << row.name;
    }
  }
}

// Only the folders that were there before the run are looked at, from the
// root down; every one that is made gets the run's own protected descriptor.
TEST(RunLog, ItsFoldersAreJudgedFromTheRootDown) {
  FakePlatform platform;
  platform.existingFolders = {L"C:\\ProgramData", L"C:\\ProgramData\\Vendor"};
  RunLog log(platform, L"C:\\ProgramData\\Vendor\\Logs\\x\\run.log");
  EXPECT_TRUE(log.inRequestedFolder());
  // The folder the run made its first in is looked at again once it holds it.
  EXPECT_EQ(platform.foldersLookedAt,
            (std::vector<std::wstring>{L"C:\\", L"C:\\ProgramData", L"C:\\ProgramData\\Vendor",
                                       L"C:\\ProgramData\\Vendor"}));
  ASSERT_EQ(platform.folderAccess.size(), 2u);
  for (const AccessDescription& made : platform.folderAccess) {
    for (const Grant& grant : made.grants) {
      // Users read and list; nobody else but SYSTEM and the Administrators is named.
      EXPECT_EQ(grant.rights, grant.trustee == Trustee::users ? 0x1200A9u : 0x1F01FFu);
      EXPECT_TRUE(grant.inherited);
    }
    EXPECT_EQ(made.grants.size(), 3u);
  }
}

TEST(RunLog, AReplacedLogIsKeptOnceAsConfigurationManagerKeepsItsOwn) {
  EXPECT_EQ(keptLogName(L"C:\\L\\eldoris-setup.log"), L"C:\\L\\eldoris-setup.lo_");
  EXPECT_EQ(keptLogName(L"C:\\L\\run_csp.LOG"), L"C:\\L\\run_csp.LO_");
  EXPECT_EQ(keptLogName(L"C:\\L\\run.txt"), L"C:\\L\\run.txt.lo_");
  EXPECT_EQ(keptLogName(L"C:\\L.log\\run"), L"C:\\L.log\\run.lo_");
  EXPECT_EQ(keptLogName(L"C:\\.log"), L"C:\\.lo_");
}

// A fact that cannot be read is taken as nobody seeing the run: a box
// there would wait for ever. The session counts from Vista on only.
TEST(WhoCanSee, NobodyOnAnInvisibleStationOrInSessionZeroFromVistaOrWhereItCannotBeRead) {
  struct Row {
    Answer<bool> station;
    Answer<std::uint32_t> session;
    std::optional<OsVersion> version;
    bool visible;
  };
  const OsVersion xp{5, 1, 3}, vista{6, 0, 0};
  const Answer<bool> seen{0, true}, unseen{0, false}, unreadable{6, false};
  const Answer<std::uint32_t> zero{0, 0}, one{0, 1}, noSession{87, 0}, nt4{127, 0};
  const std::vector<Row> rows = {
      {seen, one, vista, true},
      {unseen, one, vista, false},
      {seen, zero, vista, false},
      {seen, zero, xp, true},
      {unseen, zero, xp, false},
      {seen, zero, std::nullopt, true},
      {unreadable, zero, xp, false},
      {unreadable, one, vista, false},
      {seen, noSession, vista, false},
      {seen, noSession, xp, true},
      {seen, nt4, OsVersion{4, 0, 6}, true},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(whoCanSee({rows[i].station, rows[i].session}, rows[i].version).visible,
              rows[i].visible)
        << "row " << i;
  }
}

TEST(RunLog, Utf8OfEveryKindOfCodeUnit) {
  const std::wstring pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  const std::wstring lone{static_cast<wchar_t>(0xDC00), L'a'};
  const auto utf8 = [](const std::wstring& text) {
    const std::vector<char> bytes = toUtf8(text);
    return std::string(bytes.begin(), bytes.end());
  };
  EXPECT_EQ(utf8(L"A\u00e9\u0416\u20ac"), "A\xC3\xA9\xD0\x96\xE2\x82\xAC");
  EXPECT_EQ(utf8(pair), "\xF0\x9F\x98\x80");
  EXPECT_EQ(utf8(lone),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(quoted(L"a\r\nb\nc\r\n\r\n"), L"«a ⏎ b ⏎ c»");  // trailing breaks only space a box
}

}  // namespace
}  // namespace eldoris::testing
