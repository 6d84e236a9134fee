#include "support/host_system.h"

#include <windows.h>

#include <vector>

#include "support/test_files.h"
#include "support/test_process.h"

namespace {

std::string WindowsPathOfUnix(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::string UnixPathOf(const std::string& windowsPath) {
  // Wine's own export; the string it returns comes from the process heap.
  typedef char*(CDECL * UnixName)(const wchar_t*);
  UnixName toUnix = reinterpret_cast<UnixName>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
  if (toUnix == nullptr) return std::string();
  std::vector<wchar_t> wide(windowsPath.size() + 1);
  MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  char* unixName = toUnix(wide.data());
  if (unixName == nullptr) return std::string();
  std::string result = unixName;
  HeapFree(GetProcessHeap(), 0, unixName);
  return result;
}

bool RunHostProgram(const std::string& program, const std::string& arguments) {
  ProcessResult result = RunProgram(WindowsPathOfUnix(program), arguments, 30000);
  // The process handle Wine gives back for a Linux program cannot be waited on.
  return result.started;
}

bool WaitUntil(const std::function<bool()>& condition, unsigned milliseconds) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > milliseconds) return false;
    Sleep(20);
  }
  return true;
}

bool MakeHostSymlink(const std::string& target, const std::string& link) {
  const std::string unixTarget = UnixPathOf(target);
  const std::string unixLink = UnixPathOf(link);
  if (unixTarget.empty() || unixLink.empty()) return false;
  if (!RunHostProgram("/bin/ln", "-sfn " + Quote(unixTarget) + " " + Quote(unixLink))) return false;
  return WaitUntil([&] { return PathExists(link); });
}

bool RemoveWithoutFollowing(const std::string& path) {
  RunHostProgram("/bin/rm", "-rf " + Quote(UnixPathOf(path)));
  return WaitUntil([&] { return !PathExists(path); });
}

SmallDisk::SmallDisk(char letter, unsigned kilobytes) : letter_(letter) {
  char prefix[MAX_PATH] = {};
  if (GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix)) == 0) {
    failure_ = "WINEPREFIX is not set";
    return;
  }
  mountPoint_ = std::string(prefix) + "/small-disk-" + std::to_string(GetCurrentProcessId());
  driveLink_ = std::string(prefix) + "/dosdevices/" + std::string(1, static_cast<char>(tolower(letter))) + ":";
  const std::string mountPointSeen = WindowsPathOfUnix(mountPoint_);
  RunHostProgram("/bin/mkdir", "-p " + Quote(mountPoint_));
  if (!WaitUntil([&] { return DirectoryExists(mountPointSeen); })) {
    failure_ = "cannot make " + mountPoint_;
    return;
  }
  // The folder shows the size of the disk behind it: a refused mount leaves it on the
  // machine's own, far larger disk.
  auto diskSize = [](const std::string& path) {
    ULARGE_INTEGER available, total, free;
    return GetDiskFreeSpaceExA(path.c_str(), &available, &total, &free) ? total.QuadPart : 0ull;
  };
  const unsigned long long limit = 2ull * kilobytes * 1024;
  RunHostProgram("/bin/mount", "-t tmpfs -o size=" + std::to_string(kilobytes) + "k tmpfs " + Quote(mountPoint_));
  if (!WaitUntil([&] { const unsigned long long size = diskSize(mountPointSeen + "\\"); return size > 0 && size <= limit; }, 5000)) {
    failure_ = "mount -t tmpfs was refused on this machine";
    return;
  }
  RunHostProgram("/bin/ln", "-sfn " + Quote(mountPoint_) + " " + Quote(driveLink_));
  mounted_ = WaitUntil([&] { const unsigned long long size = diskSize(root()); return size > 0 && size <= limit; });
  if (!mounted_) failure_ = "cannot map " + mountPoint_ + " as drive " + root();
}

SmallDisk::~SmallDisk() {
  if (mountPoint_.empty()) return;
  // One shell, so that the steps run in order; lazily, as the wineserver may still hold
  // a handle on the disk for a moment.
  const std::string mountPointSeen = WindowsPathOfUnix(mountPoint_);
  RunHostProgram("/bin/sh", "-c \"rm -f '" + driveLink_ + "'; umount -l '" + mountPoint_ + "'; rmdir '" +
                                mountPoint_ + "'\"");
  WaitUntil([&] { return !DirectoryExists(mountPointSeen); });
}

ScopedEnvironment::ScopedEnvironment(const std::string& name, const std::string& value) : name_(name) {
  char old[32768];
  const DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof(old));
  had_ = length > 0 && length < sizeof(old);
  if (had_) old_ = old;
  SetEnvironmentVariableA(name.c_str(), value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr);
}
