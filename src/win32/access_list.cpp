#include "win32/access_list.h"

#include "text/decimal.h"
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

AccessList::AccessList(const AccessDescription& description, bool ownedByAdministrators) {
  system_ = systemSid(error_);
  administrators_ = administratorsSid(error_);
  users_ = allocateSid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, error_);
  if (error_ != 0) return;
  const auto sidOf = [this](Trustee trustee) {
    switch (trustee) {
      case Trustee::system:
        return system_;
      case Trustee::administrators:
        return administrators_;
      case Trustee::users:
        break;
    }
    return users_;
  };
  DWORD size = sizeof(ACL);
  for (const Grant& grant : description.grants) {
    size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sidOf(grant.trustee));
  }
  acl_.assign(size / sizeof(DWORD) + 1, 0);
  auto* acl = reinterpret_cast<PACL>(acl_.data());
  if (!InitializeAcl(acl, size, ACL_REVISION)) {
    error_ = GetLastError();
    return;
  }
  DWORD added = 0;
  for (const Grant& grant : description.grants) {
    // AddAccessAllowedAce (NT 3.1) takes no inheritance flags: they are set
    // in the entry itself.
    void* ace = nullptr;
    if (!AddAccessAllowedAce(acl, ACL_REVISION, grant.rights, sidOf(grant.trustee)) ||
        !GetAce(acl, added++, &ace)) {
      error_ = GetLastError();
      return;
    }
    if (grant.inherited) {
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

std::wstring sidText(PSID sid) {
  if (sid == nullptr || !IsValidSid(sid)) return std::wstring();
  const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
  std::wstring text = L"S-1-";
  // Written in decimal where it fits in 32 bits, as every authority Windows uses does.
  if (authority->Value[0] == 0 && authority->Value[1] == 0) {
    appendDecimal(text, (static_cast<std::uint32_t>(authority->Value[2]) << 24) |
                            (static_cast<std::uint32_t>(authority->Value[3]) << 16) |
                            (static_cast<std::uint32_t>(authority->Value[4]) << 8) |
                            authority->Value[5]);
  } else {
    text += L"0x";
    for (const BYTE byte : authority->Value) {
      text.push_back(L"0123456789ABCDEF"[byte >> 4]);
      text.push_back(L"0123456789ABCDEF"[byte & 0xF]);
    }
  }
  const UCHAR count = *GetSidSubAuthorityCount(sid);
  for (UCHAR i = 0; i < count; ++i) {
    text += L'-';
    appendDecimal(text, *GetSidSubAuthority(sid, i));
  }
  return text;
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
