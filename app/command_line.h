// The program's copy of its command line and the small parsers that the modes share.
#pragma once

// Room for the longest command line the system passes (32,767 characters) and its
// terminator: a cut line would hand a setup program half a property.
const unsigned kCommandLineSize = 32768;

// Zero-fills the buffer and copies the command-line tail into it, whole; only a tail
// longer than the system allows is cut, so that the copy always ends inside the buffer.
void CopyCommandLine(char (&buffer)[kCommandLineSize], const char* tail);

// 1 when the buffer begins with the option (letter case counts).
int StartsWithOption(const char* commandLine, const char* option);

// The "-wait" count: the second word of the command line, words being separated by
// single blanks, converted the way atoi converts (0 when there is no such word).
int ParseWaitSeconds(const char* commandLine);
