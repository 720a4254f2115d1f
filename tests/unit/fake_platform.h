// A scripted stand-in for Windows: answers come from the test, and every
// request is recorded so that a test can check boxes, command lines and codes.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "options/install_options.h"
#include "platform/platform.h"

namespace eldoris::testing {

struct Box {
  std::wstring text;
  std::wstring caption;
  unsigned style = 0;
};

class FakePlatform : public Platform {
 public:
  FakePlatform();

  // --- Script ---
  std::map<unsigned, std::vector<std::uint8_t>> stringBlocks;  // the real table by default
  std::deque<int> answers;  // buttons pressed, in order; IDOK/IDNO when it runs out
  DialogOutcome dialogOutcome = DialogOutcome::next;
  std::uint32_t dialogError = 0;    // with DialogOutcome::failed
  std::wstring dialogAppendsClass;  // what "Далее" records
  std::wstring dialogAppendsLanguage;
  std::wstring processCommandLine = L"eldoris-setup.exe";
  Answer<std::vector<std::wstring>> splitResult;  // none and no error: split on spaces
  // IsUserAnAdmin by name and by ordinal (nothing: not exported so), and the token's groups.
  std::optional<bool> adminByName = true;
  std::optional<bool> adminByOrdinal = true;
  bool adminByToken = true;
  DesktopView desktop{{0, true}, {0, 1}};
  std::optional<OsVersion> version = OsVersion{6, 1, 1};  // the extended record
  std::optional<OsVersion> basicVersion = OsVersion{6, 1, 0};
  std::optional<OsVersion> kernel;  // RtlGetVersion's; unset: the system lacks it
  bool wow64 = true;
  std::map<std::wstring, std::wstring> environment{{L"TMP", L"C:\\Temp"},
                                                   {L"WINDIR", L"C:\\Windows"}};
  TextRead currentDir{0, L"D:\\setup"};
  TextRead systemDir{0, L"C:\\Windows\\system32"};
  LocalTime time{2026, 12, 6, 7, 5, 9};
  // Subdirectories of the current directory, in listing order, with their entries.
  std::vector<std::pair<DirEntry, std::vector<DirEntry>>> tree;
  bool listingFails = false;
  std::map<std::wstring, std::uint32_t> searchErrors;  // by folder: what searching it gives
  std::set<std::wstring> existingPaths;    // taken names with nothing in them, such as folders
  std::set<std::wstring> links;            // taken names that are links: never kept aside
  std::set<std::wstring> heldOpen;         // files another program holds without sharing delete
  std::uint32_t createError = 0;           // why no new file can be created, if it cannot
  std::uint32_t folderError = 0;           // why no folder can be made, if it cannot
  std::uint32_t keepError = 0;             // why no file can be kept aside, if it cannot
  std::set<std::wstring> existingFolders;  // folders there before the run (183 when made)
  std::map<std::wstring, FolderLook> folderLooks;  // unset: SYSTEM's and the Administrators'
  // How a folder looks once the run has made one in it (turned into a link meanwhile, say).
  std::map<std::wstring, FolderLook> folderLooksOnceMadeIn;
  std::wstring account = L"S-1-5-21-7-8-9-500";  // the run's own
  std::deque<InstallerWait> installerWaits;      // the Windows Installer; free when it runs out
  std::uint32_t comResult = 0;                   // CoInitialize's HRESULT
  std::optional<std::vector<std::uint32_t>> msiexecProcesses = std::vector<std::uint32_t>{};
  // Files by path: those here before the run are taken names; the run's own
  // files are added with what it wrote.
  std::map<std::wstring, std::string> files;
  TextRead program{0, L"D:\\setup\\eldoris-setup.exe"};
  std::deque<ChildRun> childRuns;  // {true, 0} when it runs out
  bool childWritesLog = false;     // a child started writes into the log after "/Lv! "
  int productState = 2;            // INSTALLSTATE_ABSENT
  int featureState = 3;            // INSTALLSTATE_LOCAL
  TextRead installedVersion{0, L"2.0.9"};
  std::uint32_t openResult = 0;
  TextRead packageVersion{0, L"2.0.9"};
  std::set<std::wstring> userKeys;         // existing keys under HKCU, 32-bit view
  std::set<std::wstring> keysWithSubkeys;  // cannot be deleted
  std::uint32_t createKeyResult = 0;
  bool restartSucceeds = true;
  std::map<std::wstring, std::uint64_t> keyWriteTimes;  // FILETIMEs; absent: written now
  std::uint64_t now = 134410143090000000u;              // 2026-12-06 07:05:09 UTC
  std::optional<std::uint64_t> sinceStart = 3600000;    // milliseconds; unset: no GetTickCount64
  std::deque<RunLock::State> runLocks;                  // taken when it runs out
  std::deque<std::uint32_t> runLockWaits;   // what each take reports waiting, where given
  std::deque<std::uint32_t> restartErrors;  // the restart call's answers; then restartSucceeds
  // Keys under HKLM, those of them volatile, when each was made; values under HKCU ("path|name").
  std::set<std::wstring> machineKeys, volatileMachineKeys;
  std::map<std::wstring, std::uint64_t> machineKeyTimes;
  // What another run does before this one first asks for the run lock.
  std::function<void(FakePlatform&)> beforeTheLock;
  std::set<std::wstring> madeElsewhere;  // files a link on their path took elsewhere
  // What the path found again from the root shows, where it is not what
  // lookAtFolder showed (a folder replaced since).
  std::map<std::wstring, FolderLook> foundLooks;
  std::vector<std::wstring> placesChecked;  // "root|relative" that findFrom was asked
  FolderLook lookFound(const std::wstring& path) const;
  FolderLook lookOf(const std::wstring& path) const;
  std::map<std::wstring, std::wstring> userValues;  // "key|value name"
  Answer<std::wstring> computer{0, L"PC-01"};

  // --- Record ---
  std::vector<Box> boxes;
  int dialogsShown = 0;
  std::vector<std::wstring> standardOutput;
  std::vector<std::wstring> commandLines;
  std::vector<std::wstring> programs;     // the program path given with each
  std::vector<std::uint32_t> childCodes;  // what each child started ended with
  std::vector<std::wstring> deletedFiles;
  std::vector<std::wstring> folders;               // made, in order
  std::vector<AccessDescription> folderAccess;     // the descriptor each was made with
  std::vector<std::wstring> foldersLookedAt;       // in order
  std::map<std::wstring, std::wstring> moves;      // kept aside: from, to
  std::vector<std::uint32_t> installerWaitsAsked;  // milliseconds
  std::vector<std::uint32_t> runLocksAsked;        // milliseconds
  int runLocksHeld = 0;
  AccessDescription runLockAccess;          // what the lock was asked to be made with
  std::vector<RunLockPlace> runLockPlaces;  // where it was asked for, in order
  bool privateNamespaces = true;            // false: the system lacks them (127)
  std::vector<InstallerBusySign> installerSignsAsked;
  std::vector<std::wstring> searchedPatterns;
  std::vector<std::wstring> openedPackages;
  int openHandles = 0;
  bool internalUiSetToNone = false;
  int msiCallsBeforeInternalUi = 0;
  std::vector<std::wstring> sourceListCalls;
  int restartsStarted = 0;
  std::vector<RestartRequest> restartCalls;
  std::set<std::uint32_t> keyViews;   // the view flags the registry was asked with
  std::vector<std::string> calls;     // the order of notable requests
  std::vector<std::uint32_t> pauses;  // milliseconds
  std::vector<int> locksHeldAtBoxes;  // how many run locks were held as each box showed

  // --- Faults ---
  // Every call that can fail counts, by name, in `failable`; the one whose
  // count is `failAt` (1-based; 0: none) fails as a plausible Windows
  // failure: the error of `faultErrors`, and "fault" goes into `calls` just
  // before it. Past `callBudget` calls a run is taken to loop: it throws.
  std::vector<std::string> failable;
  std::size_t failAt = 0;
  std::string failed;  // the name of the call that failed
  std::map<std::string, std::uint32_t> faultErrors;
  std::size_t callBudget = 20000;
  // The error `call` fails with now, counting it; 0: it does not fail.
  std::uint32_t fault(const char* call);

  // Helpers for scripts.
  void addPackage(const std::wstring& directory, const std::wstring& file);
  void addFolder(const std::wstring& directory, bool isDirectory = true);
  void setTable(const std::map<MessageId, std::wstring>& texts);
  bool markerPresent() const;
  // A full restart of the system: what is volatile is gone, and the clock went on.
  void restartTheSystem();

  // --- Platform ---
  Answer<std::vector<std::uint8_t>> stringTableBlock(unsigned block) override;
  Answer<int> messageBox(const std::wstring& text, const std::wstring& caption,
                         unsigned style) override;
  DialogOutcome showConfigurationDialog(InstallOptions& options, std::uint32_t& error) override;
  DesktopView desktopView() override;
  std::wstring commandLine() override;
  Answer<std::vector<std::wstring>> splitCommandLine(const std::wstring& line) override;
  std::optional<bool> shellIsUserAnAdmin(ShellExport how) override;
  Answer<bool> tokenIsAdministrator() override;
  std::optional<OsVersion> versionRecord(VersionRecord record) override;
  std::optional<OsVersion> kernelVersion() override;
  Answer<bool> isWow64Process() override;
  TextRead environmentVariable(const std::wstring& name) override;
  TextRead currentDirectory() override;
  TextRead fullPath(const std::wstring& path) override;
  TextRead systemDirectory() override;
  LocalTime localTime() override;
  void writeStandardOutput(const std::wstring& line) override;
  TextRead programPath() override;
  std::uint32_t listCurrentDirectory(const std::function<bool(const DirEntry&)>& visit) override;
  Answer<std::optional<DirEntry>> findFirstMatch(const std::wstring& pattern) override;
  std::optional<std::uint64_t> fileSize(const std::wstring& path) override;
  std::uint32_t deleteFile(const std::wstring& path) override;
  KeptAside keepAside(const std::wstring& path, const std::wstring& kept) override;
  std::uint32_t createFolder(const std::wstring& path, const AccessDescription& access) override;
  FolderLook lookAtFolder(const std::wstring& path) override;
  Answer<std::wstring> processAccount() override;
  std::unique_ptr<OutputFile> createNewFile(const std::wstring& path, std::uint32_t& error,
                                            bool renamable) override;
  std::optional<std::vector<std::uint32_t>> processIds(const std::wstring& exeName) override;
  InstallerWait waitForInstaller(InstallerBusySign sign, std::uint32_t milliseconds) override;
  std::uint32_t initializeCom() override;
  void uninitializeCom() override;
  ChildRun runChildProcess(const std::wstring& program, const std::wstring& commandLine) override;
  std::uint32_t msiSetInternalUiNone() override;
  Answer<int> msiQueryProductState(const std::wstring& productCode) override;
  Answer<int> msiQueryFeatureState(const std::wstring& productCode,
                                   const std::wstring& feature) override;
  TextRead msiGetProductInfo(const std::wstring& productCode,
                             const std::wstring& property) override;
  std::uint32_t msiOpenPackage(const std::wstring& path, std::uint32_t& handle) override;
  TextRead msiGetProperty(std::uint32_t handle, const std::wstring& property) override;
  std::uint32_t msiCloseHandle(std::uint32_t handle) override;
  std::uint32_t msiSourceListForceResolution(const std::wstring& productCode) override;
  std::uint32_t msiSourceListSetPackageName(const std::wstring& productCode,
                                            const std::wstring& packageName) override;
  std::uint32_t createUserKey(const std::wstring& path, std::uint32_t view) override;
  std::uint32_t deleteUserKey(const std::wstring& parent, const std::wstring& name,
                              std::uint32_t view) override;
  Answer<std::uint64_t> userKeyWriteTime(const std::wstring& path, std::uint32_t view) override;
  Answer<bool> createMachineKey(const std::wstring& path, std::uint32_t view,
                                bool volatileKey) override;
  std::uint32_t deleteMachineKey(const std::wstring& parent, const std::wstring& name,
                                 std::uint32_t view) override;
  Answer<std::uint64_t> machineKeyWriteTime(const std::wstring& path, std::uint32_t view) override;
  TextRead readUserValue(const std::wstring& path, const std::wstring& name,
                         std::uint32_t view) override;
  Answer<std::vector<std::wstring>> userValueNames(const std::wstring& path,
                                                   std::uint32_t view) override;
  std::uint32_t deleteUserValue(const std::wstring& path, const std::wstring& name,
                                std::uint32_t view) override;
  Answer<std::wstring> computerName() override;
  std::uint32_t writeUserValue(const std::wstring& path, const std::wstring& name,
                               const std::wstring& text, std::uint32_t view) override;
  void pause(std::uint32_t milliseconds) override;
  std::uint64_t systemTimeNow() override;
  std::optional<std::uint64_t> millisecondsSinceStart() override;
  RunLock takeRunLock(const RunLockPlace& place, const AccessDescription& access,
                      std::uint32_t milliseconds) override;
  std::uint32_t restartSystem(const RestartRequest& request) override;

 private:
  void msiCall(const char* name);
};

// A folder as lookAtFolder reads it: owned by `owner`, with `entries`.
inline FolderLook folderOwnedBy(const std::wstring& owner, std::vector<AccessEntry> entries) {
  FolderLook look;
  look.owner = owner;
  look.entries = std::move(entries);
  return look;
}

// The program's real string table, read from its resource script.
const std::map<MessageId, std::wstring>& realMessages();
// Builds string-table blocks in the resource format from id/text pairs.
std::map<unsigned, std::vector<std::uint8_t>> buildStringBlocks(
    const std::map<MessageId, std::wstring>& texts);
// Text of a message of the real table.
std::wstring text(MessageId id);

}  // namespace eldoris::testing
