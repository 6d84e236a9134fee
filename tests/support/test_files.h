// Real files for tests: fresh folders, fixed-seed content, whole-file reads.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "support/file_bytes.h"
#include "support/seeded_bytes.h"

// A new empty folder that is removed with its contents when the object goes.
class TempFolder {
 public:
  // Made under the given parent, or under the system's temporary folder.
  explicit TempFolder(const std::string& parent = std::string());
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string Join(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Names of the entries directly inside a folder, "." and ".." left out, sorted.
std::vector<std::string> ListFolder(const std::string& path);
// Deletes a folder with everything in it (read-only files included).
void RemoveTree(const std::string& path);

// The folder of the running test executable, where Lodkin.exe and the helpers are built.
std::string BuildBinFolder();
std::string LodkinExePath();
