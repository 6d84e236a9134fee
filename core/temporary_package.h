// The package while it is being written: a fresh file beside the package path, moved
// over that path only once it is whole, and otherwise closed and deleted, so that a
// failed pack never leaves a half-made package or harms an earlier one.
#pragma once
#include "core/binary_file.h"
#include "core/path_limits.h"

// Told where the temporary package is while it exists, so that a job that is
// interrupted from outside (a signal, a console break) can remove it.
class TemporaryFileWatch {
 public:
  // Called just before the file is made, then with the file once it is made (`path`
  // null when none could be made).
  virtual void Creating() = 0;
  virtual void Created(const char* path, const BinaryFile* file) = 0;
  // Called once the file has been moved into place or removed.
  virtual void Released() = 0;

 protected:
  ~TemporaryFileWatch() {}
};

// The open temporary package and its file: whatever is not committed is closed and
// deleted when the command leaves.
class TemporaryPackage {
 public:
  explicit TemporaryPackage(TemporaryFileWatch* watch);
  ~TemporaryPackage() { Discard(); }
  TemporaryPackage(const TemporaryPackage&) = delete;
  TemporaryPackage& operator=(const TemporaryPackage&) = delete;

  // A fresh file in the package's own folder, so that the final move stays on one
  // volume. It is created new, never truncated.
  int Create(const char* packagePath);

  BinaryFile& file() { return file_; }

  // Closes the file (a failed close is a failed write).
  int CloseChecked() { return file_.Close(); }

  // Moves the whole package over the package path, replacing an earlier one only now.
  int MoveTo(const char* packagePath);

  void Discard();

 private:
  int CreateFile(const char* packagePath);
  void Release();

  TemporaryFileWatch* watch_;
  BinaryFile file_;
  char path_[kCorePathSize];
};
