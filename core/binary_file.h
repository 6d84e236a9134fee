// Files for the package core: plain descriptors of the C runtime, so that one source
// builds for Windows (where they are thin over ReadFile and WriteFile) and for the host.
// Outputs are never opened with truncation: under Wine, closing a truncated file makes
// the file system write it out again, which costs as much as the copy itself.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/path_limits.h"


class BinaryFile {
 public:
  BinaryFile() : descriptor_(-1) {}
  ~BinaryFile() { Close(); }
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  // Each returns 1 when the file is open. A file that is open already is closed first.
  int OpenForReading(const char* path);
  // A new file; fails when anything of that name exists, so nothing is ever overwritten.
  int CreateNew(const char* path);
  // Takes over a descriptor that the caller opened with rights and sharing of its own;
  // Close closes it.
  int Adopt(int descriptor);

  bool isOpen() const { return descriptor_ >= 0; }
  // The runtime's descriptor, for a handler that must close the file from outside.
  int descriptor() const { return descriptor_; }

  // Reads up to `length` bytes; *got is 0 at the end of the file. 0 on a read error.
  int Read(void* buffer, size_t length, size_t* got);
  // Writes all `length` bytes. 0 when the file took fewer (a full disk) or failed.
  int Write(const void* buffer, size_t length);
  // Reads exactly `length` bytes from `position`. 0 when fewer are there.
  int ReadAt(uint64_t position, void* buffer, size_t length);
  int Seek(uint64_t position);
  int GetLength(uint64_t* length);
  // 1 when the file was open and closed cleanly (a failed close is a failed write).
  int Close();

 private:
  int descriptor_;
};

// 1 when a file or folder of that name exists.
int PathExists(const char* path);
int IsDirectory(const char* path);
// 1 for a plain file (not a folder, a pipe or a device).
int IsRegularFile(const char* path);
int RemoveFile(const char* path);
// Creates a folder; fails when it exists.
int MakeDirectory(const char* path);
int RemoveEmptyDirectory(const char* path);
// Moves `from` over `to`, replacing a file at `to` only once `from` is in place: when the
// move fails, the earlier file at `to` is still there.
int MoveFileOver(const char* from, const char* to);
