// What a run writes below a folder it made: every folder and file of the package's
// members made fresh, never one that was there before. Something of a member's name
// that this tree did not make (a folder, a file, a link) is a failure, never followed,
// never replaced: a link planted in a new folder would otherwise lead the members of an
// elevated process into a folder of someone else's choosing.
//
// Each folder is held open from the call that creates it, and each file from its
// creation (for writing) and, once written and checked, for reading, until the tree lets
// go: folders without delete sharing (they can be neither renamed nor replaced), files
// with read sharing only (a program can be started from one, but nothing can write,
// replace or delete it).
#pragma once
#include <windows.h>

#include "core/binary_file.h"
#include "core/package_reader.h"
#include "package/reboot_deletion.h"
#include "package/work_directory.h"
#include "win32/unique_resource.h"

// Which file a handle has open: the same volume and index are the same file.
struct FileId {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;
};

// The file a member wrote; `owned` is 0 for a member that wrote none (a folder, or one
// not reached). `started` marks a program that the run starts.
struct MemberFile {
  FileId id;
  int owned;
  int started;
};

class MemberTree : public PathsToDelete, public WrittenMembers {
 public:
  MemberTree();
  ~MemberTree() { ReleaseAll(); }
  MemberTree(const MemberTree&) = delete;
  MemberTree& operator=(const MemberTree&) = delete;

  // Prepares for the members of `package` below `root`, a folder that this run made.
  // Returns 0 when there is no memory for the handles.
  int Start(const PackageReader& package, const char* root);

  // Marks member `index` as a program that the run starts: held once written whatever
  // the number of files held already (the limit applies to the others), and never
  // left unheld. Call after Start.
  void HoldUntilStarted(int index) { written_.get()[index].started = 1; }

  // Makes the folders on member `index`'s `path` below the root, the member itself too
  // when its name ends with the separator (an empty folder). Returns 1 when they all are
  // this tree's; 0 with the system error code in *error (ERROR_ALREADY_EXISTS for one
  // that it did not make).
  int MakeFoldersFor(int index, const char* path, DWORD* error);

  // Opens member `index`'s file at `path` for writing into `file`, with read sharing
  // only: always a new file. Returns 0 with the system error code in *error
  // (ERROR_ALREADY_EXISTS for anything of that name already there).
  int CreateMemberFile(int index, const char* path, BinaryFile& file, DWORD* error);

  // Once member `index` is written, checked and closed: holds its file open for reading,
  // with read sharing only. A program can be started from a file held so; one held for
  // writing could not. Returns 0 with ERROR_ALREADY_EXISTS when the file at `path` is no
  // longer the one written (something took its place between the two opens).
  int HoldMemberFile(int index, const char* path, DWORD* error);

  // Opens the file that member `index` wrote, for a later copy of its bytes: without
  // following a link, and only when it is still the file written (past the held files'
  // limit something else may stand at its name).
  int OpenWritten(int index, BinaryFile& file) override;

  // Lets go of every folder and file: once the programs that use them have started, or
  // before they are removed.
  void ReleaseAll();

  // The paths to delete at restart: only what the tree made, while the package is still
  // open. Every file, then every folder, deeper folders before the folders that hold them
  // (the reverse of the order they were made in), then the root. Returns 0 as soon as
  // `record` does.
  int ForEach(DeletionRecorder& record) const override;

 private:
  int IsEarlierFolder(int index, const char* relative, size_t length) const;
  int HoldFolder(const char* folder, int index, DWORD* error);

  const PackageReader* package_;  // read while members are written, not after
  char root_[kPathBufferSize];
  int fileCount_;
  size_t rootLength_;
  // One per member, empty where the member holds none (the block's zeros are empty owners).
  UniqueHeapBlock<UniqueHandle> files_;
  UniqueHeapBlock<MemberFile> written_;  // one per member
  // A folder made: the first `length` characters of member `member`'s name.
  struct MadeFolder {
    UniqueHandle held;  // a zeroed block holds empty owners
    int member;
    int length;
  };
  UniqueHeapBlock<MadeFolder> folders_;  // in the order they were made
  int heldFiles_;
  size_t folderCount_;
  size_t folderCapacity_;
  // The path whose folders were all made last. Members come depth-first, so most of a
  // path's folders were made for the member before it and need no call at all.
  char lastPath_[kMemberPathSize];
};
