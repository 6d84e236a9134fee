// The one reading of the program's command line.
#pragma once
#include "package/start_options.h"

// Fills `options` from the command-line tail (the text after the program's own name).
// The line is copied whole and zero-filled behind its end; only a tail longer than the
// system allows is cut, so that the copy always ends inside the buffer.
void ParseCommandLine(const char* tail, StartOptions* options);
