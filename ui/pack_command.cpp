#include "ui/pack_command.h"

// Not built yet: the command refuses everything.
int GetFileNameOffset(const char* path) { return 0; }
unsigned CountSetupPrograms(const PackFileList& list) { return 0; }
int IsAnyMemberPacked(const PackFileList& list, PackReport& report) { return 0; }
void RunPackCommand(const PackFileList& list, PackReport& report, const char* modulePath) {}
