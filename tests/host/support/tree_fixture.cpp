#include "host/support/tree_fixture.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>

void WriteTree(const std::string& root, const std::vector<HandMember>& entries) {
  for (const HandMember& entry : entries) {
    for (size_t at = entry.name.find('/'); at != std::string::npos; at = entry.name.find('/', at + 1)) {
      const std::string folder = root + "/" + entry.name.substr(0, at);
      if (!PathExists(folder)) MakeFolder(folder);
    }
    if (entry.name.back() != '/') WriteFileBytes(root + "/" + entry.name, entry.bytes);
  }
}

static void CollectEntries(const std::string& root, const std::string& below, std::vector<std::string>& paths) {
  for (const std::string& name : ListFolder(root + "/" + below)) {
    const std::string path = below + name;
    struct stat info;
    if (lstat((root + "/" + path).c_str(), &info) != 0) continue;
    if (S_ISLNK(info.st_mode)) {
      paths.push_back(path + "@");
    } else if (S_ISDIR(info.st_mode)) {
      paths.push_back(path + "/");
      CollectEntries(root, path + "/", paths);
    } else {
      paths.push_back(path);
    }
  }
}

std::vector<std::string> TreeEntries(const std::string& root) {
  std::vector<std::string> paths;
  CollectEntries(root, "", paths);
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string TreeDifferences(const std::string& root, const std::vector<HandMember>& entries) {
  std::vector<std::string> expected;
  for (const HandMember& entry : entries) {
    expected.push_back(entry.name);
    // The folders on the path exist too.
    for (size_t at = entry.name.find('/'); at != std::string::npos && at + 1 < entry.name.size();
         at = entry.name.find('/', at + 1)) {
      expected.push_back(entry.name.substr(0, at + 1));
    }
  }
  std::sort(expected.begin(), expected.end());
  expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
  std::ostringstream out;
  const std::vector<std::string> found = TreeEntries(root);
  if (found != expected) {
    out << "entries:";
    for (const std::string& path : found) out << " " << path;
    out << "\n";
  }
  for (const HandMember& entry : entries) {
    const std::string path = root + "/" + entry.name;
    // A missing file shows in the entries above.
    if (entry.name.back() != '/' && PathExists(path) && ReadFileBytes(path) != entry.bytes) {
      out << entry.name << ": other bytes\n";
    }
  }
  return out.str();
}

std::string PrefixTempFolder() {
  const char* prefix = getenv("WINEPREFIX");
  const std::string users = std::string(prefix != nullptr ? prefix : WindowsBinFolder() + "/../wineprefix") +
                            "/drive_c/users";
  for (const std::string& user : ListFolder(users)) {
    if (PathExists(users + "/" + user + "/Temp")) return users + "/" + user + "/Temp";
  }
  return std::string();
}

std::vector<std::string> WorkDirectoriesIn(const std::string& folder) {
  std::vector<std::string> work;
  for (const std::string& name : ListFolder(folder)) {
    if (name.rfind("KVLodkin", 0) == 0) work.push_back(name);
  }
  return work;
}

std::string HostPathOfPrefixPath(const std::string& windowsPath) {
  const char* prefix = getenv("WINEPREFIX");
  std::string host = std::string(prefix != nullptr ? prefix : WindowsBinFolder() + "/../wineprefix") + "/drive_c" +
                     windowsPath.substr(2);
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

std::string RecordValue(const std::string& record, const std::string& key) {
  const size_t at = record.find(key + "=");
  if (at == std::string::npos) return std::string();
  const size_t start = at + key.size() + 1;
  return record.substr(start, record.find('\n', start) - start);
}

std::string RunClosingBoxes(const std::string& program, const std::vector<std::string>& tail,
                            const RunSettings& settings) {
  std::vector<std::string> arguments = {WinePath(program)};
  arguments.insert(arguments.end(), tail.begin(), tail.end());
  const RunResult run = RunUnderWine(WindowsBinFolder() + "/run_closing_boxes.exe", arguments, settings);
  std::string out;
  for (char c : run.out) {
    if (c != '\r') out += c;
  }
  return out;
}

std::vector<std::string> PendingDeletions() {
  const RunResult run = RunUnderWine(WindowsBinFolder() + "/pending_deletes.exe", {});
  std::vector<std::string> paths;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    paths.push_back(line);
  }
  return paths;
}

void ClearPendingDeletions() { RunUnderWine(WindowsBinFolder() + "/pending_deletes.exe", {"clear"}); }
