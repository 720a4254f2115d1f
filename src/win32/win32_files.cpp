// Directory listing and file queries.
#include <windows.h>

#include "text/ascii.h"
#include "win32/access_list.h"
#include "win32/owned_handle.h"
#include "win32/system_function.h"
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

std::optional<std::uint64_t> Win32Platform::fileSize(const std::wstring& path) {
  // A search for the name itself: the C runtime's stat is missing from NT
  // 4.0's msvcrt.dll, and the search is imported already. A wildcard would
  // find some other file.
  if (path.find_first_of(L"?*") != std::wstring::npos) return std::nullopt;
  WIN32_FIND_DATAW data{};
  FindHandle search(FindFirstFileW(path.c_str(), &data));
  if (!search.valid()) return std::nullopt;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void Win32Platform::deleteFile(const std::wstring& path) { DeleteFileW(path.c_str()); }

namespace {

// Whether GetFinalPathNameByHandleW's path, without its "\\?\" (or
// "\\?\UNC\" for "\\"), is `path`, ASCII letters in any case.
bool samePath(std::wstring final, const std::wstring& path) {
  if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    final = L"\\\\" + final.substr(8);
  } else if (final.rfind(L"\\\\?\\", 0) == 0) {
    final = final.substr(4);
  }
  return equalsIgnoringAsciiCase(final, path);
}

}  // namespace

bool Win32Platform::isPlainFile(const std::wstring& path) {
  if (path.find_first_of(L"?*") != std::wstring::npos) return false;
  // The search reports a link's own attributes.
  WIN32_FIND_DATAW data{};
  if (!FindHandle(FindFirstFileW(path.c_str(), &data)).valid() ||
      (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return false;
  }
  // A file reached through a link elsewhere, or through a linked folder, has
  // another final path. Before Vista, which lacks the call, NTFS knows no
  // links to files, and a junction shows as a folder above.
  using FinalPath = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  const auto finalPath =
      lookUpSystemFunction<FinalPath>(L"kernel32.dll", "GetFinalPathNameByHandleW");
  if (finalPath == nullptr) return true;
  // Attributes only: a viewer's sharing does not refuse it.
  OwnedHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
  if (!file.valid()) return false;
  std::wstring final(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length = finalPath(file.get(), &final[0], static_cast<DWORD>(final.size()), 0);
    if (length == 0) return false;
    if (length < final.size()) return samePath(final.substr(0, length), path);
    final.assign(length, L'\0');
  }
  return false;
}

std::uint32_t Win32Platform::moveFileOver(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : GetLastError();
}

std::uint32_t Win32Platform::createProtectedFolder(const std::wstring& path) {
  // With no security descriptor a folder inherits its parent's access list,
  // which under C:\ lets Authenticated Users change what is in it. Users may
  // read and list (FILE_EXECUTE: traverse) what the run writes.
  AccessList access({FILE_ALL_ACCESS, FILE_GENERIC_READ | FILE_EXECUTE, true}, false);
  if (access.get() == nullptr) return access.error();
  SECURITY_ATTRIBUTES attributes{sizeof attributes, access.get(), FALSE};
  return CreateDirectoryW(path.c_str(), &attributes) ? 0 : GetLastError();
}

namespace {

class Win32OutputFile final : public OutputFile {
 public:
  explicit Win32OutputFile(HANDLE file) : file_(file) {}
  ~Win32OutputFile() override { CloseHandle(file_); }
  Win32OutputFile(const Win32OutputFile&) = delete;
  Win32OutputFile& operator=(const Win32OutputFile&) = delete;

  bool write(const std::vector<char>& bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD written = 0;
      if (!WriteFile(file_, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                     nullptr) ||
          written == 0) {
        return false;
      }
      done += written;
    }
    return true;
  }

 private:
  HANDLE file_;
};

}  // namespace

std::unique_ptr<OutputFile> Win32Platform::createNewFile(const std::wstring& path,
                                                         std::uint32_t& error) {
  // CREATE_NEW fails on any existing name, so nothing is overwritten; with
  // FILE_FLAG_OPEN_REPARSE_POINT a link whose target is missing counts as
  // existing too, instead of being followed to create that target. No
  // security attributes: the handle is not inherited. FILE_SHARE_DELETE lets
  // the program rename the file it writes (a log put in place of another).
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  error = 0;
  return std::make_unique<Win32OutputFile>(file);
}

}  // namespace eldoris
