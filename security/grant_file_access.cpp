#include "security/grant_file_access.h"

namespace {

const char* const kLookupAccountNameFailed = "LookupAccountName() failed. Error %d\n";
const char* const kHeapAllocFailed = "HeapAlloc() failed. Error %d\n";
const char* const kGetFileSecurityFailed = "GetFileSecurity() failed. Error %d\n";
const char* const kInitializeDescriptorFailed = "InitializeSecurityDescriptor() failed.Error %d\n";
const char* const kGetDaclFailed = "GetSecurityDescriptorDacl() failed. Error %d\n";
const char* const kGetAclInformationFailed = "GetAclInformation() failed. Error %d\n";
const char* const kInitializeAclFailed = "InitializeAcl() failed. Error %d\n";
const char* const kGetAceFailed = "GetAce() failed. Error %d\n";
const char* const kAddAceFailed = "AddAce() failed. Error %d\n";
const char* const kAddAllowedAceFailed = "AddAccessAllowedAce() failed. Error %d\n";
const char* const kSetDaclFailed = "SetSecurityDescriptorDacl() failed. Error %d\n";
const char* const kGetControlFailed = "GetSecurityDescriptorControl() failed.Error %d\n";
const char* const kSetControlFailed = "SetSecurityDescriptorControl() failed.Error %d\n";
const char* const kSetFileSecurityFailed = "SetFileSecurity() failed. Error %d\n";

int Fail(const char* message) {
  printf(message, (int)GetLastError());
  return 0;
}

// Object entries carry GUIDs before their SID, so the SID does not begin 8 bytes in;
// they are never taken to name the account and are copied unchanged.
bool IsObjectAce(BYTE type) {
  return type == ACCESS_ALLOWED_OBJECT_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
         type == SYSTEM_AUDIT_OBJECT_ACE_TYPE || type == SYSTEM_ALARM_OBJECT_ACE_TYPE ||
         type == 0x0B || type == 0x0C || type == 0x0F || type == 0x10;
}

int CopyAce(PACL from, DWORD index, PACL to, bool skipAccount, PSID accountSid, bool* inherited) {
  void* ace = 0;
  if (!GetAce(from, index, &ace)) return Fail(kGetAceFailed);
  ACE_HEADER* header = static_cast<ACE_HEADER*>(ace);
  if (inherited) {
    *inherited = (header->AceFlags & INHERITED_ACE) != 0;
    if (*inherited) return 1;
  }
  if (skipAccount && !IsObjectAce(header->AceType) &&
      EqualSid(accountSid, static_cast<BYTE*>(ace) + 8)) {
    return 1;
  }
  if (!AddAce(to, ACL_REVISION, MAXDWORD, ace, header->AceSize)) return Fail(kAddAceFailed);
  return 1;
}

typedef BOOL(WINAPI* SetControlFunction)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                         SECURITY_DESCRIPTOR_CONTROL);

// Carries the auto-inherited or protected state of the old DACL over to the new one.
int CopyInheritanceControl(PSECURITY_DESCRIPTOR oldDescriptor, SECURITY_DESCRIPTOR* descriptor) {
  // Looked up at run time so that the program still starts where advapi32 lacks it.
  SetControlFunction setControl = reinterpret_cast<SetControlFunction>(
      GetProcAddress(GetModuleHandleA("advapi32.dll"), "SetSecurityDescriptorControl"));
  if (setControl) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(oldDescriptor, &control, &revision)) {
      return Fail(kGetControlFailed);
    }
    SECURITY_DESCRIPTOR_CONTROL bits = 0;
    if (control & SE_DACL_AUTO_INHERITED) {
      bits = SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ;
    } else if (control & SE_DACL_PROTECTED) {
      bits = SE_DACL_PROTECTED;
    }
    if (bits && !setControl(descriptor, bits, bits)) return Fail(kSetControlFailed);
  }
  return 1;
}

}  // namespace

int BuildGrantedDescriptor(PSECURITY_DESCRIPTOR oldDescriptor, PSID accountSid, DWORD accessMask,
                           GrantedDescriptor* result) {
  if (!InitializeSecurityDescriptor(&result->descriptor_, SECURITY_DESCRIPTOR_REVISION)) {
    return Fail(kInitializeDescriptorFailed);
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL oldDacl = 0;
  if (!GetSecurityDescriptorDacl(oldDescriptor, &present, &oldDacl, &defaulted)) {
    return Fail(kGetDaclFailed);
  }
  ACL_SIZE_INFORMATION sizes = {0, sizeof(ACL), 0};
  // An absent DACL and a null DACL both end with the new entry alone.
  if (!oldDacl) present = FALSE;
  if (present &&
      !GetAclInformation(oldDacl, &sizes, sizeof(sizes), AclSizeInformation)) {
    return Fail(kGetAclInformationFailed);
  }
  DWORD newSize = sizes.AclBytesInUse + GetLengthSid(accountSid) + 8;
  result->dacl_ = AllocateHeapBytes<ACL>(newSize);
  PACL dacl = result->dacl_.get();
  if (dacl == nullptr) return Fail(kHeapAllocFailed);
  if (!InitializeAcl(dacl, newSize, ACL_REVISION)) return Fail(kInitializeAclFailed);

  DWORD index = 0;
  const bool copyOld = present && sizes.AceCount != 0;
  if (copyOld) {
    for (; index < sizes.AceCount; ++index) {
      bool inherited = false;
      if (!CopyAce(oldDacl, index, dacl, true, accountSid, &inherited)) return 0;
      if (inherited) break;
    }
  }
  if (!AddAccessAllowedAce(dacl, ACL_REVISION, accessMask, accountSid)) {
    return Fail(kAddAllowedAceFailed);
  }
  if (copyOld) {
    for (; index < sizes.AceCount; ++index) {
      if (!CopyAce(oldDacl, index, dacl, false, accountSid, 0)) return 0;
    }
  }
  if (!SetSecurityDescriptorDacl(&result->descriptor_, TRUE, dacl, FALSE)) {
    return Fail(kSetDaclFailed);
  }

  return CopyInheritanceControl(oldDescriptor, &result->descriptor_);
}

int GrantFileAccess(const char* filePath, const char* accountName, DWORD accessMask) {
  // Declared in reverse order of release: the SID goes first, the new DACL last.
  GrantedDescriptor granted;
  UniqueHeapBlock<BYTE> oldDescriptor;
  UniqueHeapBlock<char> domain;
  UniqueHeapBlock<BYTE> sid;

  DWORD sidSize = 0;
  DWORD domainSize = 0;
  SID_NAME_USE use;
  if (LookupAccountNameA(0, accountName, 0, &sidSize, 0, &domainSize, &use)) return 0;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return Fail(kLookupAccountNameFailed);
  sid = AllocateHeapBytes<BYTE>(sidSize);
  domain = AllocateHeapBytes<char>(domainSize);
  if (!sid.valid() || !domain.valid()) return Fail(kHeapAllocFailed);
  if (!LookupAccountNameA(0, accountName, sid.get(), &sidSize, domain.get(),
                          &domainSize, &use)) {
    return Fail(kLookupAccountNameFailed);
  }

  DWORD needed = 0;
  if (GetFileSecurityA(filePath, DACL_SECURITY_INFORMATION, 0, 0, &needed)) return 0;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return Fail(kGetFileSecurityFailed);
  oldDescriptor = AllocateHeapBytes<BYTE>(needed);
  if (!oldDescriptor.valid()) return Fail(kHeapAllocFailed);
  if (!GetFileSecurityA(filePath, DACL_SECURITY_INFORMATION, oldDescriptor.get(), needed,
                        &needed)) {
    return Fail(kGetFileSecurityFailed);
  }

  if (!BuildGrantedDescriptor(oldDescriptor.get(), sid.get(), accessMask, &granted)) return 0;
  if (!SetFileSecurityA(filePath, DACL_SECURITY_INFORMATION, granted.descriptor())) {
    return Fail(kSetFileSecurityFailed);
  }
  return 1;
}
