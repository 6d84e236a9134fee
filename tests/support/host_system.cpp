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

int RunHostProgram(const std::string& program, const std::string& arguments) {
  ProcessResult result = RunProgram(WindowsPathOfUnix(program), arguments, 30000);
  if (!result.started || !result.finished) return -1;
  return static_cast<int>(result.exitCode);
}

bool MakeHostSymlink(const std::string& target, const std::string& link) {
  const std::string unixTarget = UnixPathOf(target);
  const std::string unixLink = UnixPathOf(link);
  if (unixTarget.empty() || unixLink.empty()) return false;
  if (RunHostProgram("/bin/ln", "-sfn " + Quote(unixTarget) + " " + Quote(unixLink)) != 0) return false;
  return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

SmallDisk::SmallDisk(char letter, unsigned kilobytes) : letter_(letter) {
  char prefix[MAX_PATH] = {};
  if (GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix)) == 0) {
    failure_ = "WINEPREFIX is not set";
    return;
  }
  mountPoint_ = std::string(prefix) + "/small-disk-" + std::to_string(GetCurrentProcessId());
  driveLink_ = std::string(prefix) + "/dosdevices/" + std::string(1, static_cast<char>(tolower(letter))) + ":";
  if (RunHostProgram("/bin/mkdir", "-p " + Quote(mountPoint_)) != 0) {
    failure_ = "cannot make " + mountPoint_;
    return;
  }
  if (RunHostProgram("/bin/mount", "-t tmpfs -o size=" + std::to_string(kilobytes) + "k tmpfs " +
                                       Quote(mountPoint_)) != 0) {
    failure_ = "mount -t tmpfs refused on this machine";
    RunHostProgram("/bin/rmdir", Quote(mountPoint_));
    return;
  }
  mounted_ = RunHostProgram("/bin/ln", "-sfn " + Quote(mountPoint_) + " " + Quote(driveLink_)) == 0 &&
             DirectoryExists(root());
  if (!mounted_) failure_ = "cannot map the disk as drive " + root();
}

SmallDisk::~SmallDisk() {
  if (mountPoint_.empty()) return;
  RunHostProgram("/bin/rm", "-f " + Quote(driveLink_));
  // Lazily: the wineserver may still hold a handle on the disk for a moment.
  RunHostProgram("/bin/umount", "-l " + Quote(mountPoint_));
  RunHostProgram("/bin/rmdir", Quote(mountPoint_));
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
