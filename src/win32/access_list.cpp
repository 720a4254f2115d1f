#include "win32/access_list.h"

#include "win32/system_function.h"

namespace eldoris {

namespace {

PSID allocateSid(DWORD count, DWORD first, DWORD second, DWORD& error) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  if (!AllocateAndInitializeSid(&nt, static_cast<BYTE>(count), first, second, 0, 0, 0, 0, 0, 0,
                                &sid)) {
    if (error == 0) error = GetLastError();
    return nullptr;
  }
  return sid;
}

PSID systemSid(DWORD& error) { return allocateSid(1, SECURITY_LOCAL_SYSTEM_RID, 0, error); }
PSID administratorsSid(DWORD& error) {
  return allocateSid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, error);
}

}  // namespace

AccessList::AccessList(const Grants& grants, bool ownedByAdministrators) {
  system_ = systemSid(error_);
  administrators_ = administratorsSid(error_);
  if (grants.users != 0) {
    users_ = allocateSid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, error_);
  }
  if (error_ != 0) return;
  const PSID trustees[] = {system_, administrators_, users_};
  const DWORD rights[] = {grants.full, grants.full, grants.users};
  DWORD size = sizeof(ACL);
  for (const PSID sid : trustees) {
    if (sid != nullptr) size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
  }
  acl_.assign(size / sizeof(DWORD) + 1, 0);
  auto* acl = reinterpret_cast<PACL>(acl_.data());
  if (!InitializeAcl(acl, size, ACL_REVISION)) {
    error_ = GetLastError();
    return;
  }
  DWORD added = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    if (trustees[i] == nullptr) continue;
    // AddAccessAllowedAce (NT 3.1) takes no inheritance flags: they are set
    // in the entry itself.
    void* ace = nullptr;
    if (!AddAccessAllowedAce(acl, ACL_REVISION, rights[i], trustees[i]) ||
        !GetAce(acl, added++, &ace)) {
      error_ = GetLastError();
      return;
    }
    if (grants.inherited) {
      static_cast<ACE_HEADER*>(ace)->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    }
  }
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
      (ownedByAdministrators &&
       !SetSecurityDescriptorOwner(&descriptor_, administrators_, FALSE))) {
    error_ = GetLastError();
    return;
  }
  // From Windows 2000 on "the system merges any inheritable ACEs into the
  // specified DACL unless the SE_DACL_PROTECTED bit is set"; NT 4.0, which
  // lacks the call, applies a given list as it is.
  using SetControl =
      BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL);
  const auto setControl =
      lookUpSystemFunction<SetControl>(L"advapi32.dll", "SetSecurityDescriptorControl");
  if (setControl != nullptr && !setControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    error_ = GetLastError();
  }
}

AccessList::~AccessList() {
  for (const PSID sid : {system_, administrators_, users_}) {
    if (sid != nullptr) FreeSid(sid);
  }
}

bool ownedBySystemOrAdministrators(HANDLE object) {
  DWORD size = 0;
  GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, buffer.data(), size, &size) ||
      !GetSecurityDescriptorOwner(buffer.data(), &owner, &defaulted) || owner == nullptr) {
    return false;
  }
  DWORD error = 0;
  const PSID system = systemSid(error);
  const PSID administrators = administratorsSid(error);
  const bool trusted = (system != nullptr && EqualSid(owner, system)) ||
                       (administrators != nullptr && EqualSid(owner, administrators));
  if (system != nullptr) FreeSid(system);
  if (administrators != nullptr) FreeSid(administrators);
  return trusted;
}

}  // namespace eldoris
