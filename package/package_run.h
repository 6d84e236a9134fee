// The package run: what a package does when it is started.
#pragma once

// Returns 1 when a setup program was started (or its start attempted), 0 when nothing
// was run and the packaging window is to open.
int RunPackage(char* commandLine);
