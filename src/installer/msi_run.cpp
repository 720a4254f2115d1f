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

InstallerResult reportFailure(RunContext& run, bool silent, MessageId id, InstallerResult result) {
  showMessage(run, id, msg::errorCaption, box::iconError, silent);
  return result;
}

// Windows Server 2003 keeps a hash of the old source that would make the
// installer reject the new package's path.
void clearSourceHash(RunContext& run, const std::wstring& productCode) {
  const auto& version = versionOf(run);
  if (!version || version->major != 5 || version->minor != 2) return;
  const TextRead windir = run.platform.environmentVariable(L"WINDIR");
  // Without WINDIR the path would point at the root of the current drive.
  if (windir.result != 0 || windir.text.empty()) return;
  const std::wstring path = windir.text + L"\\installer\\SourceHash" + productCode;
  logEvent(run, L"Windows 5.2: deleting the cached source hash " + path);
  const std::uint32_t deleted = run.platform.deleteFile(path);
  // Where there is none, or it stays, msiexec says whether it takes the source.
  if (deleted != 0) {
    logEvent(run, L"the cached source hash was not deleted (" + windowsErrorMeaning(deleted) +
                      L"); msiexec starts all the same");
  }
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

InstallerResult mapInstallerExitCode(RunContext& run, InstallerResult exitCode) {
  switch (exitCode) {
    case code::rebootInitiated:
    case code::rebootRequired:
    case code::restartRequired:
      logEvent(run, L"the installer asks for a restart (" + decimal(exitCode) + L")");
      run.restartAsked = true;
      createRestartMarker(run);
      return code::success;
    default:
      return exitCode;
  }
}

InstallerResult runMsiInstall(RunContext& run, const std::wstring& productCode,
                              const std::wstring& packageMask, const std::wstring& extraArguments,
                              bool silent, std::wstring& logPath) {
  std::wstring packagePath;
  const InstallerResult found = findPackageFile(run, packageMask, packagePath);
  if (found != 0) return reportFailure(run, silent, msg::packageNotFound, found);
  logEvent(run, L"package to install: " + packagePath);
  const InstallerResult alone = holdRunLock(run);
  if (alone != 0) return alone;
  const InstallerResult free = waitForWindowsInstaller(run, L"msiexec");
  if (free != 0) return free;

  const std::wstring packageName = fileNameOf(packagePath);
  std::wstring ownLog;
  if (!hasLogOption(extraArguments)) {
    const InstallerResult made = makeLogPath(run, packageName, silent, ownLog);
    if (made != 0) return made;
    logPath = ownLog;
    logEvent(run, L"installer log: " + ownLog);
  } else {
    logEvent(run, L"installer log: the user's arguments name one");
  }

  const TextRead systemDirectory = run.platform.systemDirectory();
  if (systemDirectory.result != 0) {
    const InstallerResult failed =
        failedCall(run, L"reading the system directory", systemDirectory.result);
    return reportFailure(run, silent, msg::systemDirectoryUnreadable, failed);
  }

  const std::wstring commandLine =
      buildMsiexecCommandLine(systemDirectory.text, packagePath, ownLog, extraArguments);
  // A fresh installation has no source list yet (1605): msiexec makes it.
  const std::uint32_t resolved = run.platform.msiSourceListForceResolution(productCode);
  const std::uint32_t named = run.platform.msiSourceListSetPackageName(productCode, packageName);
  logEvent(run, L"source list: resolved again (" +
                    (resolved == 0 ? std::wstring(L"done") : windowsErrorMeaning(resolved)) +
                    L"), package name " + packageName + L" (" +
                    (named == 0 ? std::wstring(L"done") : windowsErrorMeaning(named)) + L")");
  clearSourceHash(run, productCode);

  const ChildRun child = runLoggedChild(run, L"", commandLine, L"msiexec", installerCodeMeaning);
  return child.started ? mapInstallerExitCode(run, child.code) : child.code;
}

}  // namespace eldoris
