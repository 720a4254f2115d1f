// Security descriptors that only SYSTEM and the Administrators can change,
// for what the elevated run makes and no other user may take over.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace eldoris {

// A protected access list built from `description`: nothing of a parent's
// is merged into it where the system would (Windows 2000 on). The owner is
// the Administrators group where `ownedByAdministrators` (the caller must
// be allowed to name it). error() is the Windows error where it could not
// be built; get() is then null.
class AccessList {
 public:
  AccessList(const AccessDescription& description, bool ownedByAdministrators);
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

// A SID as text, "S-1-5-32-544", without ConvertSidToStringSidW, which
// Windows NT 4.0 lacks; empty for an invalid SID.
std::wstring sidText(PSID sid);

// Whether the object's owner is SYSTEM or the Administrators group: what a
// standard user cannot make an object of theirs show.
bool ownedBySystemOrAdministrators(HANDLE object);

}  // namespace eldoris
