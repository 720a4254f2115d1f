// Basic value types shared by every part of the bootstrapper.
#pragma once

#include <cstdint>

namespace eldoris {

// A code in the Windows Installer's sense: 0 success, 1602 user exit,
// 1641/3010/3011 success with a restart, anything else a failure.
using InstallerResult = std::uint32_t;

// Identifier of a text in the program's string table.
using MessageId = std::uint16_t;

namespace code {
constexpr InstallerResult success = 0;
constexpr InstallerResult fileNotFound = 2;
constexpr InstallerResult pathNotFound = 3;
constexpr InstallerResult accessDenied = 5;             // ERROR_ACCESS_DENIED
constexpr InstallerResult procNotFound = 127;           // ERROR_PROC_NOT_FOUND
constexpr InstallerResult sharingViolation = 32;        // ERROR_SHARING_VIOLATION
constexpr InstallerResult fileExists = 80;              // ERROR_FILE_EXISTS
constexpr InstallerResult notAFolder = 267;             // ERROR_DIRECTORY
constexpr InstallerResult resourceNameNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
constexpr InstallerResult alreadyExists = 183;          // ERROR_ALREADY_EXISTS
constexpr InstallerResult noData = 232;                 // ERROR_NO_DATA
constexpr InstallerResult moreData = 234;
constexpr InstallerResult invalidParameter = 87;  // ERROR_INVALID_PARAMETER
constexpr InstallerResult envVarNotFound = 203;
constexpr InstallerResult userExit = 1602;
constexpr InstallerResult installAlreadyRunning = 1618;  // ERROR_INSTALL_ALREADY_RUNNING
constexpr InstallerResult logFailure = 1622;             // ERROR_INSTALL_LOG_FAILURE
constexpr InstallerResult invalidCommandLine = 1639;     // ERROR_INVALID_COMMAND_LINE
constexpr InstallerResult functionFailed = 1627;
constexpr InstallerResult requiresInteractiveDesktop = 1459;  // ..._INTERACTIVE_WINDOWSTATION
constexpr InstallerResult rebootInitiated = 1641;
constexpr InstallerResult rebootRequired = 3010;
constexpr InstallerResult restartRequired = 3011;
}  // namespace code

// How the process ends when the C++ runtime fails inside the text handling:
// at once, with a code that no step of the run gives.
enum class RuntimeFailure {
  outOfMemory,  // an allocation failed, or a length past what can ever be allocated
  programFault  // any other failure: a fault of the program itself
};
constexpr InstallerResult exitCodeOf(RuntimeFailure failure) {
  return failure == RuntimeFailure::outOfMemory ? 14u     // ERROR_OUTOFMEMORY
                                                : 1359u;  // ERROR_INTERNAL_ERROR
}

// The LoadLibraryExW flags for a system library loaded by its full path, so
// that the libraries it imports come from the system too. Where the system
// has SetDefaultDllDirectories, the system directory alone is searched; where
// not (XP, Server 2003, Vista and 7 without the update that adds it, 2000),
// the search starts in the library's own folder, never in the program's.
constexpr std::uint32_t systemLibraryLoadFlags(bool hasDefaultDllDirectories) {
  return hasDefaultDllDirectories ? 0x00000800u   // LOAD_LIBRARY_SEARCH_SYSTEM32
                                  : 0x00000008u;  // LOAD_WITH_ALTERED_SEARCH_PATH
}

// Message box styles and answers, with the values Windows gives them.
namespace box {
constexpr unsigned ok = 0x0;
constexpr unsigned yesNo = 0x4;
constexpr unsigned iconError = 0x10;
constexpr unsigned iconWarning = 0x30;
constexpr unsigned iconInformation = 0x40;
constexpr int idOk = 1;
constexpr int idCancel = 2;
constexpr int idYes = 6;
constexpr int idNo = 7;
// A question nobody can see to answer: neither a button nor a failure (0).
constexpr int notAsked = -1;
}  // namespace box

}  // namespace eldoris
