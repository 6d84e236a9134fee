#include "app/startup_dispatch.h"

#include <stdio.h>

#include "package/clean_work_directory.h"
#include "package/extract_to_folder.h"
#include "package/package_run.h"
#include "package/silent_run.h"

static void SleepMilliseconds(DWORD milliseconds) { Sleep(milliseconds); }
static void WriteDebuggerLine(const char* text) { OutputDebugStringA(text); }
static int IsSilentStart(const StartOptions& options) { return IsSilentProcess(options.silentSwitches); }

StartupActions ProductStartupActions(void (*showPackagingWindow)()) {
  StartupActions actions = {CleanWorkDirectory, ExtractPackageToFolder, RunPackage,
                            showPackagingWindow, IsSilentStart, SleepMilliseconds, WriteDebuggerLine};
  return actions;
}

static void WriteDelayLine(const StartupActions& actions, int second, int total) {
  char line[64];
  sprintf(line, "delay = %d / %d sec", second, total);
  actions.debugOutput(line);
}

void RunWaitDelay(int total, const StartupActions& actions) {
  WriteDelayLine(actions, 1, total);
  for (int second = 1; second <= total;) {
    actions.sleep(1000);
    ++second;
    WriteDelayLine(actions, second, total);
  }
}

DWORD DispatchStartup(const StartOptions& options, const StartupActions& actions) {
  DWORD exitCode = 0;
  if (options.mode == kStartCleanUp) {
    actions.cleanWorkDirectory(options, &exitCode);
    return exitCode;
  }
  if (options.mode == kStartExtract) {
    actions.extractPackageToFolder(options, &exitCode);
    return exitCode;
  }
  if (options.waits) RunWaitDelay(options.waitSeconds, actions);
  if (actions.runPackage(options, &exitCode) != 0) return exitCode;
  if (actions.isSilent(options)) return exitCode;
  // A package that failed keeps its code after the window closes: an unattended caller
  // must not read the window's closing as the package's success.
  actions.showPackagingWindow();
  return exitCode;
}
