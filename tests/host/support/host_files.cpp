#include "host/support/host_files.h"

#include "core/checksum_record.h"
#include "core/member_checksum.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

HostFolder::HostFolder() {
  const char* temp = getenv("TMPDIR");
  std::string pattern = std::string(temp != nullptr && temp[0] != 0 ? temp : "/tmp") + "/lodkin-host-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back(0);
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
  path_ = buffer.data();
}

HostFolder::~HostFolder() { RemoveAll(path_); }

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0777) != 0) throw std::runtime_error("cannot create " + path);
}

std::vector<std::string> FolderEntries(const std::string& path) {
  std::vector<std::string> names;
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) return names;
  while (struct dirent* entry = readdir(folder)) {
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
  }
  closedir(folder);
  std::sort(names.begin(), names.end());
  return names;
}

void RemoveAll(const std::string& path) {
  struct stat info;
  if (path.empty() || lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    chmod(path.c_str(), 0700);
    for (const std::string& name : FolderEntries(path)) RemoveAll(path + "/" + name);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

std::vector<char> LayOutPackage(const std::vector<char>& module, const std::vector<HandMember>& members,
                                bool checksums) {
  std::vector<char> bytes = module;
  std::vector<char> directory;
  // The test modules are no PE files: nothing in them is masked.
  const uint32_t moduleChecksum = ChecksumOf(module.data(), module.size());
  for (const HandMember& member : members) {
    PackageDirEntry entry = {};
    strncpy(entry.name, member.name.c_str(), 259);
    entry.offset = static_cast<uint32_t>(bytes.size());
    entry.size = static_cast<uint32_t>(member.bytes.size());
    if (checksums) {
      WriteChecksumRecord(entry, {ChecksumOf(member.bytes.data(), member.bytes.size()), moduleChecksum});
    }
    const char* raw = reinterpret_cast<const char*>(&entry);
    directory.insert(directory.end(), raw, raw + sizeof(entry));
    bytes.insert(bytes.end(), member.bytes.begin(), member.bytes.end());
  }
  bytes.insert(bytes.end(), directory.begin(), directory.end());
  const char* magic = "BRAMTOLEPACKFILE";
  bytes.insert(bytes.end(), magic, magic + 16);
  const int32_t count = static_cast<int32_t>(members.size());
  const char* countBytes = reinterpret_cast<const char*>(&count);
  bytes.insert(bytes.end(), countBytes, countBytes + 4);
  return bytes;
}

// The scripts point the tests at the Windows build that runs on this machine.
std::string WindowsBinFolder() {
  const char* chosen = getenv("LODKIN_WINDOWS_BIN");
  return chosen != nullptr && *chosen != '\0' ? chosen : LODKIN_WINDOWS_BIN;
}

// The native tool beside the chosen build's Lodkin.exe, which it packs by default.
std::string CliPath() {
  const std::string beside = WindowsBinFolder() + "/lodkin-cli";
  return Exists(beside) ? beside : LODKIN_CLI_PATH;
}
