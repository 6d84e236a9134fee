#include "package/clean_work_directory.h"

// Not built yet: nothing is removed.
int CleanWorkDirectory(char* commandLine) { return 0; }
