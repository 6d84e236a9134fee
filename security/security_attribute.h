// Open-access security attributes for a named kernel object: a DACL that grants every
// account all rights, so that a setup program running under another account can open
// the caller-path block.
#pragma once
#include <windows.h>

#include "win32/unique_resource.h"

class CSecurityAttribute {
 public:
  CSecurityAttribute();
  virtual ~CSecurityAttribute() {}
  CSecurityAttribute(const CSecurityAttribute&) = delete;
  CSecurityAttribute& operator=(const CSecurityAttribute&) = delete;

  // Each owns its block; null until built. m_pSecurityAttributes is non-null only when
  // the whole build went through.
  UniqueHeapBlock<BYTE> m_pSid;
  UniqueHeapBlock<ACL> m_pAcl;
  UniqueHeapBlock<SECURITY_DESCRIPTOR> m_pSecurityDescriptor;
  LPSECURITY_ATTRIBUTES m_pSecurityAttributes;  // points into m_attributesBlock

 private:
  UniqueHeapBlock<SECURITY_ATTRIBUTES> m_attributesBlock;
};
