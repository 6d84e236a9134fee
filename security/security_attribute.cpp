#include "security/security_attribute.h"

// The SID buffer is generous on purpose: the world SID needs only its first 12 bytes.
static const DWORD kSidBufferSize = 8192;
static const DWORD kAllAccess = STANDARD_RIGHTS_ALL | SPECIFIC_RIGHTS_ALL;  // 0x1FFFFF

CSecurityAttribute::CSecurityAttribute() : m_pSecurityAttributes(NULL) {
  m_pSid = AllocateHeapBytes<BYTE>(kSidBufferSize);
  if (!m_pSid.valid()) return;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  if (!InitializeSid(m_pSid.get(), &world, 1)) return;  // the SID buffer alone is held
  *GetSidSubAuthority(m_pSid.get(), 0) = SECURITY_WORLD_RID;

  const DWORD aclLength = 2 * GetSidLengthRequired(1) + 24;
  m_pAcl = AllocateHeapBytes<ACL>(aclLength);
  if (!m_pAcl.valid() || !InitializeAcl(m_pAcl.get(), aclLength, ACL_REVISION)) {
    m_pAcl.reset();
    m_pSid.reset();
    return;
  }
  AddAccessAllowedAce(m_pAcl.get(), ACL_REVISION, kAllAccess, m_pSid.get());

  // A failed allocation of the last two blocks leaves the object without attributes,
  // holding only what it got, so that the caller falls back to default security.
  m_pSecurityDescriptor = AllocateHeapBlock<SECURITY_DESCRIPTOR>(1);
  if (!m_pSecurityDescriptor.valid()) return;
  InitializeSecurityDescriptor(m_pSecurityDescriptor.get(), SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(m_pSecurityDescriptor.get(), TRUE, m_pAcl.get(), TRUE);

  m_attributesBlock = AllocateHeapBlock<SECURITY_ATTRIBUTES>(1);
  if (!m_attributesBlock.valid()) return;
  SECURITY_ATTRIBUTES* attributes = m_attributesBlock.get();
  attributes->nLength = sizeof(SECURITY_ATTRIBUTES);
  attributes->lpSecurityDescriptor = m_pSecurityDescriptor.get();
  attributes->bInheritHandle = TRUE;
  m_pSecurityAttributes = attributes;
}
