#include "installer/package_search.h"

#include "messages/code_meaning.h"
#include "messages/run_log.h"

namespace eldoris {

InstallerResult findPackageFile(RunContext& run, const std::wstring& mask, std::wstring& path) {
  InstallerResult result = code::noData;
  const std::uint32_t listing = run.platform.listCurrentDirectory([&](const DirEntry& entry) {
    if (!entry.isDirectory || entry.name.empty() || entry.name[0] == L'.') return false;
    const auto match = run.platform.findFirstMatch(entry.name + L"\\" + mask);
    // A folder that cannot be searched may hold the package: a later
    // folder's look-alike is not taken in its place. But a link to nothing
    // holds none, and Windows' own folders of a drive's root, which refuse
    // all but the system, hold no package of the media; any other failure
    // of theirs (a drive not ready, a network) may pass.
    const bool holdsNone = (match.error == code::pathNotFound && entry.link) ||
                           (match.error == code::accessDenied && entry.hiddenSystem);
    if (holdsNone) {
      logEvent(run, L"not searched: " + entry.name + L" (" +
                        (entry.hiddenSystem ? L"a hidden system folder" : L"a link to nothing") +
                        L", " + windowsErrorMeaning(match.error) + L")");
      return false;
    }
    if (match.failed()) {
      result = failedCall(run, L"searching " + entry.name + L" for the package", match.error);
      return true;
    }
    if (!match.value) return false;
    const TextRead current = run.platform.currentDirectory();
    result =
        current.result == 0 ? 0 : failedCall(run, L"reading the current directory", current.result);
    if (result == 0) path = joinPath(current.text, entry.name + L"\\" + match.value->name);
    return true;
  });
  if (listing != 0) result = failedCall(run, L"listing the current directory", listing);
  if (result != 0) {
    logEvent(run, L"no package " + mask + L" in a folder below the current directory (error " +
                      decimal(result) + L")");
  }
  return result;
}

}  // namespace eldoris
