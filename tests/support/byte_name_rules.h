// The member-name rules byte by byte, as for a package that records no code page: the
// tests' shorthand for the rules that the reader and the writer apply in a package's own
// code page.
#pragma once
#include "core/member_name.h"
#include "core/name_code_page.h"

inline MemberNameProblem CheckMemberName(const char (&name)[260]) { return CheckMemberName(name, ByteNameCodePage()); }
inline int IsSafeMemberName(const char (&name)[260]) { return CheckMemberName(name) == kNameSafe ? 1 : 0; }
inline int IsFolderMemberName(const char* name) { return IsFolderMemberName(name, ByteNameCodePage()); }
