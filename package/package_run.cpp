#include "package/package_run.h"

// Not built yet: nothing is run, so start-up opens the packaging window.
int RunPackage(char* commandLine) { return 0; }
