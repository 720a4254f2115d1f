#include "logfiles/folder_trust.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "text/decimal.h"

namespace eldoris {

namespace {

// Rights in an access mask (winnt.h): the generic ones stand for all that
// they map to.
constexpr std::uint32_t addFile = 0x0002;           // FILE_ADD_FILE, FILE_WRITE_DATA
constexpr std::uint32_t addSubfolder = 0x0004;      // FILE_ADD_SUBDIRECTORY, FILE_APPEND_DATA
constexpr std::uint32_t deleteChild = 0x0040;       // FILE_DELETE_CHILD
constexpr std::uint32_t writeAttributes = 0x0100;   // FILE_WRITE_ATTRIBUTES
constexpr std::uint32_t deleteIt = 0x00010000;      // DELETE
constexpr std::uint32_t writeDac = 0x00040000;      // WRITE_DAC
constexpr std::uint32_t writeOwner = 0x00080000;    // WRITE_OWNER
constexpr std::uint32_t genericAll = 0x10000000;    // GENERIC_ALL
constexpr std::uint32_t genericWrite = 0x40000000;  // GENERIC_WRITE

// Entry flags (ACE_HEADER.AceFlags).
constexpr std::uint8_t objectInherit = 0x01;  // applies to the files made inside
constexpr std::uint8_t inheritOnly = 0x08;    // not to the folder itself

// Renaming or deleting the folder, or what is in it, or giving oneself that right.
constexpr std::uint32_t replacesTheFolder =
    deleteIt | deleteChild | writeDac | writeOwner | genericAll;
// An empty folder's own write-attributes right sets a reparse point on it
// (FSCTL_SET_REPARSE_POINT asks for FILE_WRITE_DATA or FILE_WRITE_ATTRIBUTES).
constexpr std::uint32_t addsToIt = addFile | addSubfolder | writeAttributes | genericWrite;
constexpr std::uint32_t changesAFile =
    addFile | addSubfolder | deleteIt | writeDac | writeOwner | genericAll | genericWrite;

// CREATOR OWNER stands for whoever makes the object the entry is inherited
// by: in the logs' folder, the run itself. OWNER RIGHTS is the owner.
constexpr wchar_t creatorOwnerSid[] = L"S-1-3-0";
constexpr wchar_t ownerRightsSid[] = L"S-1-3-4";

bool trustedOwner(const std::wstring& sid, const std::wstring& runningAccount) {
  return sid == systemSid || sid == administratorsSid || sid == trustedInstallerSid ||
         (!runningAccount.empty() && sid == runningAccount);
}

bool trustedTrustee(const std::wstring& sid, const std::wstring& runningAccount) {
  return trustedOwner(sid, runningAccount) || sid == creatorOwnerSid || sid == ownerRightsSid;
}

bool endsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// What `entry` lets its trustee do to the logs, for the run's log; empty
// where nothing that matters.
std::wstring whatItAllows(const AccessEntry& entry, FolderRole role) {
  const bool onTheFolder = (entry.flags & inheritOnly) == 0;
  if (onTheFolder && (entry.rights & replacesTheFolder) != 0) {
    return L"may rename or delete it or what is in it, or change who may";
  }
  if (role != FolderRole::holdsTheLogs) return std::wstring();
  if (onTheFolder && (entry.rights & addsToIt) != 0) {
    return L"may add files or folders to it, or make it a link while it is empty";
  }
  if ((entry.flags & objectInherit) != 0 && (entry.rights & changesAFile) != 0) {
    return L"may change or delete the files made in it";
  }
  return std::wstring();
}

}  // namespace

std::wstring trusteeText(const std::wstring& sid) {
  // The SIDs that an access list an administrator meets may name, with their names.
  static const std::pair<const wchar_t*, const wchar_t*> known[] = {
      {L"S-1-1-0", L"Everyone"},    {L"S-1-3-1", L"CREATOR GROUP"},
      {L"S-1-5-4", L"INTERACTIVE"}, {L"S-1-5-11", L"Authenticated Users"},
      {L"S-1-5-32-545", L"Users"},  {L"S-1-5-32-547", L"Power Users"},
  };
  const auto found = std::find_if(std::begin(known), std::end(known),
                                  [&sid](const auto& k) { return sid == k.first; });
  if (found != std::end(known)) return sid + L" (" + found->second + L")";
  if (sid.rfind(L"S-1-5-21-", 0) == 0) {
    if (endsWith(sid, L"-513")) return sid + L" (Domain Users)";
    if (endsWith(sid, L"-515")) return sid + L" (Domain Computers)";
  }
  return sid;
}

std::wstring folderDistrust(const FolderLook& look, FolderRole role,
                            const std::wstring& runningAccount) {
  if (look.error != 0) {
    return L"who may change it cannot be read (Windows error " + decimal(look.error) + L")";
  }
  if (!look.isFolder) return L"it is not a folder";
  if (look.reparsePoint) return L"it is a junction, a symbolic link or a mount point";
  // SYSTEM and the Administrators in a share's access list are the server's own.
  if (look.remote)
    return L"it is on a network drive, whose access list names another machine's accounts";
  if (!trustedOwner(look.owner, runningAccount)) {
    return L"it is owned by " + trusteeText(look.owner);
  }
  if (look.nullAccessList) return L"it has no access list: everyone may change it";
  for (const AccessEntry& entry : look.entries) {
    if (entry.kind == AccessEntry::Kind::deny) continue;
    if (entry.kind == AccessEntry::Kind::other) {
      return L"its access list holds an entry of a kind that is not read here";
    }
    if (trustedTrustee(entry.trustee, runningAccount)) continue;
    const std::wstring allows = whatItAllows(entry, role);
    if (!allows.empty()) return trusteeText(entry.trustee) + L" " + allows;
  }
  return std::wstring();
}

bool othersMayAdd(const FolderLook& look, const std::wstring& runningAccount) {
  if (look.error != 0 || look.nullAccessList || !trustedOwner(look.owner, runningAccount))
    return true;
  return std::any_of(look.entries.begin(), look.entries.end(), [&](const AccessEntry& entry) {
    if (entry.kind == AccessEntry::Kind::deny) return false;
    return entry.kind == AccessEntry::Kind::other ||
           (!trustedTrustee(entry.trustee, runningAccount) && (entry.flags & inheritOnly) == 0 &&
            (entry.rights & (addsToIt | genericAll)) != 0);
  });
}

}  // namespace eldoris
