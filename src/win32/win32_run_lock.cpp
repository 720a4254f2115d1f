// The lock that keeps runs of the program apart.
#include "win32/access_list.h"
#include "win32/last_error.h"
#include "win32/owned_handle.h"
#include "win32/system_function.h"
#include "win32/win32_platform.h"

namespace eldoris {

namespace {

// Windows Vista on: looked up at run time.
using CreateBoundary = HANDLE(WINAPI*)(LPCWSTR, ULONG);
using AddSid = BOOL(WINAPI*)(HANDLE*, PSID);
using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
using CloseNamespace = BOOLEAN(WINAPI*)(HANDLE, ULONG);
using DeleteBoundary = VOID(WINAPI*)(HANDLE);

struct NamespaceFunctions {
  CreateBoundary createBoundary =
      lookUpSystemFunction<CreateBoundary>(L"kernel32.dll", "CreateBoundaryDescriptorW");
  AddSid addSid = lookUpSystemFunction<AddSid>(L"kernel32.dll", "AddSIDToBoundaryDescriptor");
  CreateNamespace create =
      lookUpSystemFunction<CreateNamespace>(L"kernel32.dll", "CreatePrivateNamespaceW");
  OpenNamespace open =
      lookUpSystemFunction<OpenNamespace>(L"kernel32.dll", "OpenPrivateNamespaceW");
  CloseNamespace close =
      lookUpSystemFunction<CloseNamespace>(L"kernel32.dll", "ClosePrivateNamespace");
  DeleteBoundary deleteBoundary =
      lookUpSystemFunction<DeleteBoundary>(L"kernel32.dll", "DeleteBoundaryDescriptor");
  bool present() const {
    return createBoundary && addSid && create && open && close && deleteBoundary;
  }
};

// An open private namespace; closed, not destroyed, when it goes. The run
// keeps it open to its end: "After the namespace handle is closed,
// subsequent calls to OpenPrivateNamespace fail" (CreatePrivateNamespaceW),
// while other runs may be waiting in it.
class Namespace {
 public:
  Namespace() = default;
  ~Namespace() {
    if (handle_ != nullptr) functions_.close(handle_, 0);
  }
  Namespace(const Namespace&) = delete;
  Namespace& operator=(const Namespace&) = delete;

  // Makes it, or opens the one another run made: bounded by the
  // Administrators' SID, which a standard user's token lacks.
  DWORD open(const RunLockPlace& place) {
    if (handle_ != nullptr) return 0;
    if (!functions_.present()) return ERROR_PROC_NOT_FOUND;
    HANDLE boundary = functions_.createBoundary(place.namespaceAlias.c_str(), 0);
    // A stub that names no error makes no namespace either.
    if (boundary == nullptr) return lastErrorOr(ERROR_PROC_NOT_FOUND);
    DWORD error = 0;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &administrators) ||
        !functions_.addSid(&boundary, administrators)) {
      error = GetLastError();
    } else {
      error = makeOrOpen(boundary, place);
    }
    if (administrators != nullptr) FreeSid(administrators);
    functions_.deleteBoundary(boundary);
    return error;
  }

 private:
  // Made, or opened where another run made it; that one may go as it is
  // opened (with the run that made it), and it is made again then.
  DWORD makeOrOpen(HANDLE boundary, const RunLockPlace& place) {
    AccessList access(place.namespaceAccess, place.namespaceAccess.ownedByAdministrators);
    if (access.get() == nullptr) return access.error();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, access.get(), FALSE};
    const wchar_t* alias = place.namespaceAlias.c_str();
    handle_ = functions_.create(&attributes, boundary, alias);
    DWORD error = handle_ != nullptr ? 0 : lastErrorOr(ERROR_INVALID_HANDLE);
    for (int attempt = 0; error == ERROR_ALREADY_EXISTS && attempt < 3; ++attempt) {
      handle_ = functions_.open(boundary, alias);
      if (handle_ == nullptr) handle_ = functions_.create(&attributes, boundary, alias);
      error = handle_ != nullptr ? 0 : lastErrorOr(ERROR_INVALID_HANDLE);
    }
    return error;
  }

  NamespaceFunctions functions_;
  HANDLE handle_ = nullptr;
};

class HeldMutex final : public HeldLock {
 public:
  explicit HeldMutex(HANDLE mutex) : mutex_(mutex) {}
  ~HeldMutex() override {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  HeldMutex(const HeldMutex&) = delete;
  HeldMutex& operator=(const HeldMutex&) = delete;

 private:
  HANDLE mutex_;
};

// Owned by the Administrators where the description asks and the token may
// name them (an administrator's, the system account's), else by the
// caller's default owner.
HANDLE createMutex(const std::wstring& name, const AccessDescription& description, DWORD& error) {
  for (const bool administratorsOwn : {description.ownedByAdministrators, false}) {
    AccessList access(description, administratorsOwn);
    if (access.get() == nullptr) {
      error = access.error();
      return nullptr;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, access.get(), FALSE};
    HANDLE mutex = CreateMutexW(&attributes, FALSE, name.c_str());
    error = GetLastError();
    if (mutex != nullptr || error != ERROR_INVALID_OWNER) return mutex;
  }
  return nullptr;
}

}  // namespace

class RunNamespace : public Namespace {};

Win32Platform::Win32Platform(HINSTANCE instance)
    : instance_(instance), runNamespace_(std::make_unique<RunNamespace>()) {}

Win32Platform::~Win32Platform() = default;

RunLock Win32Platform::takeRunLock(const RunLockPlace& place, const AccessDescription& access,
                                   std::uint32_t milliseconds) {
  using State = RunLock::State;
  if (!place.namespaceAlias.empty()) {
    const DWORD opened = runNamespace_->open(place);
    if (opened != 0) return {State::unknown, opened, 0, nullptr};
  }
  DWORD error = 0;
  OwnedHandle mutex(createMutex(place.mutexName, access, error));
  if (!mutex.valid()) return {lockStateOfRefusal(error), error, 0, nullptr};
  if (error == ERROR_ALREADY_EXISTS && !ownedBySystemOrAdministrators(mutex.get())) {
    return {State::foreign, 0, 0, nullptr};
  }
  std::uint32_t took = 0;
  const DWORD waited = mutex.wait(milliseconds, took);
  switch (waited) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // a run that ended without releasing it: free
      return {State::taken, 0, took, std::make_unique<HeldMutex>(mutex.release())};
    case WAIT_TIMEOUT:
      return {State::held, 0, took, nullptr};
    default:
      return {State::unknown, GetLastError(), took, nullptr};
  }
}

}  // namespace eldoris
