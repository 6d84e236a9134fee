// Chooses the one mode that a start runs, from the parsed command line:
// "-d" (clean-up) wins over "-e" (extract), both win over "-wait", which only delays
// the package run; a package run that ran nothing opens the packaging window.
#pragma once
#include <windows.h>

#include "package/start_options.h"

// Each mode returns 1 done / 0 not done and stores the process exit code in *exitCode.
struct StartupActions {
  int (*cleanWorkDirectory)(const StartOptions& options, DWORD* exitCode);
  int (*extractPackageToFolder)(const StartOptions& options, DWORD* exitCode);
  int (*runPackage)(const StartOptions& options, DWORD* exitCode);
  void (*showPackagingWindow)();
  // Whether nobody can see a window: a run that starts with "-s", or one in a window
  // station that is not shown.
  int (*isSilent)(const StartOptions& options);
  void (*sleep)(DWORD milliseconds);
  void (*debugOutput)(const char* text);
};

// The actions of the real program: the modes, Sleep and OutputDebugStringA.
// The packaging window is shown through the application object.
StartupActions ProductStartupActions(void (*showPackagingWindow)());

// Runs the one mode and returns the process exit code: the mode's, or, when the
// packaging window opened, the failed run's code (0 for a plain program). A silent start
// never opens the window: nobody could close it.
DWORD DispatchStartup(const StartOptions& options, const StartupActions& actions);

// Waits N seconds for "-wait N", one debugger line per second and one before.
void RunWaitDelay(int seconds, const StartupActions& actions);
