#include "installer/package_search.h"

#include "messages/code_meaning.h"
#include "messages/run_log.h"

namespace eldoris {

InstallerResult findPackageFile(RunContext& run, const std::wstring& mask, std::wstring& path) {
  InstallerResult result = code::noData;
  const bool listed = run.platform.listCurrentDirectory([&](const DirEntry& entry) {
    if (!entry.isDirectory || entry.name.empty() || entry.name[0] == L'.') return false;
    const auto match = run.platform.findFirstMatch(entry.name + L"\\" + mask);
    if (!match) return false;
    const TextRead current = run.platform.currentDirectory();
    result = current.result;
    if (result == 0) path = joinPath(current.text, entry.name + L"\\" + match->name);
    if (result != 0) {
      noteCodeSource(run, result,
                     L"the current directory could not be read: " + windowsErrorMeaning(result));
    }
    return true;
  });
  if (!listed) result = code::noData;
  if (result != 0) {
    logEvent(run, L"no package " + mask + L" in a folder below the current directory (error " +
                      decimal(result) + L")");
  }
  return result;
}

}  // namespace eldoris
