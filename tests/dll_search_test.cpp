// A DLL planted beside the program under the name of a system DLL that is not one of
// the system's known DLLs: Wine, told to prefer a DLL in the program's folder (as
// Windows does for such DLLs), loads it into a program that looks it up by bare name.
// The program, started on its own, opens its window and loads the real one. CTest
// starts this test with WINEDLLOVERRIDES=comctl32=n,b; Wine takes the setting from the
// environment it was started with, not from one changed later.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/host_system.h"
#include "support/test_files.h"
#include "support/test_process.h"
#include "support/window_closer.h"

namespace {

TEST(DllSearch, APlantedComctl32BesideTheProgramIsNeverLoaded) {
  struct Case {
    const char* what;
    std::string program;    // copied beside the planted DLL
    std::string arguments;
    bool planted;           // the planted DLL is expected to run
  };
  const Case cases[] = {
      // The control: a bare-name load takes the planted DLL, so the set-up can see a load.
      {"a program that loads comctl32.dll by name", BuildBinFolder() + "\\load_by_name.exe", "comctl32.dll", true},
      {"Lodkin.exe opening its window", LodkinExePath(), "", false},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string marker = folder.Join("planted-dll-ran.txt");
    ScopedEnvironment markerVariable("LODKIN_PLANTED_DLL_MARKER", marker);
    ASSERT_TRUE(CopyFileA((BuildBinFolder() + "\\..\\planted\\comctl32.dll").c_str(),
                          folder.Join("comctl32.dll").c_str(), FALSE))
        << c.what;
    const std::string program = folder.Join("program.exe");
    ASSERT_TRUE(CopyFileA(c.program.c_str(), program.c_str(), FALSE)) << c.what;
    const ProcessResult result = RunClosingWindows(program, c.arguments, 30000, BuildBinFolder());
    ASSERT_TRUE(result.finished) << c.what;
    EXPECT_EQ(FileExists(marker), c.planted) << c.what;
  }
}

}  // namespace
