// Deletion at the next restart. The system keeps the pending operations in one registry
// value, a list of strings in pairs: the NT form of a source path ("\??\C:\dir\file"),
// then its destination, empty for a deletion. MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT
// reads that value and writes it back whole for every single path, so recording the
// files of a large work directory that way costs time in the square of their number.
// Here the records of a whole directory are appended in one update instead, laid out
// exactly as the calls would have left them; the calls remain the fallback.
#pragma once
#include <windows.h>

#include "core/growable_block.h"
#include "win32/unique_resource.h"

extern const wchar_t kSessionManagerKey[];
extern const wchar_t kPendingOperationsValue[];

// The new value being built: the earlier value (other programs' records) followed by one
// deletion record per path, in the order they were added.
class PendingDeleteValue {
 public:
  PendingDeleteValue();
  PendingDeleteValue(const PendingDeleteValue&) = delete;
  PendingDeleteValue& operator=(const PendingDeleteValue&) = delete;

  // Starts from the value as it stands: `present` 0 when there is none. Returns 0 for a
  // value that the system would not extend in the plain way (not a list of strings, or
  // one that does not end with its terminator); such a value is left to the calls.
  int Start(int present, DWORD type, const void* data, DWORD bytes);
  // Room for the earlier value, so that it can be read straight into place. Returns a
  // buffer of `bytes` bytes, or nullptr when there is no memory.
  void* ReserveForEarlierValue(DWORD bytes);
  // Adds the record of one path, given as the calls are given it (ANSI, any Win32 form
  // that names a drive or a share). Returns 0 when its NT form cannot be made.
  int AddDeletion(const char* path);
  // Appends the records of another value (its strings, without its final terminator).
  int AppendRecordsOf(const PendingDeleteValue& other);

  // The value to write, its final terminator included.
  const BYTE* data() const { return reinterpret_cast<const BYTE*>(text_.get()); }
  DWORD size() const { return static_cast<DWORD>((length_ + 1) * sizeof(wchar_t)); }

 private:
  int Reserve(size_t characters);
  int Append(const wchar_t* text, size_t characters);

  GrowableBlock<wchar_t> text_;  // the strings so far, without the list's final terminator
  size_t length_;                // characters in text_
};

// The NT form under which the system records a path: "\??\" before a drive path, and
// "\??\UNC\" in place of the two backslashes of a share, after the same completion as
// GetFullPathName. Returns the number of characters written (without the terminator),
// or 0 when the path is of another kind or does not fit in `capacity` characters.
int MakeNtPath(const char* path, wchar_t* ntPath, int capacity);

// Takes the paths to delete one at a time. Returns 0 to stop.
class DeletionRecorder {
 public:
  virtual int Record(const char* path) = 0;

 protected:
  ~DeletionRecorder() {}
};

// What is to be deleted, each path handed to a recorder in the order the deletions must
// come: each file before the folder that holds it, each folder after everything it holds
// (so deeper folders before the folders that hold them). Returns 0 as soon as the
// recorder does.
class PathsToDelete {
 public:
  virtual int ForEach(DeletionRecorder& record) const = 0;

 protected:
  ~PathsToDelete() {}
};

// The records of all the paths in one update of the value. Returns 0 (and has changed
// nothing) when the value cannot be read, extended or written.
int RecordDeletionsInOneWrite(const PathsToDelete& paths);
// One MoveFileEx call per path, as the system's own interface does it.
void RecordDeletionsOneByOne(const PathsToDelete& paths);

// In one update, or one call per path where the value cannot be extended so.
void ScheduleDeletionsAtReboot(const PathsToDelete& paths);
