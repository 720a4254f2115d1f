#include "installer/msi_run.h"

#include "installer/child_run.h"
#include "installer/installer_wait.h"
#include "installer/log_name.h"
#include "installer/package_search.h"
#include "installer/text_search.h"
#include "messages/code_meaning.h"
#include "messages/message_ids.h"
#include "messages/messages.h"
#include "messages/run_log.h"
#include "restart/restart_marker.h"

namespace eldoris {

namespace {

InstallerResult reportFailure(Platform& platform, bool silent, MessageId id,
                              InstallerResult result) {
  showMessage(platform, id, messageText(platform, msg::errorCaption), box::iconError, silent);
  return result;
}

// Windows Server 2003 keeps a hash of the old source that would make the
// installer reject the new package's path.
void clearSourceHash(Platform& platform, const std::wstring& productCode) {
  const auto version = platform.windowsVersion();
  if (!version || version->major != 5 || version->minor != 2) return;
  const TextRead windir = platform.environmentVariable(L"WINDIR");
  // Without WINDIR the path would point at the root of the current drive.
  if (windir.result != 0 || windir.text.empty()) return;
  const std::wstring path = windir.text + L"\\installer\\SourceHash" + productCode;
  logEvent(platform, L"Windows 5.2: deleting the cached source hash " + path);
  platform.deleteFile(path);
}

}  // namespace

std::wstring fileNameOf(const std::wstring& path) {
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring buildMsiexecCommandLine(const std::wstring& systemDirectory,
                                     const std::wstring& packagePath, const std::wstring& logPath,
                                     const std::wstring& extraArguments) {
  std::wstring line = L"\"" + systemDirectory + L"\\msiexec.exe\" /i \"" + packagePath + L"\" ";
  if (!logPath.empty()) line += L"/Lv! \"" + logPath + L"\"";
  line += L" REBOOT=R ";
  line += extraArguments;
  return line;
}

InstallerResult mapInstallerExitCode(Platform& platform, InstallerResult exitCode) {
  switch (exitCode) {
    case code::rebootInitiated:
    case code::rebootRequired:
    case code::restartRequired:
      logEvent(platform, L"the installer asks for a restart (" + decimal(exitCode) + L")");
      createRestartMarker(platform);
      return code::success;
    default:
      return exitCode;
  }
}

InstallerResult runMsiInstall(Platform& platform, const std::wstring& productCode,
                              const std::wstring& packageMask, const std::wstring& extraArguments,
                              bool silent, std::wstring& logPath) {
  std::wstring packagePath;
  const InstallerResult found = findPackageFile(platform, packageMask, packagePath);
  if (found != 0) return reportFailure(platform, silent, msg::packageNotFound, found);
  logEvent(platform, L"package to install: " + packagePath);
  const InstallerResult free = waitForWindowsInstaller(platform, L"msiexec");
  if (free != 0) return free;

  const std::wstring packageName = fileNameOf(packagePath);
  std::wstring ownLog;
  if (!hasLogOption(extraArguments)) {
    const InstallerResult made = makeLogPath(platform, packageName, silent, ownLog);
    if (made != 0) return made;
    logPath = ownLog;
    logEvent(platform, L"installer log: " + ownLog);
  } else {
    logEvent(platform, L"installer log: the user's arguments name one");
  }

  const TextRead systemDirectory = platform.systemDirectory();
  if (systemDirectory.result != 0) {
    logEvent(platform,
             L"system directory unreadable (error " + decimal(systemDirectory.result) + L")");
    noteCodeSource(
        platform, systemDirectory.result,
        L"the system directory could not be read: " + windowsErrorMeaning(systemDirectory.result));
    return reportFailure(platform, silent, msg::systemDirectoryUnreadable, systemDirectory.result);
  }

  const std::wstring commandLine =
      buildMsiexecCommandLine(systemDirectory.text, packagePath, ownLog, extraArguments);
  logEvent(platform, L"source list: resolved again, package name " + packageName);
  platform.msiSourceListForceResolution(productCode);
  platform.msiSourceListSetPackageName(productCode, packageName);
  clearSourceHash(platform, productCode);

  const ChildRun run = runLoggedChild(platform, L"", commandLine, L"msiexec", installerCodeMeaning);
  return run.started ? mapInstallerExitCode(platform, run.code) : run.code;
}

}  // namespace eldoris
