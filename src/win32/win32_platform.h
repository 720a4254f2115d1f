// The Win32 implementation of the seam: it translates, it decides nothing.
#pragma once

#include <windows.h>

#include "platform/platform.h"
#include "win32/msi_library.h"

namespace eldoris {

// A FILETIME as the one 64-bit count it is: 100 ns since 1601, UTC.
inline std::uint64_t fileTimeValue(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class RunNamespace;

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(HINSTANCE instance);
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  Answer<std::vector<std::uint8_t>> stringTableBlock(unsigned block) override;
  Answer<int> messageBox(const std::wstring& text, const std::wstring& caption,
                         unsigned style) override;
  DialogOutcome showConfigurationDialog(InstallOptions& options, std::uint32_t& error) override;

  DesktopView desktopView() override;
  std::wstring commandLine() override;
  Answer<std::vector<std::wstring>> splitCommandLine(const std::wstring& commandLine) override;
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

  ChildRun runChildProcess(const std::wstring& program, const std::wstring& commandLine) override;

  std::optional<std::vector<std::uint32_t>> processIds(const std::wstring& exeName) override;

  InstallerWait waitForInstaller(InstallerBusySign sign, std::uint32_t milliseconds) override;
  RunLock takeRunLock(const RunLockPlace& place, const AccessDescription& access,
                      std::uint32_t milliseconds) override;
  std::uint32_t initializeCom() override;
  void uninitializeCom() override;
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

  std::uint32_t restartSystem(const RestartRequest& request) override;

 private:
  HINSTANCE instance_;
  MsiLibrary msi_;
  // The run lock's private namespace, open from the first take to the end.
  std::unique_ptr<RunNamespace> runNamespace_;
};

}  // namespace eldoris
