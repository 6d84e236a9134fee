#include "support/run_support.h"

#include <windows.h>

#include <cctype>
#include <cstring>

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string ParentOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }
std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

std::string WineTempFolder() {
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof(temp), temp);
  std::string folder = temp;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::set<std::string> WorkDirectoriesIn(const std::string& folder) {
  std::set<std::string> found;
  for (const std::string& name : ListFolder(folder)) {
    if (name.compare(0, 8, "KVLodkin") == 0 && DirectoryExists(folder + "\\" + name)) {
      found.insert(folder + "\\" + name);
    }
  }
  return found;
}

std::vector<std::string> PendingDeleteList() {
  std::vector<std::string> paths;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_READ, &key) != ERROR_SUCCESS) {
    return paths;
  }
  DWORD length = 0;
  RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &length);
  std::vector<char> value(length + 2, 0);
  if (length > 0 && RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(value.data()), &length) == ERROR_SUCCESS) {
    const char* end = value.data() + length;
    for (const char* p = value.data(); p < end; p += strlen(p) + 1) {
      std::string path = p;
      if (path.empty()) continue;
      if (path.compare(0, 4, "\\??\\") == 0) path = path.substr(4);
      paths.push_back(Lower(path));
    }
  }
  RegCloseKey(key);
  return paths;
}

std::vector<StandInRecord> ReadStandInRecords(const std::string& path) {
  std::vector<StandInRecord> records;
  if (!FileExists(path)) return records;
  const std::vector<char> bytes = ReadFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  StandInRecord current;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) {
      if (!current.empty()) records.push_back(current);
      current.clear();
      continue;
    }
    const size_t equals = line.find('=');
    current[line.substr(0, equals)] = line.substr(equals + 1);
  }
  if (!current.empty()) records.push_back(current);
  return records;
}

std::vector<char> StandInBytes() { return ReadFileBytes(BuildBinFolder() + "\\stand_in_setup.exe"); }

RunScene::RunScene() {
  recordPath_ = folder_.Join("record.txt");
  SetEnvironmentVariableA("LODKIN_STAND_IN_RECORD", recordPath_.c_str());
  tempBefore_ = WorkDirectoriesIn(WineTempFolder());
}

RunScene::~RunScene() {
  for (const std::string& directory : NewTempWorkDirectories()) RemoveTree(directory);
  SetEnvironmentVariableA("LODKIN_STAND_IN_RECORD", nullptr);
}

std::string RunScene::Package(const std::string& name, const std::vector<TestMember>& members) {
  TempFolder scratch;
  const std::string path = folder_.Join(name);
  WriteTestPackage(path, LodkinExePath(), members, scratch.path());
  return path;
}

std::set<std::string> RunScene::NewTempWorkDirectories() const {
  std::set<std::string> added;
  for (const std::string& directory : WorkDirectoriesIn(WineTempFolder())) {
    if (!tempBefore_.count(directory)) added.insert(directory);
  }
  return added;
}
