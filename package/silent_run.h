// A silent run shows nothing: no box and no window, whatever fails. Deployment systems
// start packages with "-s" and the setup program's quiet switches, or as a service in a
// session that nobody sees, where a box would wait for a click forever.
#pragma once
#include <windows.h>

// The decision, from what the command line and the window station say: silent when the
// command line starts with "-s", or when the station cannot be seen (its flags lack
// WSF_VISIBLE, or there is no station to ask).
int IsSilentRun(int startsWithSilentOption, int haveStationFlags, const USEROBJECTFLAGS& stationFlags);

// The flags of a window station; 0 when there is none or they cannot be read.
int GetStationFlags(HWINSTA station, USEROBJECTFLAGS* flags);

// The decision for this process.
int IsSilentProcess(int startsWithSilentOption);

// The error mode of a silent run: no system box for a critical error, a crash or a file
// that cannot be opened. A box nobody sees would keep the process from ever ending. The
// programs the run starts inherit the mode, so the setup program shows none either.
const UINT kSilentErrorMode = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;

// Sets that mode when the process is silent, before anything that could fail.
void QuietSystemBoxesWhenSilent(int startsWithSilentOption);
