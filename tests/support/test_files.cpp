#include "support/test_files.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

TempFolder::TempFolder(const std::string& parent) {
  std::string base = parent;
  if (base.empty()) {
    char temp[MAX_PATH] = {0};
    GetTempPathA(sizeof(temp), temp);
    base = temp;
    if (!base.empty() && base.back() == '\\') base.pop_back();
  }
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char name[64];
    sprintf(name, "\\lodkin-test-%lu-%u", GetCurrentProcessId(), counter++);
    std::string candidate = base + name;
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a test folder under " + base);
}

std::string TempFolder::Join(const std::string& name) const { return path_ + "\\" + name; }

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolder(const std::string& path) {
  if (!CreateDirectoryA(path.c_str(), nullptr)) throw std::runtime_error("cannot create " + path);
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

void RemoveTree(const std::string& path) {
  if (path.empty()) return;
  for (const std::string& name : ListFolder(path)) {
    std::string child = path + "\\" + name;
    if (DirectoryExists(child)) {
      RemoveTree(child);
    } else {
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(child.c_str());
    }
  }
  RemoveDirectoryA(path.c_str());
}

std::string BuildBinFolder() {
  char module[MAX_PATH] = {0};
  GetModuleFileNameA(nullptr, module, sizeof(module));
  std::string path = module;
  return path.substr(0, path.find_last_of('\\'));
}

std::string LodkinExePath() { return BuildBinFolder() + "\\Lodkin.exe"; }

#else

TempFolder::TempFolder(const std::string& parent) {
  std::string base = parent;
  if (base.empty()) {
    const char* temp = getenv("TMPDIR");
    base = temp != nullptr && temp[0] != 0 ? temp : "/tmp";
  }
  std::string pattern = base + "/lodkin-host-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back(0);
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
  path_ = buffer.data();
}

std::string TempFolder::Join(const std::string& name) const { return path_ + "/" + name; }

// lstat: a link counts as what it is, never as what it leads to.
bool PathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0777) != 0) throw std::runtime_error("cannot create " + path);
}

std::vector<std::string> ListFolder(const std::string& path) {
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

void RemoveTree(const std::string& path) {
  struct stat info;
  if (path.empty() || lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    // A folder a test made read-only must still go.
    chmod(path.c_str(), 0700);
    for (const std::string& name : ListFolder(path)) RemoveTree(path + "/" + name);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

#endif

TempFolder::~TempFolder() { RemoveTree(path_); }
