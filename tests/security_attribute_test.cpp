// The open-access attributes: what the descriptor they hand to the call creating the
// block grants, read back in the system's own text form. A setup program under another
// account shares no SID with this process but Everyone, so the list must grant every
// right to Everyone, and nothing less to anyone. (Under one account, as the tests run,
// default security would let the block be opened anyway.)
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <string>

#include "security/security_attribute.h"

namespace {

TEST(SecurityAttribute, GrantsEveryRightToEveryoneAndPassesTheHandleOn) {
  CSecurityAttribute security;
  ASSERT_NE(security.m_pSecurityAttributes, nullptr);
  EXPECT_EQ(security.m_pSecurityAttributes->bInheritHandle, TRUE);
  char* text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
      security.m_pSecurityAttributes->lpSecurityDescriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
      nullptr));
  const std::string dacl = text;
  LocalFree(text);
  // Every standard and specific right, allowed, to the world SID alone.
  EXPECT_EQ(dacl, "D:(A;;0x1fffff;;;WD)");
}

}  // namespace
