#include "support/test_files.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

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

TempFolder::~TempFolder() { RemoveTree(path_); }

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
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
