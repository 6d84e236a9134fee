// What a run of the real program leaves behind, for the process tests: the stand-in
// setup program's records, work directories, delete-at-restart entries.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/test_package.h"

using StandInRecord = std::map<std::string, std::string>;

std::string Lower(std::string text);
std::string ParentOf(const std::string& path);
std::string NameOf(const std::string& path);

// The prefix's temporary folder as GetTempPathA gives it, without the last backslash.
std::string WineTempFolder();
// Folders named KVLodkin* directly inside `folder`.
std::set<std::string> WorkDirectoriesIn(const std::string& folder);
// Every path recorded for deletion at restart, in order, lower-cased, "\??\" cut off;
// the value keeps growing (no restart happens), so tests count their own entries.
std::vector<std::string> PendingDeleteList();
// The records the stand-in appended to `path`, one map per start.
std::vector<StandInRecord> ReadStandInRecords(const std::string& path);
std::vector<char> StandInBytes();

// A folder of packages, the stand-in's record file in it, and the work directories that
// runs add to the temporary folder removed afterwards.
class RunScene {
 public:
  RunScene();
  ~RunScene();
  RunScene(const RunScene&) = delete;
  RunScene& operator=(const RunScene&) = delete;

  const TempFolder& folder() const { return folder_; }
  std::string Package(const std::string& name, const std::vector<TestMember>& members);
  std::vector<StandInRecord> Records() const { return ReadStandInRecords(recordPath_); }
  std::set<std::string> NewTempWorkDirectories() const;

 private:
  TempFolder folder_;
  std::string recordPath_;
  std::set<std::string> tempBefore_;
};
