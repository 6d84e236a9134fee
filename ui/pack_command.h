// The Pack command, apart from the window that shows it: the checks on the file list,
// the package path, the writing and the report. The packaging window hands it a view
// of its list and a way to report; tests hand it plain ones.
#pragma once
#include <stdint.h>

// The rows of the file list, top row first.
class PackFileList {
 public:
  virtual int GetCount() const = 0;
  // The row's text, cut to fit and always terminated.
  virtual void GetRowText(int row, char (&text)[260]) const = 0;

 protected:
  ~PackFileList() {}
};

// Where the command reports: the status line and a message box owned by the window.
class PackReport {
 public:
  virtual void SetStatusText(const char* text) = 0;
  virtual void ShowMessage(const char* text, const char* caption) = 0;

 protected:
  ~PackReport() {}
};

// Index of the first character of the file-name part: one past the last backslash,
// or 0 when no backslash stands after index 0.
int GetFileNameOffset(const char* path);

// Number of rows whose lower-cased file-name part is a setup program name.
unsigned CountSetupPrograms(const PackFileList& list);

// 1, after showing the refusal box, when a row's lower-cased file-name part contains
// "kvpack"; 0 otherwise.
int IsAnyMemberPacked(const PackFileList& list, PackReport& report);

// The whole command: checks, package path, writing, report. `modulePath` is the
// running program's own file.
void RunPackCommand(const PackFileList& list, PackReport& report, const char* modulePath);

// The package path for the top entry `topEntry`: its folder, then "KVPACK_", the folder's
// name and ".exe"; X:\KVPACK_X.exe for an entry in a drive root. 0 when the entry has no
// folder name to take or the path would not fit in 259 characters.
int BuildPackagePath(const char* topEntry, char (&packagePath)[260]);

// What tests can change about the writing: the first package length that is refused,
// and the mode the temporary package file is opened with (a read-only mode makes every
// write to it fail, as on a full disk).
struct PackOptions {
  uint64_t maxPackageLength;
  const char* packageOpenMode;
};
void RunPackCommandWith(const PackFileList& list, PackReport& report, const char* modulePath,
                        const PackOptions& options);
