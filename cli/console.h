// What every command of the tool shares: exit statuses, error lines, numbers as text.
#pragma once
#include <stdint.h>

enum ExitStatus {
  kExitSuccess = 0,
  kExitFailure = 1,  // a refusal or a failure
  kExitUsage = 2,    // the command line itself is wrong
};

extern const char kToolName[];
extern const char kToolVersion[];

// "lodkin-cli: error: ..." and a line end, on stderr.
void PrintError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// 1 when stderr is a terminal, where a progress display can be overwritten in place.
int StderrIsTerminal();

// Decimal digits of a 64-bit number, without and with thousands separators ("1,024").
void FormatDecimal(uint64_t value, char (&text)[32]);
void FormatGrouped(uint64_t value, char (&text)[32]);
