// The process exit code that a mode hands back to start-up: deployment systems judge a
// silent run by it alone.
#pragma once
#include <windows.h>

// The codes of the maintenance modes: 0 done, 1 not done.
const DWORD kExitDone = 0;
const DWORD kExitNotDone = 1;

// A failure's system error code, never 0: a failed run must not read as a success when
// the system left no code behind.
inline DWORD FailureCode(DWORD error, DWORD fallback) { return error != 0 ? error : fallback; }
