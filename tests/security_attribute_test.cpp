// The open-access attributes, read back through the security API.
#include <gtest/gtest.h>
#include <windows.h>

#include "security/security_attribute.h"

namespace {

TEST(SecurityAttribute, CompleteBuildGrantsEveryoneAllAccess) {
  CSecurityAttribute security;
  ASSERT_NE(security.m_pSecurityAttributes, nullptr);
  EXPECT_EQ(security.m_pSecurityAttributes->nLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_EQ(security.m_pSecurityAttributes->bInheritHandle, TRUE);
  EXPECT_EQ(security.m_pSecurityAttributes->lpSecurityDescriptor, security.m_pSecurityDescriptor.get());

  PSECURITY_DESCRIPTOR descriptor = security.m_pSecurityAttributes->lpSecurityDescriptor;
  EXPECT_TRUE(IsValidSecurityDescriptor(descriptor));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_EQ(revision, 1u);
  EXPECT_TRUE(control & SE_DACL_PRESENT);
  EXPECT_TRUE(control & SE_DACL_DEFAULTED);
  EXPECT_FALSE(control & SE_SELF_RELATIVE);

  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_TRUE(defaulted);
  ASSERT_EQ(dacl, security.m_pAcl.get());
  EXPECT_EQ(dacl->AclRevision, ACL_REVISION);
  EXPECT_EQ(dacl->AclSize, 48);
  ACL_SIZE_INFORMATION size = {};
  ASSERT_TRUE(GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation));
  ASSERT_EQ(size.AceCount, 1u);
  EXPECT_EQ(size.AclBytesInUse, 28u);

  ACCESS_ALLOWED_ACE* ace = nullptr;
  ASSERT_TRUE(GetAce(dacl, 0, reinterpret_cast<void**>(&ace)));
  EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(ace->Header.AceFlags, 0);
  EXPECT_EQ(ace->Mask, 0x1FFFFFu);
  PSID world = nullptr;
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_WORLD_SID_AUTHORITY;
  ASSERT_TRUE(AllocateAndInitializeSid(&authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &world));
  EXPECT_TRUE(EqualSid(&ace->SidStart, world));
  EXPECT_TRUE(EqualSid(security.m_pSid.get(), world));
  FreeSid(world);
}

TEST(SecurityAttribute, ANamedSectionMadeWithItOpensForReadAndWrite) {
  const char name[] = "lodkin_security_attribute_test_block";
  HANDLE created;
  {
    CSecurityAttribute security;
    ASSERT_NE(security.m_pSecurityAttributes, nullptr);
    created = CreateFileMappingA(INVALID_HANDLE_VALUE, security.m_pSecurityAttributes,
                                 PAGE_READWRITE, 0, 1024, name);
    ASSERT_NE(created, nullptr);
  }
  // The attributes are gone; the section keeps its own copy of the descriptor.
  HANDLE opened = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name);
  ASSERT_NE(opened, nullptr);
  char* view = static_cast<char*>(MapViewOfFile(opened, FILE_MAP_WRITE, 0, 0, 1024));
  ASSERT_NE(view, nullptr);
  strcpy(view, "written through the second handle");
  UnmapViewOfFile(view);
  CloseHandle(opened);
  CloseHandle(created);
}

}  // namespace
