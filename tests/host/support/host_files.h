// Real files for the native tests: fresh folders, fixed-seed content, whole-file reads,
// and packages laid out by hand as the reference for what the writer must produce.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "support/file_bytes.h"
#include "support/seeded_bytes.h"

class HostFolder {
 public:
  HostFolder();  // a new empty folder under the temporary folder
  ~HostFolder();
  HostFolder(const HostFolder&) = delete;
  HostFolder& operator=(const HostFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string Join(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The shared helpers under the short names the host tests use.
inline void WriteBytes(const std::string& path, const std::vector<char>& bytes) { WriteFileBytes(path, bytes); }
inline std::vector<char> ReadBytes(const std::string& path) { return ReadFileBytes(path); }
bool Exists(const std::string& path);
void MakeFolder(const std::string& path);
// Names directly inside a folder, sorted.
std::vector<std::string> FolderEntries(const std::string& path);
void RemoveAll(const std::string& path);

struct HandMember {
  std::string name;
  std::vector<char> bytes;
};
// Module image, members, a zero-padded directory and the trailer, put together here
// without the writer; with `checksums`, each entry also gets the checksum record that
// the writer puts there (values from the core's checksum, which has tests of its own).
std::vector<char> LayOutPackage(const std::vector<char>& module, const std::vector<HandMember>& members,
                                bool checksums = false);

// Where the cross build put Lodkin.exe, stand_in_setup.exe and lodkin-cli itself;
// empty when the host build was configured without it.
std::string WindowsBinFolder();
std::string CliPath();
