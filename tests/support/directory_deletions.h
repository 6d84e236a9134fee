// Deletion at restart of a directory as it lies on disk. A run records the paths of its
// own members; these record whatever a walk of the folder finds, so that the tests (and
// the benchmark of a run's steps) can set the one update against the system's calls on
// any tree.
#pragma once
#include "package/reboot_deletion.h"

// Calls `record` for every file and folder inside the directory, at any depth, and then
// for the directory itself, in the order of PathsToDelete. Links (reparse points) are
// neither entered nor recorded. Returns 0 as soon as `record` does.
int ForEachPathToDelete(const char* directory, DeletionRecorder& record);

// Everything in a directory as it is found on disk, and the directory.
class DirectoryContents : public PathsToDelete {
 public:
  explicit DirectoryContents(const char* directory) : directory_(directory) {}
  int ForEach(DeletionRecorder& record) const override { return ForEachPathToDelete(directory_, record); }

 private:
  const char* directory_;
};

inline int RecordDeletionsInOneWrite(const char* directory) {
  return RecordDeletionsInOneWrite(DirectoryContents(directory));
}
inline void RecordDeletionsOneByOne(const char* directory) { RecordDeletionsOneByOne(DirectoryContents(directory)); }
inline void ScheduleDeleteAtReboot(const char* directory) { ScheduleDeletionsAtReboot(DirectoryContents(directory)); }
