// Folder trees for the native tests that run packages under Wine: trees written and read
// back on the host, and what a run of the real program left in the prefix.
#pragma once
#include <string>
#include <vector>

#include "host/support/hand_package.h"
#include "host/support/tool_process.h"
#include "support/test_files.h"

// Writes the entries below `root`: a name ending with '/' is an (empty) folder; the
// folders on every path are made as needed.
void WriteTree(const std::string& root, const std::vector<HandMember>& entries);
// Every path below `root`, '/'-separated and sorted: folders end with '/', symbolic links
// with '@' and are not entered.
std::vector<std::string> TreeEntries(const std::string& root);
// What differs between the tree below `root` and the entries (names, kinds, bytes), one
// line per difference; empty when they are the same.
std::string TreeDifferences(const std::string& root, const std::vector<HandMember>& entries);

// The prefix's temporary folder as a host path (empty when it cannot be found), and the
// work directories in it.
std::string PrefixTempFolder();
std::vector<std::string> WorkDirectoriesIn(const std::string& folder);
// A host path for a Windows path under the prefix's drive C:.
std::string HostPathOfPrefixPath(const std::string& windowsPath);
// The value of `key` in the stand-in setup program's record ("key=value" lines).
std::string RecordValue(const std::string& record, const std::string& key);

// Starts a program under Wine through run_closing_boxes (every box closed) and returns
// its "exit=" and "box=" lines, carriage returns removed.
std::string RunClosingBoxes(const std::string& program, const std::vector<std::string>& tail,
                            const RunSettings& settings);
// The deletion records of the prefix's registry, as stored ("\??\C:\..."), in order.
std::vector<std::string> PendingDeletions();
// Deletes them all (the prefix never restarts, so they only pile up).
void ClearPendingDeletions();
