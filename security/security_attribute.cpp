#include "security/security_attribute.h"

// The SID buffer is generous on purpose: the world SID needs only its first 12 bytes.
static const DWORD kSidBufferSize = 8192;
static const DWORD kAllAccess = STANDARD_RIGHTS_ALL | SPECIFIC_RIGHTS_ALL;  // 0x1FFFFF

static void* AllocateBlock(DWORD size) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size); }
static void ReleaseBlock(void* block) {
  if (block != NULL) HeapFree(GetProcessHeap(), 0, block);
}

CSecurityAttribute::CSecurityAttribute()
    : m_pSid(NULL), m_pAcl(NULL), m_pSecurityDescriptor(NULL), m_pSecurityAttributes(NULL) {
  m_pSid = AllocateBlock(kSidBufferSize);
  if (m_pSid == NULL) return;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  if (!InitializeSid(m_pSid, &world, 1)) return;  // the SID buffer alone is held
  *GetSidSubAuthority(m_pSid, 0) = SECURITY_WORLD_RID;

  const DWORD aclLength = 2 * GetSidLengthRequired(1) + 24;
  m_pAcl = static_cast<PACL>(AllocateBlock(aclLength));
  if (m_pAcl == NULL || !InitializeAcl(m_pAcl, aclLength, ACL_REVISION)) {
    ReleaseBlock(m_pAcl);
    m_pAcl = NULL;
    ReleaseBlock(m_pSid);
    m_pSid = NULL;
    return;
  }
  AddAccessAllowedAce(m_pAcl, ACL_REVISION, kAllAccess, m_pSid);

  // A failed allocation of the last two blocks leaves the object without attributes,
  // holding only what it got, so that the caller falls back to default security.
  m_pSecurityDescriptor = AllocateBlock(sizeof(SECURITY_DESCRIPTOR));
  if (m_pSecurityDescriptor == NULL) return;
  InitializeSecurityDescriptor(m_pSecurityDescriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(m_pSecurityDescriptor, TRUE, m_pAcl, TRUE);

  LPSECURITY_ATTRIBUTES attributes =
      static_cast<LPSECURITY_ATTRIBUTES>(AllocateBlock(sizeof(SECURITY_ATTRIBUTES)));
  if (attributes == NULL) return;
  attributes->nLength = sizeof(SECURITY_ATTRIBUTES);
  attributes->lpSecurityDescriptor = m_pSecurityDescriptor;
  attributes->bInheritHandle = TRUE;
  m_pSecurityAttributes = attributes;
}

CSecurityAttribute::~CSecurityAttribute() {
  ReleaseBlock(m_pSecurityAttributes);
  ReleaseBlock(m_pSecurityDescriptor);
  ReleaseBlock(m_pAcl);
  ReleaseBlock(m_pSid);
}
