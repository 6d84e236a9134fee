#include "package/member_tree.h"

#include <fcntl.h>
#include <io.h>
#include <string.h>

#include "core/member_name.h"
#include "core/path_join.h"
#include "package/held_directory.h"

// Files held at most at once, besides the programs that the run starts. Wine keeps a
// file of its host open for every handle, and a tree of thousands of files would run it
// out of them; beyond this many, the access list of the work directory alone keeps
// everyone else out.
static const int kMostHeldFiles = 1000;

MemberTree::MemberTree()
    : package_(nullptr), fileCount_(0), rootLength_(0), heldFiles_(0), folderCount_(0), folderCapacity_(0) {
  root_[0] = 0;
  lastPath_[0] = 0;
}

int MemberTree::Start(const PackageReader& package, const char* root) {
  ReleaseAll();
  folderCount_ = 0;
  heldFiles_ = 0;
  package_ = &package;
  rootLength_ = strlen(root);
  lstrcpynA(root_, root, sizeof(root_));
  lastPath_[0] = 0;
  // Every folder made is the part of some member's name before one of its separators.
  size_t separators = 0;
  for (int i = 0; i < package.count(); ++i) {
    for (const char* at = package.entry(i).name; *at != 0; ++at) separators += *at == kPathSeparator;
  }
  const size_t count = package.count() > 0 ? static_cast<size_t>(package.count()) : 1;
  files_ = AllocateHeapBlock<UniqueHandle>(count);
  written_ = AllocateHeapBlock<MemberFile>(count);
  fileCount_ = files_.valid() ? package.count() : 0;
  folders_ = AllocateHeapBlock<MadeFolder>(separators + 1);
  folderCapacity_ = separators + 1;
  return files_.valid() && written_.valid() && folders_.valid();
}

void MemberTree::ReleaseAll() {
  for (int i = 0; i < fileCount_; ++i) files_.get()[i].reset();
  heldFiles_ = 0;
  // The deepest folders last made first.
  for (size_t i = folderCount_; i > 0; --i) folders_.get()[i - 1].held.reset();
}

// Whether an earlier member's name runs through the folder `relative` (its first
// `length` characters): the tree then made that folder itself.
int MemberTree::IsEarlierFolder(int index, const char* relative, size_t length) const {
  for (int i = 0; i < index; ++i) {
    const char* name = package_->entry(i).name;
    if (strlen(name) > length && name[length] == kPathSeparator && _strnicmp(name, relative, length) == 0) {
      return 1;
    }
  }
  return 0;
}

int MemberTree::HoldFolder(const char* folder, int index, DWORD* error) {
  UniqueHandle held;
  *error = CreateHeldDirectory(folder, NULL, &held);
  if (*error != 0) return 0;
  if (folderCount_ >= folderCapacity_) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
  MadeFolder& made = folders_.get()[folderCount_++];
  made.held = static_cast<UniqueHandle&&>(held);
  made.member = index;
  made.length = static_cast<int>(strlen(folder) - rootLength_ - 1);
  return 1;
}

int MemberTree::MakeFoldersFor(int index, const char* path, DWORD* error) {
  char folder[kMemberPathSize];
  for (size_t at = rootLength_ + 1; path[at] != 0; ++at) {
    // The second byte of a double-byte character may be the separator's byte.
    if (IsDBCSLeadByte(static_cast<BYTE>(path[at])) && path[at + 1] != 0) {
      ++at;
      continue;
    }
    if (path[at] != kPathSeparator || strncmp(path, lastPath_, at + 1) == 0) continue;
    memcpy(folder, path, at);
    folder[at] = 0;
    if (HoldFolder(folder, index, error)) continue;
    // A folder of an earlier member whose name differs in letter case, or that came
    // before another folder's members: this tree's own. Anything else is not.
    if (*error != ERROR_ALREADY_EXISTS || !IsEarlierFolder(index, folder + rootLength_ + 1, at - rootLength_ - 1)) {
      lastPath_[0] = 0;
      return 0;
    }
  }
  lstrcpynA(lastPath_, path, sizeof(lastPath_));
  return 1;
}

// The file as a descriptor of the runtime, for the copy.
// The descriptor owns the handle from then on; the owner keeps it until it does.
static int AdoptHandle(UniqueFile& handle, BinaryFile& file, DWORD* error) {
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_BINARY);
  if (descriptor < 0) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
  handle.release();
  return file.Adopt(descriptor);
}

static int ReadFileId(HANDLE file, FileId* id) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return 0;
  id->volume = information.dwVolumeSerialNumber;
  id->indexHigh = information.nFileIndexHigh;
  id->indexLow = information.nFileIndexLow;
  return 1;
}

static int IsSameFile(HANDLE file, const FileId& id) {
  FileId now;
  return ReadFileId(file, &now) && memcmp(&now, &id, sizeof(id)) == 0;
}

// The file written at `path` opened for reading, with read sharing only; a link is
// opened as itself, never followed: it is not the file that was written. Invalid, with
// ERROR_ALREADY_EXISTS in *error, when something else stands at the name by now.
static HANDLE OpenWrittenFile(const char* path, const FileId& id, DWORD* error) {
  UniqueFile opened(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL));
  *error = GetLastError();
  if (!opened.valid() || IsSameFile(opened.get(), id)) return opened.release();
  *error = ERROR_ALREADY_EXISTS;
  return INVALID_HANDLE_VALUE;
}

int MemberTree::CreateMemberFile(int index, const char* path, BinaryFile& file, DWORD* error) {
  UniqueFile created(::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, NULL));
  if (created.valid()) {
    if (!ReadFileId(created.get(), &written_.get()[index].id)) {
      *error = GetLastError();
      return 0;
    }
    written_.get()[index].owned = 1;
    return AdoptHandle(created, file, error);
  }
  *error = GetLastError();
  // Whatever is there already was never this tree's: the reader refuses a package with two
  // names that Windows would take as one file, so no earlier member can have made it.
  if (*error == ERROR_FILE_EXISTS || GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
    *error = ERROR_ALREADY_EXISTS;
  }
  return 0;
}

int MemberTree::HoldMemberFile(int index, const char* path, DWORD* error) {
  const int started = written_.get()[index].started;
  if (heldFiles_ >= kMostHeldFiles && !started) return 1;
  HANDLE held = OpenWrittenFile(path, written_.get()[index].id, error);
  if (held == INVALID_HANDLE_VALUE) {
    // Something else at the name fails the member. A system that runs out of open files
    // before a tree of tens of thousands is held (Wine keeps a file of its host open for
    // each) goes on without the hold: the work directory's access list still keeps
    // everyone else out. A program that the run starts is never left so.
    return !started && (*error == ERROR_TOO_MANY_OPEN_FILES || *error == ERROR_NO_SYSTEM_RESOURCES);
  }
  files_.get()[index].reset(held);
  heldFiles_ += !started;
  return 1;
}

int MemberTree::OpenWritten(int index, BinaryFile& file) {
  char path[kMemberPathSize];
  if (!JoinPath(path, root_, package_->entry(index).name)) return 0;
  // Past the held files something else may stand at the name by now: only the file that
  // was written is read.
  DWORD error = 0;
  UniqueFile opened(OpenWrittenFile(path, written_.get()[index].id, &error));
  return opened.valid() && AdoptHandle(opened, file, &error);
}

int MemberTree::ForEach(DeletionRecorder& record) const {
  char path[kMemberPathSize];
  for (int i = 0; i < fileCount_; ++i) {
    // A folder entry, or a member not reached, made no file.
    if (!written_.get()[i].owned) continue;
    if (!JoinPath(path, root_, package_->entry(i).name) || !record.Record(path)) return 0;
  }
  for (size_t i = folderCount_; i > 0; --i) {
    const MadeFolder& made = folders_.get()[i - 1];
    char relative[kMemberPathSize];
    lstrcpynA(relative, package_->entry(made.member).name, made.length + 1);
    if (!JoinPath(path, root_, relative) || !record.Record(path)) return 0;
  }
  return record.Record(root_);
}
