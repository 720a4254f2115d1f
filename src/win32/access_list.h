// Security descriptors that only SYSTEM and the Administrators can change,
// for what the elevated run makes and no other user may take over.
#pragma once

#include <windows.h>

#include <vector>

namespace eldoris {

// The rights a descriptor grants: SYSTEM and the Administrators `full`,
// the Users `users` (0: nothing).
struct Grants {
  DWORD full;
  DWORD users;
  bool inherited;  // by the files and folders made inside (a folder's)
};

// A protected access list: nothing of a parent's is merged into it where the
// system would (Windows 2000 on). The owner is the Administrators group
// where the caller may name it. error() is the Windows error where it could
// not be built; get() is then null.
class AccessList {
 public:
  AccessList(const Grants& grants, bool ownedByAdministrators);
  ~AccessList();
  AccessList(const AccessList&) = delete;
  AccessList& operator=(const AccessList&) = delete;

  SECURITY_DESCRIPTOR* get() { return error_ == 0 ? &descriptor_ : nullptr; }
  DWORD error() const { return error_; }

 private:
  PSID system_ = nullptr;
  PSID administrators_ = nullptr;
  PSID users_ = nullptr;
  std::vector<DWORD> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  DWORD error_ = 0;
};

// Whether the object's owner is SYSTEM or the Administrators group: what a
// standard user cannot make an object of theirs show.
bool ownedBySystemOrAdministrators(HANDLE object);

}  // namespace eldoris
