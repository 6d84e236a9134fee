// The Linux machine under the Wine prefix, reached from a test: real symbolic links
// made with ln -s, and a small real disk (a tmpfs) mapped as a drive letter. Wine starts
// a Linux program named by its Z: path like any other program.
#pragma once
#include <functional>
#include <string>

// The Linux path of a Windows path of the prefix (empty when Wine does not know it).
std::string UnixPathOf(const std::string& windowsPath);

// Starts a Linux program (given by its Linux path, such as "/bin/ln") with the
// arguments as one command line; true when it started. Wine gives back no handle that
// can be waited on and no exit code, so callers wait for its effect (WaitUntil).
bool RunHostProgram(const std::string& program, const std::string& arguments);

// Polls the condition every 20 ms for up to `milliseconds`; returns its last value.
bool WaitUntil(const std::function<bool()>& condition, unsigned milliseconds = 10000);

// A symbolic link made with ln -s: `link` (a Windows path) pointing at `target`.
// Returns true when the link exists afterwards.
bool MakeHostSymlink(const std::string& target, const std::string& link);

// Removes a file, a link or a whole tree with rm, which never follows a link (RemoveTree
// would: Wine shows a link as what it leads to). True once nothing is left at `path`.
bool RemoveWithoutFollowing(const std::string& path);

// A fresh tmpfs of `kilobytes` mounted under the build folder and mapped as drive
// `letter`; unmapped and unmounted when the object goes. mounted() is false where the
// machine refuses the mount (not root, or a container without the right).
class SmallDisk {
 public:
  SmallDisk(char letter, unsigned kilobytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }
  std::string root() const { return std::string(1, letter_) + ":\\"; }
  const std::string& failure() const { return failure_; }

 private:
  char letter_;
  bool mounted_ = false;
  std::string mountPoint_;
  std::string driveLink_;
  std::string failure_;
};

// Sets an environment variable of this process (and so of the programs it starts)
// for the object's life.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const std::string& name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};
