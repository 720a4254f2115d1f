// Directory listing and file queries.
#include <windows.h>
#include <winternl.h>

#include <algorithm>

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
  constexpr DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return {data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
          (data.dwFileAttributes & hiddenSystem) == hiddenSystem,
          // dwReserved0 is the reparse tag where the attribute is set: a
          // cloud file's or a deduplicated folder's is no link.
          (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
              (data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT ||
               data.dwReserved0 == IO_REPARSE_TAG_SYMLINK)};
}

}  // namespace

std::uint32_t Win32Platform::listCurrentDirectory(
    const std::function<bool(const DirEntry&)>& visit) {
  WIN32_FIND_DATAW data{};
  FindHandle listing(FindFirstFileW(L"*", &data));
  if (!listing.valid()) {
    // A root holds no "." entry: an empty one finds nothing.
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : error;
  }
  do {
    if (visit(toEntry(data))) return 0;
  } while (FindNextFileW(listing.get(), &data));
  const DWORD error = GetLastError();
  return error == ERROR_NO_MORE_FILES ? 0 : error;
}

Answer<std::optional<DirEntry>> Win32Platform::findFirstMatch(const std::wstring& pattern) {
  WIN32_FIND_DATAW data{};
  FindHandle search(FindFirstFileW(pattern.c_str(), &data));
  if (!search.valid()) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return {0, std::nullopt};  // no match
    return {error, std::nullopt};
  }
  return {0, toEntry(data)};
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

std::uint32_t Win32Platform::deleteFile(const std::wstring& path) {
  return DeleteFileW(path.c_str()) ? 0 : GetLastError();
}

namespace {

// Opens what `path` names itself, a link never followed, a folder too.
HANDLE openItself(const std::wstring& path, DWORD access) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

AccessEntry::Kind entryKind(BYTE type) {
  switch (type) {
    case ACCESS_ALLOWED_ACE_TYPE:
      return AccessEntry::Kind::allow;
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
      return AccessEntry::Kind::deny;
    default:
      return AccessEntry::Kind::other;
  }
}

// The owner and the access list of an open file or folder.
void readSecurity(HANDLE handle, FolderLook& look) {
  const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  GetKernelObjectSecurity(handle, wanted, nullptr, 0, &size);
  std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
  PSID owner = nullptr;
  PACL acl = nullptr;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  if (size == 0 || !GetKernelObjectSecurity(handle, wanted, buffer.data(), size, &size) ||
      !GetSecurityDescriptorOwner(buffer.data(), &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(buffer.data(), &present, &acl, &defaulted)) {
    look.error = GetLastError();
    return;
  }
  look.owner = sidText(owner);
  // No list, or a null one: "the system allows all access to everyone" either way.
  look.nullAccessList = !present || acl == nullptr;
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) {
      look.error = GetLastError();
      return;
    }
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    AccessEntry entry{entryKind(header->AceType), std::wstring(), 0, header->AceFlags};
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      entry.trustee = sidText(const_cast<DWORD*>(&allowed->SidStart));
      entry.rights = allowed->Mask;
    }
    look.entries.push_back(entry);
  }
}

// GetDriveTypeW takes a root with its backslash: "C:\", "\\server\share\". A
// network drive is told before it is opened, which may fail for want of the
// server.
bool isNetworkRoot(const std::wstring& path) {
  return !path.empty() && path.back() == L'\\' && GetDriveTypeW(path.c_str()) == DRIVE_REMOTE;
}

// What a folder's handle shows: attributes and descriptor of one handle, so
// that what is judged is what was opened.
FolderLook lookThrough(HANDLE folder, const BY_HANDLE_FILE_INFORMATION& info) {
  FolderLook look;
  look.isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  look.reparsePoint = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  readSecurity(folder, look);
  return look;
}

}  // namespace

FolderLook Win32Platform::lookAtFolder(const std::wstring& path) {
  FolderLook look;
  look.remote = isNetworkRoot(path);
  if (look.remote) return look;
  OwnedHandle folder(openItself(path, READ_CONTROL | FILE_READ_ATTRIBUTES));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!folder.valid() || !GetFileInformationByHandle(folder.get(), &info)) {
    look.error = GetLastError();
    return look;
  }
  return lookThrough(folder.get(), info);
}

Answer<std::wstring> Win32Platform::processAccount() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {GetLastError(), {}};
  OwnedHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
    return {GetLastError(), {}};
  }
  return {0, sidText(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid)};
}

KeptAside Win32Platform::keepAside(const std::wstring& path, const std::wstring& kept) {
  // Asking to delete: a file whose writer does not share that is refused
  // here, and so never renamed.
  OwnedHandle file(openItself(path, DELETE | FILE_READ_ATTRIBUTES));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file.valid() || !GetFileInformationByHandle(file.get(), &info)) {
    return {KeptAside::Outcome::failed, GetLastError()};
  }
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return {KeptAside::Outcome::notAFile, 0};
  }
  // Renamed by its name while the handle holds it: in a folder that no
  // other account may change, the name is still the file just looked at.
  if (!MoveFileExW(path.c_str(), kept.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return {KeptAside::Outcome::failed, GetLastError()};
  }
  return {KeptAside::Outcome::kept, 0};
}

std::uint32_t Win32Platform::createFolder(const std::wstring& path,
                                          const AccessDescription& access) {
  // Owned by the Administrators where asked and the token may name them,
  // else by the token's default owner.
  for (const bool administratorsOwn : {access.ownedByAdministrators, false}) {
    AccessList list(access, administratorsOwn);
    if (list.get() == nullptr) return list.error();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, list.get(), FALSE};
    if (CreateDirectoryW(path.c_str(), &attributes)) return 0;
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_OWNER || !administratorsOwn) return error;
  }
  return ERROR_INVALID_OWNER;
}

namespace {

class Win32OutputFile final : public OutputFile {
 public:
  explicit Win32OutputFile(HANDLE file) : file_(file) {}
  ~Win32OutputFile() override { CloseHandle(file_); }
  Win32OutputFile(const Win32OutputFile&) = delete;
  Win32OutputFile& operator=(const Win32OutputFile&) = delete;

  std::uint32_t renameTo(const std::wstring& path) override {
    // Through the handle, which alone may delete the file: NtSetInformationFile
    // (every Windows NT) with a simple NT path, as SetFileInformationByHandle
    // (Vista on) passes it.
    using SetInformation = LONG(WINAPI*)(HANDLE, void*, void*, ULONG, int);
    using StatusToError = ULONG(WINAPI*)(LONG);
    const auto set = lookUpSystemFunction<SetInformation>(L"ntdll.dll", "NtSetInformationFile");
    const auto toError = lookUpSystemFunction<StatusToError>(L"ntdll.dll", "RtlNtStatusToDosError");
    if (set == nullptr || toError == nullptr) return ERROR_PROC_NOT_FOUND;
    // "\\?\C:\..." and "\\.\C:\..." name the same as "C:\...".
    const bool prefixed = path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0;
    const std::wstring target = L"\\??\\" + (prefixed ? path.substr(4) : path);
    struct Rename {  // FILE_RENAME_INFORMATION
      BOOLEAN replaceIfExists;
      HANDLE rootDirectory;
      ULONG fileNameLength;
      WCHAR fileName[1];
    };
    std::vector<DWORD> buffer((sizeof(Rename) + target.size() * sizeof(WCHAR)) / sizeof(DWORD) + 1);
    auto* rename = reinterpret_cast<Rename*>(buffer.data());
    rename->replaceIfExists = FALSE;
    rename->rootDirectory = nullptr;
    const std::size_t nameBytes = target.size() * sizeof(WCHAR);
    rename->fileNameLength = static_cast<ULONG>(nameBytes);
    std::copy(target.begin(), target.end(), rename->fileName);
    ULONG_PTR status[2] = {};  // IO_STATUS_BLOCK
    constexpr int fileRenameInformation = 10;
    const std::size_t bufferBytes = buffer.size() * sizeof(DWORD);
    const LONG result =
        set(file_, status, rename, static_cast<ULONG>(bufferBytes), fileRenameInformation);
    return result == 0 ? 0 : toError(result);
  }

  Answer<FoundPath> findFrom(const std::wstring& root, const std::wstring& relative) override {
    // NtOpenFile relative to a handle (every Windows NT): each name is looked
    // up in the folder that handle holds, and each folder is judged by what
    // that same handle reads, so nothing can be swapped between the two.
    using OpenFile =
        LONG(WINAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, ULONG, ULONG);
    using StatusToError = ULONG(WINAPI*)(LONG);
    const auto open = lookUpSystemFunction<OpenFile>(L"ntdll.dll", "NtOpenFile");
    const auto toError = lookUpSystemFunction<StatusToError>(L"ntdll.dll", "RtlNtStatusToDosError");
    if (open == nullptr || toError == nullptr) return {ERROR_PROC_NOT_FOUND, {}};
    FoundPath found;
    // A letter mapped to a share since the first look: told before it is opened.
    if (isNetworkRoot(root)) {
      FolderLook look;
      look.remote = true;
      found.folders.push_back(look);
      return {0, found};
    }
    constexpr DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    OwnedHandle at(openItself(root, access));
    if (!at.valid()) return {GetLastError(), {}};
    for (std::size_t start = 0;;) {
      BY_HANDLE_FILE_INFORMATION info{};
      if (!GetFileInformationByHandle(at.get(), &info)) return {GetLastError(), {}};
      if (start > relative.size()) {  // the file itself
        BY_HANDLE_FILE_INFORMATION mine{};
        if (!GetFileInformationByHandle(file_, &mine)) return {GetLastError(), {}};
        found.sameFile = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                         info.dwVolumeSerialNumber == mine.dwVolumeSerialNumber &&
                         info.nFileIndexHigh == mine.nFileIndexHigh &&
                         info.nFileIndexLow == mine.nFileIndexLow;
        return {0, found};
      }
      const FolderLook look = lookThrough(at.get(), info);
      found.folders.push_back(look);
      if (look.reparsePoint) return {0, found};  // not followed
      const std::size_t end = std::min(relative.find(L'\\', start), relative.size());
      std::wstring name = relative.substr(start, end - start);
      const auto bytes = static_cast<USHORT>(name.size() * sizeof(wchar_t));
      UNICODE_STRING text{bytes, bytes, name.data()};
      constexpr ULONG caseInsensitive = 0x40;  // OBJ_CASE_INSENSITIVE, as Win32's own opens
      OBJECT_ATTRIBUTES attributes{sizeof attributes, at.get(), &text,
                                   caseInsensitive,   nullptr,  nullptr};
      IO_STATUS_BLOCK status{};
      constexpr ULONG options = 0x00200000     // FILE_OPEN_REPARSE_POINT
                                | 0x00004000   // FILE_OPEN_FOR_BACKUP_INTENT: folders too
                                | 0x00000020;  // FILE_SYNCHRONOUS_IO_NONALERT
      HANDLE next = nullptr;
      const LONG opened = open(
          &next, end < relative.size() ? access : FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes,
          &status, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, options);
      if (opened != 0) return {toError(opened), {}};
      at.reset(next);
      start = end + 1;
    }
  }

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
                                                         std::uint32_t& error, bool renamable) {
  // CREATE_NEW fails on any existing name, so nothing is overwritten; with
  // FILE_FLAG_OPEN_REPARSE_POINT a link whose target is missing counts as
  // existing too, instead of being followed to create that target. No
  // security attributes: the handle is not inherited. Shared for reading
  // only: while the run writes its log, no other run can rename, replace or
  // delete it.
  // DELETE only where the run renames its log through this handle
  // (renameTo): others who open a file with a DELETE handle must share
  // deleting, which a viewer seldom does.
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE | (renamable ? DELETE : 0), FILE_SHARE_READ, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  error = 0;
  return std::make_unique<Win32OutputFile>(file);
}

}  // namespace eldoris
