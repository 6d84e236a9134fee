// The work directory's access list as data: the descriptor that the run hands to the
// call creating the directory, read back in the system's own text form, and the token
// rule for the account it names beside SYSTEM and the Administrators. (Wine keeps no
// access list on files, so what a file system would store cannot be read back there.)
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <string>

#include "security/work_directory_access.h"
#include "win32/unique_resource.h"

namespace {

std::string DaclText(SECURITY_DESCRIPTOR* descriptor) {
  char* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                            &text, nullptr)) {
    return "(not convertible)";
  }
  std::string result = text;
  LocalFree(text);
  return result;
}

TEST(WorkDirectoryAccess, SystemAndAdministratorsAloneProtectedAndPassedOnToEverythingInside) {
  PSID user = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-1-2-3-1001", &user));
  struct Case {
    const char* what;
    PSID ownAccount;
    const char* expected;
  };
  const Case cases[] = {
      {"an elevated run", nullptr, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"},
      {"a run without administrator rights keeps its own access", user,
       "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;S-1-5-21-1-2-3-1001)"},
  };
  for (const Case& c : cases) {
    WorkDirectoryAccess access;
    EXPECT_EQ(access.attributes(), nullptr) << c.what << ": nothing before the build";
    ASSERT_EQ(access.Build(c.ownAccount), 1) << c.what;
    ASSERT_NE(access.attributes(), nullptr) << c.what;
    EXPECT_EQ(access.attributes()->nLength, sizeof(SECURITY_ATTRIBUTES));
    EXPECT_EQ(access.attributes()->bInheritHandle, FALSE) << c.what;
    EXPECT_EQ(access.attributes()->lpSecurityDescriptor, access.descriptor()) << c.what;
    EXPECT_EQ(DaclText(access.descriptor()), c.expected) << c.what;
  }
  LocalFree(user);
}

// Whether the run names its own account follows its token: the test program runs with
// administrator rights, as the package does (under Wine every process does), and then
// names no one else; the same thread under a copy of its token in which the
// Administrators group is for deny only (the membership check reads the thread's token)
// names its own account.
TEST(WorkDirectoryAccess, OnlyARunWithoutAdministratorRightsNamesItsOwnAccount) {
  UniqueHandle process, copy;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, process.put()));
  ASSERT_TRUE(DuplicateTokenEx(process.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenImpersonation,
                               copy.put()));
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(administrators);
  ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
  SID_AND_ATTRIBUTES denyOnly = {administrators, 0};
  UniqueHandle withoutRights;
  ASSERT_TRUE(CreateRestrictedToken(copy.get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr, withoutRights.put()));
  union {
    TOKEN_USER record;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } user;
  ASSERT_TRUE(GetTokenInformation(process.get(), TokenUser, &user, sizeof(user), &size));

  EXPECT_FALSE(AccountWithoutAdministratorRights().valid()) << "with administrator rights";
  ASSERT_TRUE(SetThreadToken(nullptr, withoutRights.get()));
  const UniqueHeapBlock<BYTE> account = AccountWithoutAdministratorRights();
  RevertToSelf();
  ASSERT_TRUE(account.valid()) << "without administrator rights";
  EXPECT_TRUE(EqualSid(account.get(), user.record.User.Sid));
}

}  // namespace
