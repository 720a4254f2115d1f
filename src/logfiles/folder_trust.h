// Whether a folder that was there before the run may hold its logs, or lead
// to them: judged from what the system says of the folder itself (its kind,
// its owner, its access list), never from how its path is spelled.
#pragma once

#include <string>

#include "platform/platform.h"

namespace eldoris {

// SYSTEM, the Administrators and TrustedInstaller: the accounts that own
// what Windows and its administrators make.
inline constexpr wchar_t systemSid[] = L"S-1-5-18";
inline constexpr wchar_t administratorsSid[] = L"S-1-5-32-544";
inline constexpr wchar_t trustedInstallerSid[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// What a folder is to the log's path. Another account that may rename or
// delete a folder on the path, or anything in it, may put a link of its own
// in the next folder's place; one that may add files where the logs go, or
// change the files made there, may replace the logs themselves.
enum class FolderRole { onThePath, holdsTheLogs };

// Why the folder may neither hold nor lead to the logs, for the run's log;
// empty where no account but SYSTEM, the Administrators, TrustedInstaller and
// `runningAccount` (the run's own, whose TMP is where the logs go otherwise)
// can change what the logs are. Deny entries are not counted: they can only
// make a folder safer than judged here.
std::wstring folderDistrust(const FolderLook& look, FolderRole role,
                            const std::wstring& runningAccount);

// Whether an account other than those may add files or folders to it: a
// name missing there, or taken by something that is no folder, may be
// another account's doing.
bool othersMayAdd(const FolderLook& look, const std::wstring& runningAccount);

// A SID with the name of the well-known group it is, for the run's log:
// "S-1-5-11 (Authenticated Users)".
std::wstring trusteeText(const std::wstring& sid);

}  // namespace eldoris
