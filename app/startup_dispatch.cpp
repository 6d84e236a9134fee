#include "app/startup_dispatch.h"

#include <stdio.h>
#include <string.h>

#include "package/clean_work_directory.h"
#include "package/extract_to_folder.h"
#include "package/package_run.h"

static void SleepMilliseconds(DWORD milliseconds) { Sleep(milliseconds); }
static void WriteDebuggerLine(const char* text) { OutputDebugStringA(text); }

StartupActions ProductStartupActions(void (*showPackagingWindow)()) {
  StartupActions actions = {CleanWorkDirectory, ExtractPackageToFolder, RunPackage,
                            showPackagingWindow, SleepMilliseconds, WriteDebuggerLine};
  return actions;
}

static void WriteDelayLine(const StartupActions& actions, int second, int total) {
  char line[64];
  sprintf(line, "delay = %d / %d sec", second, total);
  actions.debugOutput(line);
}

void RunWaitDelay(const char* commandLine, const StartupActions& actions) {
  const int total = ParseWaitSeconds(commandLine);
  WriteDelayLine(actions, 1, total);
  for (int second = 1; second <= total;) {
    actions.sleep(1000);
    ++second;
    WriteDelayLine(actions, second, total);
  }
}

DWORD DispatchStartup(char (&commandLine)[kCommandLineSize], const StartupActions& actions) {
  DWORD exitCode = 0;
  if (StartsWithOption(commandLine, "-d")) {
    actions.cleanWorkDirectory(commandLine, &exitCode);
    return exitCode;
  }
  if (StartsWithOption(commandLine, "-e")) {
    actions.extractPackageToFolder(commandLine, &exitCode);
    return exitCode;
  }
  if (strstr(commandLine, "-wait") != nullptr) RunWaitDelay(commandLine, actions);
  if (actions.runPackage(commandLine, &exitCode) != 0) return exitCode;
  // A package that failed keeps its code after the window closes: an unattended caller
  // must not read the window's closing as the package's success.
  actions.showPackagingWindow();
  return exitCode;
}
