// Names of the groups of the local built-in domain, looked up by their well-known SIDs:
// a group's name is translated on a localized system ("Users" is "Benutzer" on a German
// one), its SID never is.
#pragma once
#include <windows.h>

// The built-in "Users" group, S-1-5-32-545.
const DWORD kBuiltinUsersRid = DOMAIN_ALIAS_RID_USERS;

// Writes "<domain>\<name>" of the group S-1-5-32-<rid> as this system calls it, the form
// that LookupAccountNameA resolves without confusing it with a user of the same name.
// Returns 1 when the group exists and its name fits `size` bytes; 0 otherwise, with an
// empty name.
int LookupBuiltinGroupName(DWORD rid, char* name, DWORD size);
