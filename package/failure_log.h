// The record of a run that failed: deployment systems start packages where nobody sees a
// box, so every failure's text also goes to the debugger output and, as one line, to
// Lodkin.log in the temporary folder.
#pragma once
#include <stdint.h>
#include <windows.h>

// The log never grows past this; when a line would take it further, the oldest whole
// lines go.
const uint32_t kFailureLogLimit = 1u << 20;

// Formats "<date> <time>\t<package path>\t<exit code>\t<text>\r\n" with the local date
// and time as "YYYY-MM-DD HH:MM:SS". Returns the line's length, or 0 when it does not fit.
int FormatFailureLine(char* line, int size, const SYSTEMTIME& time, const char* packagePath,
                      DWORD exitCode, const char* text);

// Where the kept part of a log of `length` bytes starts so that it and a new line of
// `lineLength` bytes stay within `limit`: 0 when everything fits; otherwise the first
// byte after a line end at or past the cut, so only whole lines are kept. `tail` holds
// the log's bytes from `tailStart` to its end. Returns `length` (keep nothing) when no
// line end follows the cut.
uint32_t FirstKeptByte(uint32_t length, uint32_t lineLength, uint32_t limit, const char* tail,
                       uint32_t tailStart);

// Sends `text` to the debugger output and appends its line to `logPath`. A line is
// written whole or not at all. Returns 1 when the line is in the log. The log lies in a
// folder that the user owns: when what is at its name (or at the rotation's) is not a
// plain file of one name, nothing is written, and the debugger output says why.
int AppendFailureLine(const char* logPath, const char* packagePath, DWORD exitCode, const char* text);

// The same, to Lodkin.log in the temporary folder; nothing is logged when that folder
// cannot be had.
int LogRunFailure(const char* packagePath, DWORD exitCode, const char* text);
