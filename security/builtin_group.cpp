#include "security/builtin_group.h"

#include <string.h>

#include "win32/unique_resource.h"

int LookupBuiltinGroupName(DWORD rid, char* name, DWORD size) {
  if (size == 0) return 0;
  name[0] = 0;
  SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
  UniqueSid sid;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0,
                                sid.put())) {
    return 0;
  }
  char account[256];
  char domain[256];
  DWORD accountSize = sizeof(account);
  DWORD domainSize = sizeof(domain);
  SID_NAME_USE use;
  const BOOL found =
      LookupAccountSidA(NULL, sid.get(), account, &accountSize, domain, &domainSize, &use);
  if (!found) return 0;
  const int length = domain[0] != 0 ? _snprintf(name, size, "%s\\%s", domain, account)
                                    : _snprintf(name, size, "%s", account);
  if (length < 0 || static_cast<DWORD>(length) >= size) {
    name[0] = 0;
    return 0;
  }
  return 1;
}
