// What one start of the program asks for, read from its command line once (the parser
// is start-up's) and handed to the mode that runs.
#pragma once

// Room for the longest command line the system passes (32,767 characters) and its
// terminator: a cut line would hand a setup program half a property.
const unsigned kCommandLineSize = 32768;

enum StartMode {
  kStartPackageRun,  // no mode option: the package run, then perhaps the window
  kStartCleanUp,     // "-d"
  kStartExtract,     // "-e"
};

struct StartOptions {
  StartMode mode;
  int waits;            // "-wait" stands somewhere in the line
  int waitSeconds;      // its count, 0 without one
  int silentSwitches;   // the line begins with "-s": the setup program gets the whole line
  int cleanNameOffset;  // "-d": where the work directory's name starts in `line`
  int runTextOffset;    // "-run": where the member and its arguments start, -1 without it
  // The whole command line as the system passed it, zero-filled behind its end.
  char line[kCommandLineSize];

  const char* CleanName() const { return line + cleanNameOffset; }
  const char* RunText() const { return runTextOffset >= 0 ? line + runTextOffset : nullptr; }
  const char* SetupArguments() const { return silentSwitches ? line : ""; }
  int IsEmpty() const { return line[0] == 0; }
};
