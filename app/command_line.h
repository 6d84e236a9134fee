// The one reading of the program's command line.
#pragma once
#include "package/start_options.h"

// The command-line tail, as Windows hands it to a program's entry point: the program's
// own name skipped (a quoted part may hold blanks), then the blanks and control
// characters after it. Bytes from 0x80 up are characters of a name (a path with Korean
// folder names, started without quotes), never separators.
char* CommandLineTail(char* wholeLine);

// Fills `options` from the command-line tail (the text after the program's own name).
// The line is copied whole and zero-filled behind its end; only a tail longer than the
// system allows is cut, so that the copy always ends inside the buffer.
void ParseCommandLine(const char* tail, StartOptions* options);
