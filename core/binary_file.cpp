#include "core/binary_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "core/bounded_format.h"
#include "core/path_join.h"

#ifdef _WIN32
#include <direct.h>
#include <io.h>
// The runtime's descriptor calls under their Windows names.
#define CORE_OPEN _open
#define CORE_READ _read
#define CORE_WRITE _write
#define CORE_CLOSE _close
#define CORE_BINARY _O_BINARY
typedef unsigned IoLength;
static int64_t CoreSeek(int fd, int64_t position, int whence) { return _lseeki64(fd, position, whence); }
static int CoreMakeDirectory(const char* path) { return _mkdir(path); }
static int CoreRemoveDirectory(const char* path) { return _rmdir(path); }
static const int kCreateMode = _S_IREAD | _S_IWRITE;
typedef struct _stati64 CoreStat;
static int CoreStatPath(const char* path, CoreStat* info) { return _stati64(path, info); }
#else
#include <unistd.h>
#define CORE_OPEN open
#define CORE_READ read
#define CORE_WRITE write
#define CORE_CLOSE close
#define CORE_BINARY 0
typedef size_t IoLength;
static int64_t CoreSeek(int fd, int64_t position, int whence) { return lseek(fd, position, whence); }
static int CoreMakeDirectory(const char* path) { return mkdir(path, 0777); }
static int CoreRemoveDirectory(const char* path) { return rmdir(path); }
static const int kCreateMode = 0666;
typedef struct stat CoreStat;
static int CoreStatPath(const char* path, CoreStat* info) { return stat(path, info); }
#endif

// Reads and writes move at most this much per call; the callers' buffers are smaller.
static const size_t kMaxIoLength = 1u << 30;

int BinaryFile::OpenForReading(const char* path) {
  Close();
  descriptor_ = CORE_OPEN(path, O_RDONLY | CORE_BINARY);
  return isOpen() ? 1 : 0;
}

int BinaryFile::CreateNew(const char* path) {
  Close();
  descriptor_ = CORE_OPEN(path, O_WRONLY | O_CREAT | O_EXCL | CORE_BINARY, kCreateMode);
  return isOpen() ? 1 : 0;
}

int BinaryFile::Adopt(int descriptor) {
  Close();
  descriptor_ = descriptor;
  return isOpen() ? 1 : 0;
}

int BinaryFile::Read(void* buffer, size_t length, size_t* got) {
  *got = 0;
  if (!isOpen()) return 0;
  if (length > kMaxIoLength) length = kMaxIoLength;
  for (;;) {
    const auto result = CORE_READ(descriptor_, buffer, static_cast<IoLength>(length));
    if (result >= 0) {
      *got = static_cast<size_t>(result);
      return 1;
    }
    if (errno != EINTR) return 0;
  }
}

int BinaryFile::Write(const void* buffer, size_t length) {
  if (!isOpen()) return 0;
  const char* next = static_cast<const char*>(buffer);
  while (length > 0) {
    const size_t part = length > kMaxIoLength ? kMaxIoLength : length;
    const auto result = CORE_WRITE(descriptor_, next, static_cast<IoLength>(part));
    if (result < 0 && errno == EINTR) continue;
    // A write that takes nothing would repeat forever: the disk is full.
    if (result <= 0) return 0;
    next += result;
    length -= static_cast<size_t>(result);
  }
  return 1;
}

int BinaryFile::ReadAt(uint64_t position, void* buffer, size_t length) {
  if (!Seek(position)) return 0;
  char* next = static_cast<char*>(buffer);
  while (length > 0) {
    size_t got = 0;
    if (!Read(next, length, &got) || got == 0) return 0;
    next += got;
    length -= got;
  }
  return 1;
}

int BinaryFile::Seek(uint64_t position) {
  if (!isOpen() || position > static_cast<uint64_t>(INT64_MAX)) return 0;
  return CoreSeek(descriptor_, static_cast<int64_t>(position), SEEK_SET) ==
                 static_cast<int64_t>(position)
             ? 1
             : 0;
}

int BinaryFile::GetLength(uint64_t* length) {
  if (!isOpen()) return 0;
  const int64_t here = CoreSeek(descriptor_, 0, SEEK_CUR);
  const int64_t end = CoreSeek(descriptor_, 0, SEEK_END);
  if (here < 0 || end < 0 || CoreSeek(descriptor_, here, SEEK_SET) != here) return 0;
  *length = static_cast<uint64_t>(end);
  return 1;
}

int BinaryFile::Close() {
  if (!isOpen()) return 0;
  const int closed = CORE_CLOSE(descriptor_) == 0;
  descriptor_ = -1;
  return closed ? 1 : 0;
}

int PathExists(const char* path) {
  CoreStat info;
  return CoreStatPath(path, &info) == 0 ? 1 : 0;
}

int IsDirectory(const char* path) {
  CoreStat info;
  return CoreStatPath(path, &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR ? 1 : 0;
}

int IsRegularFile(const char* path) {
  CoreStat info;
  return CoreStatPath(path, &info) == 0 && (info.st_mode & S_IFMT) == S_IFREG ? 1 : 0;
}

int RemoveFile(const char* path) { return remove(path) == 0 ? 1 : 0; }

int MakeDirectory(const char* path) { return CoreMakeDirectory(path) == 0 ? 1 : 0; }

int RemoveEmptyDirectory(const char* path) { return CoreRemoveDirectory(path) == 0 ? 1 : 0; }

int MoveFileOver(const char* from, const char* to) {
  if (rename(from, to) == 0) return 1;
#ifdef _WIN32
  // The runtime's rename does not replace: step the earlier file aside first, and put
  // it back when the new one cannot take its place.
  if (!PathExists(to) || IsDirectory(to)) return 0;
  char aside[kCorePathSize + 16];
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    char suffix[16];
    FormatBounded(suffix, sizeof(suffix), ".%u.old", attempt);
    if (!ConcatPath(aside, to, suffix)) return 0;
    if (PathExists(aside)) continue;
    if (rename(to, aside) != 0) return 0;
    if (rename(from, to) != 0) {
      rename(aside, to);
      return 0;
    }
    // A read-only file cannot be removed on Windows until its read-only bit is cleared.
    _chmod(aside, _S_IREAD | _S_IWRITE);
    remove(aside);
    return 1;
  }
#endif
  return 0;
}
