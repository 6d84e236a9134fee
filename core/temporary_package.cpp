#include "core/temporary_package.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

#include "core/bounded_format.h"
#include "core/pack_list.h"
#include "core/path_join.h"

TemporaryPackage::TemporaryPackage(TemporaryFileWatch* watch) : watch_(watch) { memset(path_, 0, sizeof(path_)); }

int TemporaryPackage::Create(const char* packagePath) {
  if (watch_ != nullptr) watch_->Creating();
  const int created = CreateFile(packagePath);
  if (watch_ != nullptr) watch_->Created(created ? path_ : nullptr, &file_);
  return created;
}

int TemporaryPackage::MoveTo(const char* packagePath) {
  if (!MoveFileOver(path_, packagePath)) return 0;
  Release();
  return 1;
}

void TemporaryPackage::Discard() {
  file_.Close();
  if (path_[0] != 0) RemoveFile(path_);
  Release();
}

int TemporaryPackage::CreateFile(const char* packagePath) {
  char folder[kCorePathSize];
  if (!ConcatPath(folder, packagePath, "")) return 0;
  folder[GetFileNameOffset(folder)] = 0;
  unsigned seed = static_cast<unsigned>(time(nullptr)) ^ static_cast<unsigned>(clock() << 12);
  for (unsigned attempt = 0; attempt < 4096; ++attempt) {
    char name[16];
    FormatBounded(name, sizeof(name), "KVP%04X.tmp", (seed + attempt * 40503u) & 0xFFFF);
    if (!ConcatPath(path_, folder, name)) break;
    if (file_.CreateNew(path_)) return 1;
    if (!PathExists(path_)) break;  // the folder itself is missing or closed to us
  }
  path_[0] = 0;
  return 0;
}

// The watch learns that the file is gone only after it is: an interruption in
// between removes a name that no longer exists, never leaves the file behind.
void TemporaryPackage::Release() {
  if (path_[0] != 0 && watch_ != nullptr) watch_->Released();
  path_[0] = 0;
}
