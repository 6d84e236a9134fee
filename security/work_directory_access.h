// The access list of a package run's work directory. The run is elevated and the
// directory holds the programs it is about to start: another process of the same user,
// without elevation, must be able neither to add anything to it nor to change, replace or
// delete anything in it. So the list grants full control to SYSTEM and the
// Administrators group alone, passes that on to everything made inside, and is
// protected: nothing is inherited from the folder that holds the directory.
#pragma once
#include <windows.h>

#include "win32/unique_resource.h"

class WorkDirectoryAccess {
 public:
  WorkDirectoryAccess();
  WorkDirectoryAccess(const WorkDirectoryAccess&) = delete;
  WorkDirectoryAccess& operator=(const WorkDirectoryAccess&) = delete;

  // Builds the descriptor. `ownAccount`, when not null, is granted the same: a run
  // without administrator rights (started with its elevation refused by a
  // compatibility setting) would otherwise lock itself out, and any other process of
  // its user already has all the rights it has. Returns 1 when attributes() is ready.
  int Build(PSID ownAccount);

  // For the call that creates the directory; null until Build succeeded.
  SECURITY_ATTRIBUTES* attributes() { return built_ ? &attributes_ : NULL; }
  SECURITY_DESCRIPTOR* descriptor() { return &descriptor_; }

 private:
  UniqueSid system_;
  UniqueSid administrators_;
  UniqueHeapBlock<ACL> dacl_;
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
  int built_;
};

// The account of this process's token when the token does not hold the Administrators
// group enabled, as a new heap block; empty when it does (or the token cannot be read:
// the list then grants no one else).
UniqueHeapBlock<BYTE> AccountWithoutAdministratorRights();
