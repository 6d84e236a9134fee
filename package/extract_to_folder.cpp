#include "package/extract_to_folder.h"

// Not built yet: nothing is extracted.
int ExtractPackageToFolder(char* commandLine) { return 0; }
