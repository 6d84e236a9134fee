// Opening one file to an account: the file's DACL is rebuilt with one access-allowed
// entry for the account in place of its explicit entries, and written back in one call.
#pragma once
#include <windows.h>

#include "win32/unique_resource.h"

// The descriptor to be written: absolute, holding only the new DACL and its control
// bits. The DACL is a process-heap block released when the object goes.
class GrantedDescriptor {
 public:
  GrantedDescriptor() { ZeroMemory(&descriptor_, sizeof(descriptor_)); }
  SECURITY_DESCRIPTOR* descriptor() { return &descriptor_; }
  PACL dacl() const { return dacl_.get(); }

 private:
  friend int BuildGrantedDescriptor(PSECURITY_DESCRIPTOR, PSID, DWORD, GrantedDescriptor*);
  SECURITY_DESCRIPTOR descriptor_;
  UniqueHeapBlock<ACL> dacl_;
};

// From the file's old descriptor (DACL part, as GetFileSecurityA gives it): drops the
// explicit entries for the account that stand before the first inherited entry, puts
// the new entry after the remaining explicit ones, copies the rest unchanged, and
// carries over the auto-inherited or protected state. Writes a line to standard output
// for a failing call. Returns 1 when *result holds the new descriptor.
int BuildGrantedDescriptor(PSECURITY_DESCRIPTOR oldDescriptor, PSID accountSid, DWORD accessMask,
                           GrantedDescriptor* result);

// Gives the account `accessMask` on the file. Returns 1 when the new DACL was stored;
// on any failure the file's security stays as it was.
int GrantFileAccess(const char* filePath, const char* accountName, DWORD accessMask);
