// The Pack command as the packaging window shows it: the rules and the writing are the
// package core's; this side puts each outcome into the status line and a message box.
#pragma once
#include "core/pack_job.h"
#include "core/pack_outcome_text.h"

// Where the command reports: the status line and a message box owned by the window.
class PackReport {
 public:
  virtual void SetStatusText(const char* text) = 0;
  virtual void ShowMessage(const char* text, const char* caption) = 0;

 protected:
  ~PackReport() {}
};

// The outcome in the status line, then in a box.
void ShowPackOutcome(PackReport& report, const PackResult& result);

// The whole command: checks, package path, writing, report. `modulePath` is the
// running program's own file. A folder row packs the folder's whole tree.
void RunPackCommand(const PackFileList& list, PackReport& report, const char* modulePath);
void RunPackCommandWith(const PackFileList& list, PackReport& report, const char* modulePath,
                        const PackOptions& options);

// The window's command: the module is the running program's own file. A path that does
// not fit its 260 bytes is never cut (a cut path could name another program): the module
// path is then empty, the command ends in the box that the module cannot be opened, and
// nothing is written.
void RunPackCommandOfThisProgram(const PackFileList& list, PackReport& report);
