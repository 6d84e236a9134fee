#include "package/work_directory.h"

#include <direct.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "package/reboot_deletion.h"

void MakeModuleDirectory(char* moduleDirectory) {
  char modulePath[800];
  memset(modulePath, 0, sizeof(modulePath));
  GetModuleFileNameA(NULL, modulePath, sizeof(modulePath) - 1);
  char drive[_MAX_DRIVE], folder[_MAX_DIR], name[_MAX_FNAME], extension[_MAX_EXT];
  _splitpath(modulePath, drive, folder, name, extension);
  _snprintf(moduleDirectory, kPathBufferSize - 1, "%s%s", drive, folder);
  moduleDirectory[kPathBufferSize - 1] = 0;
}

void CreateWorkDirectory(int besideModule, char* workDirectory) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    char base[kPathBufferSize];
    memset(base, 0, sizeof(base));
    if (besideModule) {
      MakeModuleDirectory(base);
    } else {
      GetTempPathA(255, base);
    }
    memset(workDirectory, 0, kPathBufferSize);
    _snprintf(workDirectory, kPathBufferSize - 1, "%sKVLodkin%d%06d", base, attempt,
              static_cast<int>(GetTickCount() % 1000000));
    if (_mkdir(workDirectory) == 0) return;
  }
}

void ScheduleDeleteAtReboot(const char* directory) {
  // One update of the pending-operations value instead of one rewrite of it per file;
  // the calls remain for a value that cannot be extended that way.
  if (!RecordDeletionsInOneWrite(directory)) RecordDeletionsOneByOne(directory);
}
