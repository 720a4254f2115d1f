// Directory listing and file queries.
#include <windows.h>

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

std::uint32_t Win32Platform::moveFileOver(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : GetLastError();
}

namespace {

// SYSTEM, the Administrators and the Users, as the access list names them.
struct Trustee {
  DWORD subAuthorities;
  DWORD first;
  DWORD second;
  DWORD rights;
};

constexpr DWORD readAndList = FILE_GENERIC_READ | FILE_EXECUTE;  // FILE_EXECUTE: traverse
constexpr Trustee folderTrustees[] = {
    {1, SECURITY_LOCAL_SYSTEM_RID, 0, FILE_ALL_ACCESS},
    {2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, FILE_ALL_ACCESS},
    {2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, readAndList},
};

// The SIDs of folderTrustees, freed with it.
class TrusteeSids {
 public:
  TrusteeSids() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    for (std::size_t i = 0; i < 3; ++i) {
      const Trustee& t = folderTrustees[i];
      if (!AllocateAndInitializeSid(&nt, static_cast<BYTE>(t.subAuthorities), t.first, t.second, 0,
                                    0, 0, 0, 0, 0, &sids_[i])) {
        sids_[i] = nullptr;
      }
    }
  }
  ~TrusteeSids() {
    for (PSID sid : sids_) {
      if (sid != nullptr) FreeSid(sid);
    }
  }
  TrusteeSids(const TrusteeSids&) = delete;
  TrusteeSids& operator=(const TrusteeSids&) = delete;
  PSID operator[](std::size_t i) const { return sids_[i]; }
  bool complete() const { return sids_[0] && sids_[1] && sids_[2]; }

 private:
  PSID sids_[3] = {};
};

}  // namespace

std::uint32_t Win32Platform::createProtectedFolder(const std::wstring& path) {
  // With no security descriptor a folder inherits its parent's access list,
  // which under C:\ lets Authenticated Users change what is in it.
  const TrusteeSids sids;
  if (!sids.complete()) return GetLastError();
  DWORD size = sizeof(ACL);
  for (std::size_t i = 0; i < 3; ++i) {
    size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sids[i]);
  }
  std::vector<DWORD> aclBuffer(size / sizeof(DWORD) + 1);
  auto* acl = reinterpret_cast<PACL>(aclBuffer.data());
  if (!InitializeAcl(acl, size, ACL_REVISION)) return GetLastError();
  for (std::size_t i = 0; i < 3; ++i) {
    // AddAccessAllowedAce (NT 3.1) gives no inheritance flags: set in the
    // entry itself, so that the logs made in the folder get the same list.
    void* ace = nullptr;
    if (!AddAccessAllowedAce(acl, ACL_REVISION, folderTrustees[i].rights, sids[i]) ||
        !GetAce(acl, static_cast<DWORD>(i), &ace)) {
      return GetLastError();
    }
    static_cast<ACE_HEADER*>(ace)->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  }
  SECURITY_DESCRIPTOR descriptor{};
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) {
    return GetLastError();
  }
  // From Windows 2000 on a given list is merged with what the parent lets its
  // children inherit, unless it is protected; NT 4.0 takes it as it is.
  using SetControl =
      BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL);
  const auto setControl =
      lookUpSystemFunction<SetControl>(L"advapi32.dll", "SetSecurityDescriptorControl");
  if (setControl != nullptr && !setControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return GetLastError();
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
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
