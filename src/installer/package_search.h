// Finding an installer package in the folders beside the bootstrapper.
#pragma once

#include <string>

#include "context/run_context.h"
#include "platform/platform.h"

namespace eldoris {

// `directory`, a backslash unless it ends in one (the root of a drive, D:\), and `name`.
inline std::wstring joinPath(const std::wstring& directory, const std::wstring& name) {
  const bool endsInSlash = !directory.empty() && directory.back() == L'\\';
  return directory + (endsInSlash ? L"" : L"\\") + name;
}

// The first entry matching `mask` inside an immediate subdirectory of the
// current directory (dot folders skipped), in listing order. Returns 0 and the
// full path, 232 when nothing matches, or the error of reading the current
// directory; a failure is named in the run's log.
InstallerResult findPackageFile(RunContext& run, const std::wstring& mask, std::wstring& path);

}  // namespace eldoris
