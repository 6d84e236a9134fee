// What a run gives back: the setup program's process and the caller-path block are
// released by the run itself, not left to the end of the process.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "package/run_command.h"
#include "support/run_support.h"
#include "support/test_files.h"

namespace {

const char kCallerBlockName[] = "_SHM_VQINST_CALLER";

// True while some process still holds a handle to the process of that id: the system
// keeps an ended process while it is referenced, and forgets its id once it is not
// (Wine a few hundred milliseconds later, so the answer waits for up to three seconds).
bool ProcessObjectStays(DWORD pid) {
  for (int i = 0; i < 60; ++i) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return false;
    CloseHandle(process);
    Sleep(50);
  }
  return true;
}

DWORD RecordedPid(const RunScene& scene) {
  const std::vector<StandInRecord> records = scene.Records();
  if (records.size() != 1) return 0;
  const auto pid = records[0].find("pid");
  return pid == records[0].end() ? 0 : static_cast<DWORD>(strtoul(pid->second.c_str(), nullptr, 10));
}

TEST(RunHandles, TheSetupProgramsProcessIsReleasedOnceItHasEnded) {
  const std::string standIn = BuildBinFolder() + "\\stand_in_setup.exe";
  {
    // The check itself: an ended process that a handle still holds stays visible.
    RunScene scene;
    STARTUPINFOA startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + standIn + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    const DWORD pid = RecordedPid(scene);
    ASSERT_EQ(pid, process.dwProcessId);
    EXPECT_TRUE(ProcessObjectStays(pid));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_FALSE(ProcessObjectStays(pid));
  }
  {
    // Through the shell, as the setup program is started.
    RunScene scene;
    SetEnvironmentVariableA("LODKIN_STAND_IN_EXIT_CODE", "3010");
    DWORD code = 0;
    EXPECT_EQ(ShellStartAndWait(("\"" + standIn + "\"").c_str(), "-s /quiet", 1, &code), 1);
    EXPECT_EQ(code, 3010u);
    SetEnvironmentVariableA("LODKIN_STAND_IN_EXIT_CODE", nullptr);
    const DWORD pid = RecordedPid(scene);
    ASSERT_NE(pid, 0u);
    EXPECT_FALSE(ProcessObjectStays(pid)) << "the run still holds the setup program's process";
  }
  {
    // Directly, as "-run" members and KVSetup.exe are started.
    RunScene scene;
    std::string command = "\"" + standIn + "\"";
    DWORD exitCode = 1;
    ASSERT_EQ(StartAndWait(&command[0], &exitCode), 1);
    EXPECT_EQ(exitCode, 0u);
    const DWORD pid = RecordedPid(scene);
    ASSERT_NE(pid, 0u);
    EXPECT_FALSE(ProcessObjectStays(pid));
  }
}

bool CallerBlockExists() {
  HANDLE block = OpenFileMappingA(FILE_MAP_READ, FALSE, kCallerBlockName);
  if (block == nullptr) return false;
  CloseHandle(block);
  return true;
}

// Waits up to `ms` for a top-level window of that class and caption.
HWND WaitForWindow(const char* className, const char* caption, DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += 50) {
    if (HWND window = FindWindowA(className, caption)) return window;
    Sleep(50);
  }
  return nullptr;
}

// A run that finds no setup program shows its box with the block published, and gives
// the block back before the packaging window opens: the window may stay open for hours.
TEST(RunHandles, ARunThatStartsNothingGivesTheCallerBlockBack) {
  RunScene scene;
  const std::string package = scene.Package("pack.exe", {{"readme.txt", {'x'}}});
  ASSERT_FALSE(CallerBlockExists()) << "another process holds the block";
  STARTUPINFOA startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  std::string command = "\"" + package + "\"";
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process));
  HWND box = WaitForWindow("#32770", "error", 20000);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(CallerBlockExists()) << "published before the setup program is looked for";
  SendMessageA(box, WM_COMMAND, IDOK, 0);
  HWND window = WaitForWindow(nullptr, "Lodkin", 20000);
  EXPECT_NE(window, nullptr);
  EXPECT_FALSE(CallerBlockExists()) << "the run kept the block while the window is open";
  if (window != nullptr) PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace
