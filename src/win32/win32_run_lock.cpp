// The lock that keeps runs of the program apart.
#include "win32/access_list.h"
#include "win32/owned_handle.h"
#include "win32/win32_platform.h"

namespace eldoris {

namespace {

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

RunLock Win32Platform::takeRunLock(const std::wstring& name, const AccessDescription& access,
                                   std::uint32_t milliseconds) {
  using State = RunLock::State;
  DWORD error = 0;
  OwnedHandle mutex(createMutex(name, access, error));
  // Ours grants every administrator full access: one that refuses is another's.
  if (!mutex.valid()) {
    return {error == ERROR_ACCESS_DENIED ? State::foreign : State::unknown, error, 0, nullptr};
  }
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
