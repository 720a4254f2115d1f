// Directory listing and file queries.
#include <windows.h>
#include <sys/stat.h>

#include "win32/win32_platform.h"

namespace eldoris {

namespace {

// Owns a search handle.
class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (valid()) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

DirEntry toEntry(const WIN32_FIND_DATAW& data) {
  return {data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}

}  // namespace

bool Win32Platform::listCurrentDirectory(const std::function<bool(const DirEntry&)>& visit) {
  WIN32_FIND_DATAW data{};
  FindHandle listing(FindFirstFileW(L"*", &data));
  if (!listing.valid()) return false;
  do {
    if (visit(toEntry(data))) return true;
  } while (FindNextFileW(listing.get(), &data));
  return true;
}

std::optional<DirEntry> Win32Platform::findFirstMatch(const std::wstring& pattern) {
  WIN32_FIND_DATAW data{};
  FindHandle search(FindFirstFileW(pattern.c_str(), &data));
  if (!search.valid()) return std::nullopt;
  return toEntry(data);
}

bool Win32Platform::pathExists(const std::wstring& path) {
  struct _stat64 status {};
  return _wstat64(path.c_str(), &status) == 0;
}

void Win32Platform::deleteFile(const std::wstring& path) { DeleteFileW(path.c_str()); }

}  // namespace eldoris
