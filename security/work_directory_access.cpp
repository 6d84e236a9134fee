#include "security/work_directory_access.h"

#include <string.h>

static const BYTE kInheritedByAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

WorkDirectoryAccess::WorkDirectoryAccess() : built_(0) {
  memset(&descriptor_, 0, sizeof(descriptor_));
  memset(&attributes_, 0, sizeof(attributes_));
}

static int MakeNtAuthoritySid(BYTE count, DWORD first, DWORD second, UniqueSid* sid) {
  SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
  return AllocateAndInitializeSid(&ntAuthority, count, first, second, 0, 0, 0, 0, 0, 0, sid->put()) ? 1 : 0;
}

static int GrantFullControl(PACL dacl, PSID account) {
  return AddAccessAllowedAceEx(dacl, ACL_REVISION, kInheritedByAll, FILE_ALL_ACCESS, account) ? 1 : 0;
}

int WorkDirectoryAccess::Build(PSID ownAccount) {
  built_ = 0;
  if (!MakeNtAuthoritySid(1, SECURITY_LOCAL_SYSTEM_RID, 0, &system_) ||
      !MakeNtAuthoritySid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, &administrators_)) {
    return 0;
  }
  const DWORD entry = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
  DWORD size = sizeof(ACL) + 2 * entry + GetLengthSid(system_.get()) + GetLengthSid(administrators_.get());
  if (ownAccount != NULL) size += entry + GetLengthSid(ownAccount);
  dacl_ = AllocateHeapBytes<ACL>(size);
  if (!dacl_.valid() || !InitializeAcl(dacl_.get(), size, ACL_REVISION) ||
      !GrantFullControl(dacl_.get(), system_.get()) || !GrantFullControl(dacl_.get(), administrators_.get()) ||
      (ownAccount != NULL && !GrantFullControl(dacl_.get(), ownAccount))) {
    return 0;
  }
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, dacl_.get(), FALSE) ||
      !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return 0;
  }
  attributes_.nLength = sizeof(attributes_);
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
  built_ = 1;
  return 1;
}

UniqueHeapBlock<BYTE> AccountWithoutAdministratorRights() {
  UniqueHeapBlock<BYTE> account;
  UniqueSid administrators;
  BOOL member = FALSE;
  if (!MakeNtAuthoritySid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, &administrators) ||
      !CheckTokenMembership(NULL, administrators.get(), &member) || member) {
    return account;
  }
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return account;
  union {
    TOKEN_USER record;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } user;
  DWORD length = 0;
  if (!GetTokenInformation(token.get(), TokenUser, &user, sizeof(user), &length)) return account;
  const PSID sid = user.record.User.Sid;
  const DWORD sidLength = GetLengthSid(sid);
  account = AllocateHeapBytes<BYTE>(sidLength);
  if (account.valid() && !CopySid(sidLength, account.get(), sid)) account.reset();
  return account;
}
