#include "package/work_directory_owner.h"

#include "package/clean_work_directory.h"

int WorkDirectory::Create(int besideModule, DWORD* error) {
  created_ = CreateWorkDirectory(besideModule, path_, &held_, error);
  return created_;
}

WorkDirectory::~WorkDirectory() {
  // Its own handles would keep the files and folders from being deleted.
  members_.ReleaseAll();
  held_.reset();
  if (created_ && !kept_) DeleteDirectoryAndFiles(path_);
}
