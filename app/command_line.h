// The program's copy of its command line and the small parsers that the modes share.
#pragma once

const unsigned kCommandLineSize = 260;

// Zero-fills the buffer and copies the command-line tail into it, cut at 259
// characters so that the copy always ends inside the buffer.
void CopyCommandLine(char (&buffer)[kCommandLineSize], const char* tail);

// 1 when the buffer begins with the option (letter case counts).
int StartsWithOption(const char* commandLine, const char* option);

// The "-wait" count: the second word of the command line, words being separated by
// single blanks, converted the way atoi converts (0 when there is no such word).
int ParseWaitSeconds(const char* commandLine);
