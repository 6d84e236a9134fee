// Chooses the one mode that a start runs, from the copied command line:
// "-d" (clean-up) wins over "-e" (extract), both win over "-wait", which only delays
// the package run; a package run that ran nothing opens the packaging window.
#pragma once
#include <windows.h>

#include "app/command_line.h"

// Each mode returns 1 done / 0 not done and stores the process exit code in *exitCode.
struct StartupActions {
  int (*cleanWorkDirectory)(char* commandLine, DWORD* exitCode);
  int (*extractPackageToFolder)(char* commandLine, DWORD* exitCode);
  int (*runPackage)(char* commandLine, DWORD* exitCode);
  void (*showPackagingWindow)();
  void (*sleep)(DWORD milliseconds);
  void (*debugOutput)(const char* text);
};

// The actions of the real program: the modes, Sleep and OutputDebugStringA.
// The packaging window is shown through the application object.
StartupActions ProductStartupActions(void (*showPackagingWindow)());

// Runs the one mode and returns the process exit code: the mode's, or, when the
// packaging window opened, the failed run's code (0 for a plain program).
DWORD DispatchStartup(char (&commandLine)[kCommandLineSize], const StartupActions& actions);

// Waits N seconds for "-wait N", one debugger line per second and one before.
void RunWaitDelay(const char* commandLine, const StartupActions& actions);
