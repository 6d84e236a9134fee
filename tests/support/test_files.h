// Real files for the tests of both sides (the Windows tests under Wine and the native
// ones): fresh folders, fixed-seed content, whole-file reads, and one vocabulary for what
// lies at a path. Paths use the platform's separator.
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
  std::string Join(const std::string& name) const;

 private:
  std::string path_;
};

// Anything at all at the path: a file, a folder or a link (a link that leads nowhere
// included on the native side, where links are not followed).
bool PathExists(const std::string& path);
// A file: something there that is not a folder.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Throws std::runtime_error when the folder cannot be made.
void MakeFolder(const std::string& path);
// Names of the entries directly inside a folder, "." and ".." left out, sorted.
std::vector<std::string> ListFolder(const std::string& path);
// Deletes a folder with everything in it (read-only files included); on the native side
// also a single file or link, never what a link leads to.
void RemoveTree(const std::string& path);

#ifdef _WIN32
// The folder of the running test executable, where Lodkin.exe and the helpers are built.
std::string BuildBinFolder();
std::string LodkinExePath();
#endif
