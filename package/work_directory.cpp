#include "package/work_directory.h"

#include <stdlib.h>
#include <string.h>

#include "core/path_join.h"
#include "package/exit_code.h"
#include "package/held_directory.h"
#include "security/work_directory_access.h"

const char kTemporaryFolderName[] = "%TEMP%";

// GetTempPathA is given one byte less than the buffer, as the temporary-folder buffers
// have always been 255 bytes.
static const DWORD kTempPathSize = 255;

int MakeModuleDirectory(char* moduleDirectory) {
  memset(moduleDirectory, 0, kPathBufferSize);
  char modulePath[800];
  if (!GetModulePath(modulePath, sizeof(modulePath))) return 0;
  char drive[_MAX_DRIVE], folder[_MAX_DIR], name[_MAX_FNAME], extension[_MAX_EXT];
  _splitpath(modulePath, drive, folder, name, extension);
  if (ConcatPath(moduleDirectory, kPathBufferSize, drive, folder)) return 1;
  memset(moduleDirectory, 0, kPathBufferSize);
  return 0;
}

int GetTemporaryFolder(char (&folder)[kPathBufferSize]) {
  memset(folder, 0, sizeof(folder));
  const DWORD length = GetTempPathA(kTempPathSize, folder);
  if (length == 0 || length >= kTempPathSize) {
    memset(folder, 0, sizeof(folder));
    return 0;
  }
  return 1;
}

// The folder the work directory goes into, ending with a backslash.
static int GetWorkBase(int besideModule, char (&base)[kPathBufferSize]) {
  return besideModule ? MakeModuleDirectory(base) : GetTemporaryFolder(base);
}

int CreateWorkDirectory(int besideModule, char* workDirectory, UniqueHandle* held, DWORD* error) {
  *error = 0;
  WorkDirectoryAccess access;
  const UniqueHeapBlock<BYTE> ownAccount = AccountWithoutAdministratorRights();
  if (!access.Build(ownAccount.get())) {
    lstrcpynA(workDirectory, besideModule ? "KVLodkin" : kTemporaryFolderName, kPathBufferSize);
    *error = FailureCode(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    memset(workDirectory, 0, kPathBufferSize);
    char base[kPathBufferSize];
    if (!GetWorkBase(besideModule, base)) {
      lstrcpynA(workDirectory, besideModule ? "KVLodkin" : kTemporaryFolderName, kPathBufferSize);
      *error = ERROR_FILENAME_EXCED_RANGE;
      return 0;
    }
    char name[32];
    sprintf(name, "KVLodkin%d%06d", attempt, static_cast<int>(GetTickCount() % 1000000));
    if (!ConcatPath(workDirectory, kPathBufferSize, base, name)) {
      // A cut name would be some other folder.
      lstrcpynA(workDirectory, base, kPathBufferSize);
      *error = ERROR_FILENAME_EXCED_RANGE;
      return 0;
    }
    // Fails when the name exists, whatever it is: a folder of another run or a planted link.
    *error = CreateHeldDirectory(workDirectory, access.attributes(), held);
    if (*error == 0) return 1;
    // Another name helps only against a name that is taken, not against a missing or
    // read-only folder.
    if (*error != ERROR_ALREADY_EXISTS) return 0;
  }
  return 0;
}
