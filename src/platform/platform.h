// The one seam between the bootstrapper's decisions and Windows.
//
// Everything the program asks of the system goes through this interface.
// The Win32 implementation only translates; every choice (which box, which
// fragment, which exit code) is made by the caller in plain C++, and the
// run's own state lives beside it, in context/run_context.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace eldoris {

struct InstallOptions;

// A child program's outcome: a failed start is never mistaken for an exit code.
struct ChildRun {
  bool started = false;
  std::uint32_t code = 0;          // exit code when started, Windows error code otherwise
  std::uint32_t milliseconds = 0;  // how long it ran
  // Started, but its end or its exit code could not be read: the Windows
  // error (`code` is then nothing).
  std::uint32_t lost = 0;
};

struct OsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint16_t servicePackMajor = 0;
  bool basicRecord = false;  // read without the service pack (see windowsVersion)
  std::uint32_t build = 0;
};

// Windows XP (5.1) or later; an unknown version is not.
inline bool atLeastWindowsXp(const std::optional<OsVersion>& version) {
  return version && (version->major > 5 || (version->major == 5 && version->minor >= 1));
}

// GetVersionExW's two records: the extended one, with the service pack,
// came with Windows NT 4.0 SP6.
enum class VersionRecord { extended, basic };

struct DirEntry {
  std::wstring name;
  bool isDirectory = false;
  bool hiddenSystem = false;  // both attributes: Windows' own, such as System Volume Information
  bool link = false;          // a junction or a symbolic link (not another reparse point)
};

// A text read from the system, with the Windows error code of the read.
struct TextRead {
  std::uint32_t result = 0;
  std::wstring text;
};

struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// What the system answered, or the Windows error of a call that could not
// answer: never a default value that reads as an answer.
template <typename T>
struct Answer {
  std::uint32_t error = 0;
  T value{};
  bool failed() const { return error != 0; }
};

// One entry of an access list, as read: the trustee's SID as text
// ("S-1-5-32-545"), the rights, and the entry's flags (ACE_HEADER.AceFlags).
struct AccessEntry {
  // `other`: an entry of a type not read here (object, callback,
  // conditional), which may grant anything.
  enum class Kind { allow, deny, other } kind = Kind::allow;
  std::wstring trustee;
  std::uint32_t rights = 0;
  std::uint8_t flags = 0;
};

// A folder as the system describes it, read through a handle of the folder
// itself, opened without following a link: the error where it could not be
// read.
struct FolderLook {
  std::uint32_t error = 0;
  bool isFolder = true;
  bool reparsePoint = false;    // a junction, symbolic link or mount point
  bool remote = false;          // a root (ending in a backslash) of a network drive or share
  std::wstring owner;           // the owner's SID as text
  bool nullAccessList = false;  // no access list at all: everyone may do everything
  std::vector<AccessEntry> entries;
};

// The folders from a root down to an open file, as OutputFile::findFrom found them.
struct FoundPath {
  std::vector<FolderLook> folders;  // the root first
  bool sameFile = false;
};

// Who a descriptor the run asks for names; its SIDs are the system's own.
enum class Trustee { system, administrators, users };

struct Grant {
  Trustee trustee;
  std::uint32_t rights;
  bool inherited;  // by what is made inside (a folder's)
};

// The security descriptor the run gives what it makes, chosen by the
// caller: its entries in order, protected (nothing of a parent's merged in,
// Windows 2000 on), and owned by the Administrators where the caller may
// name them (else by the caller's default owner).
struct AccessDescription {
  std::vector<Grant> grants;
  bool ownedByAdministrators = false;
};

// What became of a log kept aside before a new one takes its name.
struct KeptAside {
  // `notAFile`: a folder, or a link, junction or other reparse point,
  // which is never renamed.
  enum class Outcome { kept, notAFile, failed } outcome = Outcome::kept;
  std::uint32_t error = 0;  // with `failed`: 32 where another program holds it open
};

// A file open for writing; closed when destroyed.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Hands the bytes to the system (no flush to the disk); false on failure.
  virtual bool write(const std::vector<char>& bytes) = 0;
  // Renames the open file itself, through its handle, to the full local
  // `path`, where nothing has that name: 0, or the Windows error.
  virtual std::uint32_t renameTo(const std::wstring& path) = 0;
  // The path from the local `root` ("C:\\") down `relative` to the open
  // file, found through handles, each name looked up in the folder the
  // handle before holds, no link followed: each folder looked at through
  // its own handle, as lookAtFolder does, and whether the file at its end
  // is this one (false where a folder on the way is, or was when the file
  // was made, a link).
  virtual Answer<FoundPath> findFrom(const std::wstring& root, const std::wstring& relative) = 0;
};

// `failed`: the dialog could not be shown (DialogBoxParamW gave -1).
enum class DialogOutcome { next, cancelled, failed };

// How a forced restart is asked of Windows: InitiateSystemShutdownExW
// (Windows XP on), or on Windows 2000 its predecessor. Both restart the
// computer for any caller that holds the shutdown privilege; ExitWindowsEx
// stops only the caller's logon session, and its force flag "has no effect
// if terminal services is enabled".
enum class RestartCall { initiateShutdownEx, initiateShutdown };

// How a busy Windows Installer shows: its service accepts only
// SERVICE_ACCEPT_SHUTDOWN while it installs (Windows Installer 3.0 on), which
// can be read without taking anything; Global\_MSIExecute is held while it
// installs, and a look at it owns it for that instant.
enum class InstallerBusySign { serviceStatus, mutex };

// The Windows Installer after a wait for it to be free: free (a missing or
// abandoned mutex, or a service that is not installing, counts), still busy,
// or unknown (the Windows error says why).
struct InstallerWait {
  enum class State { free, held, unknown } state = State::free;
  std::uint32_t error = 0;
  std::uint32_t milliseconds = 0;  // how long the wait took
};

// Where the run lock is: its mutex's name and, where not empty, the private
// namespace it is in, bounded by the Administrators' SID (Windows Vista on),
// with the access list of that namespace.
struct RunLockPlace {
  std::wstring mutexName;
  std::wstring namespaceAlias;
  AccessDescription namespaceAccess;
};

// Held for as long as it lives; released when destroyed.
class HeldLock {
 public:
  virtual ~HeldLock() = default;
};

// The lock that keeps runs of the program apart, after a wait for it: taken
// (`lock` holds it), held by another run past the wait, foreign (an object
// of its name that neither SYSTEM nor the Administrators own: another
// user's, made before any run), or unknown (the Windows error says why).
struct RunLock {
  enum class State { taken, held, foreign, unknown } state = State::taken;
  std::uint32_t error = 0;
  std::uint32_t milliseconds = 0;  // how long the wait took
  std::unique_ptr<HeldLock> lock;
};

// What CreateMutexW's failure says of the name: our mutex grants every
// administrator full access, so one that refuses (5) is another's, and so
// is an event, semaphore or other object of that name (6, "If lpName
// matches the name of an existing event ... ERROR_INVALID_HANDLE"), which
// any user may make in Global\.
constexpr RunLock::State lockStateOfRefusal(std::uint32_t error) {
  return error == 5 || error == 6 ? RunLock::State::foreign : RunLock::State::unknown;
}

// How SHELL32's IsUserAnAdmin is found: by name (Windows XP SP1 on), or by
// its ordinal 680, the only way NT 4.0, 2000 and XP before SP1 export it.
enum class ShellExport { byName, byOrdinal };

// Who could see the process's windows, as far as the system tells: each
// fact with the Windows error of a read that failed (127 where the system
// lacks the call).
struct DesktopView {
  Answer<bool> stationVisible;    // WSF_VISIBLE of the process's window station
  Answer<std::uint32_t> session;  // the session the process runs in
};

// How a forced restart is asked of Windows, all chosen by the caller:
// the call, how long the system waits first (0: at once, no dialog),
// whether programs are closed without a chance to save, and the reason
// recorded (SHTDN_REASON_*; InitiateSystemShutdownW records none).
struct RestartRequest {
  RestartCall call = RestartCall::initiateShutdownEx;
  std::uint32_t timeoutSeconds = 0;
  bool forceAppsClosed = true;
  std::uint32_t reason = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Resources and user interface.
  // The raw bytes of one block of the program's string table; 1814 where
  // the block is not there.
  virtual Answer<std::vector<std::uint8_t>> stringTableBlock(unsigned block) = 0;
  // The button pressed; the Windows error where the box could not be shown.
  virtual Answer<int> messageBox(const std::wstring& text, const std::wstring& caption,
                                 unsigned style) = 0;
  // Runs the modal configuration dialog, which appends the user's choices.
  // `error` is the Windows error when the dialog could not be shown.
  virtual DialogOutcome showConfigurationDialog(InstallOptions& options, std::uint32_t& error) = 0;

  // The process and the system it runs on.
  virtual DesktopView desktopView() = 0;
  virtual std::wstring commandLine() = 0;
  // Splits a command line by the system's rules.
  virtual Answer<std::vector<std::wstring>> splitCommandLine(const std::wstring& commandLine) = 0;
  // IsUserAnAdmin's answer, found as `how` says; nothing where it is not there.
  virtual std::optional<bool> shellIsUserAnAdmin(ShellExport how) = 0;
  // Whether the process token holds the Administrators group, enabled: what
  // IsUserAnAdmin tests, on a system that lacks it.
  virtual Answer<bool> tokenIsAdministrator() = 0;
  // One of GetVersionExW's records; nothing where the system refuses it.
  virtual std::optional<OsVersion> versionRecord(VersionRecord record) = 0;
  // The version as the kernel has it (RtlGetVersion), whatever the manifest
  // names: GetVersionExW answers 6.2 on Windows 8.1 and later to a program
  // that names none of them. Nothing where the system lacks the call.
  virtual std::optional<OsVersion> kernelVersion() = 0;
  // Whether the process runs under WOW64; no where the system lacks the call,
  // as 32-bit Windows before XP SP2 does.
  virtual Answer<bool> isWow64Process() = 0;
  virtual TextRead environmentVariable(const std::wstring& name) = 0;
  virtual TextRead currentDirectory() = 0;
  // `path` made full against the current directory.
  virtual TextRead fullPath(const std::wstring& path) = 0;
  virtual TextRead systemDirectory() = 0;
  virtual LocalTime localTime() = 0;
  virtual void writeStandardOutput(const std::wstring& line) = 0;
  // The full path of the running program.
  virtual TextRead programPath() = 0;

  // Files.
  // Visits the entries of the current directory in the file system's order
  // until `visit` returns true; 0, or the Windows error of the listing.
  virtual std::uint32_t listCurrentDirectory(const std::function<bool(const DirEntry&)>& visit) = 0;
  // The first entry matching a relative pattern, such as "x64\velmarix*.msi";
  // nothing where none matches.
  virtual Answer<std::optional<DirEntry>> findFirstMatch(const std::wstring& pattern) = 0;
  // The size of what is at `path` (0 for a folder); nothing where nothing is.
  virtual std::optional<std::uint64_t> fileSize(const std::wstring& path) = 0;
  virtual std::uint32_t deleteFile(const std::wstring& path) = 0;
  // Renames what `path` names to `kept` (replacing what has that name) if it
  // is a file itself, as its own attributes tell through a handle opened
  // without following a link; a folder or a reparse point is left alone.
  // The handle asks to delete, so a file that its writer holds open without
  // sharing that is refused (32), and stays.
  virtual KeptAside keepAside(const std::wstring& path, const std::wstring& kept) = 0;
  // Creates one folder with `access` as its whole descriptor; 0, or the
  // Windows error (183 where the name exists: that is left as it is).
  virtual std::uint32_t createFolder(const std::wstring& path, const AccessDescription& access) = 0;
  // The folder `path` (a root such as "C:\" included): its kind, owner and access list.
  virtual FolderLook lookAtFolder(const std::wstring& path) = 0;
  // The SID, as text, of the account the process runs as.
  virtual Answer<std::wstring> processAccount() = 0;
  // Creates a file only where nothing has the name yet: an existing file,
  // folder or link is never opened or followed (the Windows error says why).
  // The handle is not inherited by child processes, and while it is open
  // others may read the file but neither write, rename nor delete it. Only
  // a `renamable` one can be renamed through it (OutputFile::renameTo), and
  // only others who share deleting may then open it.
  virtual std::unique_ptr<OutputFile> createNewFile(const std::wstring& path, std::uint32_t& error,
                                                    bool renamable) = 0;

  // Child processes: started without handle inheritance and waited for to the
  // end. `program` is the full path of the program to start; empty, the first
  // token of the command line names it.
  virtual ChildRun runChildProcess(const std::wstring& program,
                                   const std::wstring& commandLine) = 0;

  // The ids of the processes that run the program `exeName` (msiexec.exe);
  // nothing where the system cannot tell (Windows NT 4.0).
  virtual std::optional<std::vector<std::uint32_t>> processIds(const std::wstring& exeName) = 0;

  // Windows Installer.
  // Waits up to `milliseconds` (0: only looks) for the Windows Installer to be
  // free, by `sign`. The mutex is never kept: a wait that acquires it
  // releases it at once.
  virtual InstallerWait waitForInstaller(InstallerBusySign sign, std::uint32_t milliseconds) = 0;
  // Takes the mutex at `place`, made where it is missing with `access`
  // (the namespace too: made, or opened where another run made it), waiting
  // up to `milliseconds` (0: only looks) while another run holds it. Every
  // session and account sees both namespaces; 127 where the system lacks
  // private namespaces.
  virtual RunLock takeRunLock(const RunLockPlace& place, const AccessDescription& access,
                              std::uint32_t milliseconds) = 0;
  // COM on the program's thread, which MsiOpenPackageExW asks for:
  // CoInitialize's HRESULT, and CoUninitialize.
  virtual std::uint32_t initializeCom() = 0;
  virtual void uninitializeCom() = 0;
  // Loads msi.dll and sets its own interface to none: the Windows error
  // where it cannot be loaded (127 where it lacks the function).
  virtual std::uint32_t msiSetInternalUiNone() = 0;
  // The INSTALLSTATE answered; 127 where msi.dll or the function is missing.
  virtual Answer<int> msiQueryProductState(const std::wstring& productCode) = 0;
  virtual Answer<int> msiQueryFeatureState(const std::wstring& productCode,
                                           const std::wstring& feature) = 0;
  virtual TextRead msiGetProductInfo(const std::wstring& productCode,
                                     const std::wstring& property) = 0;
  virtual std::uint32_t msiOpenPackage(const std::wstring& path, std::uint32_t& handle) = 0;
  virtual TextRead msiGetProperty(std::uint32_t handle, const std::wstring& property) = 0;
  virtual std::uint32_t msiCloseHandle(std::uint32_t handle) = 0;
  virtual std::uint32_t msiSourceListForceResolution(const std::wstring& productCode) = 0;
  virtual std::uint32_t msiSourceListSetPackageName(const std::wstring& productCode,
                                                    const std::wstring& packageName) = 0;

  // Registry keys under HKEY_CURRENT_USER; `view` is added to the access
  // asked for (KEY_WOW64_32KEY, or 0).
  virtual std::uint32_t createUserKey(const std::wstring& path, std::uint32_t view) = 0;
  virtual std::uint32_t deleteUserKey(const std::wstring& parent, const std::wstring& name,
                                      std::uint32_t view) = 0;
  // When a key was last written (RegQueryInfoKeyW), as a FILETIME: 100 ns
  // since 1601, UTC; 2 where there is no such key.
  virtual Answer<std::uint64_t> userKeyWriteTime(const std::wstring& path, std::uint32_t view) = 0;

  // HKEY_LOCAL_MACHINE\`path`, made where it is missing (with any key
  // missing above it), volatile where asked: "stored in memory and ... not
  // preserved" past a full shutdown. An existing key is opened as it is,
  // volatile or not ("This flag is ignored for keys that already exist").
  // The value: whether it was made now.
  virtual Answer<bool> createMachineKey(const std::wstring& path, std::uint32_t view,
                                        bool volatileKey) = 0;
  virtual std::uint32_t deleteMachineKey(const std::wstring& parent, const std::wstring& name,
                                         std::uint32_t view) = 0;
  // When a key under HKEY_LOCAL_MACHINE was last written, as userKeyWriteTime.
  virtual Answer<std::uint64_t> machineKeyWriteTime(const std::wstring& path,
                                                    std::uint32_t view) = 0;
  // A REG_SZ value of a key under HKEY_CURRENT_USER: 2 where the key or the
  // value is not there.
  virtual TextRead readUserValue(const std::wstring& path, const std::wstring& name,
                                 std::uint32_t view) = 0;
  virtual std::uint32_t writeUserValue(const std::wstring& path, const std::wstring& name,
                                       const std::wstring& text, std::uint32_t view) = 0;
  // The names of a key's values under HKEY_CURRENT_USER, in no order.
  virtual Answer<std::vector<std::wstring>> userValueNames(const std::wstring& path,
                                                           std::uint32_t view) = 0;
  virtual std::uint32_t deleteUserValue(const std::wstring& path, const std::wstring& name,
                                        std::uint32_t view) = 0;
  // This computer's NetBIOS name.
  virtual Answer<std::wstring> computerName() = 0;

  // Waits, doing nothing, for `milliseconds`.
  virtual void pause(std::uint32_t milliseconds) = 0;

  // The time now, as a FILETIME (UTC).
  virtual std::uint64_t systemTimeNow() = 0;
  // How long ago the system started, in milliseconds (GetTickCount64, Windows
  // Vista on); nothing where the system lacks it: GetTickCount, which all
  // have, wraps after 49.7 days.
  virtual std::optional<std::uint64_t> millisecondsSinceStart() = 0;

  // Starts the restart `request` describes: 0, or the Windows error of the
  // privilege or of the call (ERROR_PROC_NOT_FOUND where the system lacks it).
  virtual std::uint32_t restartSystem(const RestartRequest& request) = 0;

  // The extended version record, or where the system refuses it (Windows NT
  // 4.0 before SP6) the basic one, its service pack counted as 0.
  std::optional<OsVersion> windowsVersion() {
    if (auto extended = versionRecord(VersionRecord::extended)) return extended;
    auto basic = versionRecord(VersionRecord::basic);
    if (basic) {
      basic->servicePackMajor = 0;
      basic->basicRecord = true;
    }
    return basic;
  }
};

}  // namespace eldoris
