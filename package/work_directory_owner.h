// The one owner of a package run's work directory: it creates the directory, holds it
// and what is written into it, and, unless the run keeps it (a program was started from
// it), removes it with everything in it when the run ends. Every failure of a run
// therefore leaves nothing behind: deployment systems retry, and each retry would
// otherwise leave another copy of the payload until the next restart.
#pragma once
#include <windows.h>

#include "package/member_tree.h"
#include "package/work_directory.h"
#include "win32/unique_resource.h"

class WorkDirectory {
 public:
  WorkDirectory() : created_(0), kept_(0) { path_[0] = 0; }
  ~WorkDirectory();
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;

  // See CreateWorkDirectory. Returns 1 when this run made the directory.
  int Create(int besideModule, DWORD* error);

  // The directory's path; on a failed Create, the name that was tried last.
  const char* path() const { return path_; }
  MemberTree& members() { return members_; }

  // Called once a program has started from the directory: it stays until the restart.
  void Keep() { kept_ = 1; }

 private:
  char path_[kPathBufferSize];
  UniqueHandle held_;
  MemberTree members_;
  int created_;
  int kept_;
};
