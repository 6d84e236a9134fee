// lodkin-cli pack -C DIR: a folder's contents packed in one command, the package beside
// the folder, and the hint when a setup program sits inside a folder given as FILE. Each
// case runs through the native tool and, where the cross build is there, through
// lodkin-cli.exe under Wine: both must write the same bytes and say the same words.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/support/hand_package.h"
#include "host/support/tool_process.h"
#include "support/test_files.h"

namespace {

struct FolderCase {
  const char* label;
  std::string cwd;                      // relative to the root
  std::vector<std::string> arguments;   // after "pack --stub <stub>"
  int exitStatus;
  std::string package;                  // relative to the root; empty: none written
  std::vector<std::string> members;     // member names, in package order
  std::string err;
};

class CliPackFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    stub_ = PseudoRandomBytes(9000, 11);
    for (const char* folder : {"tools", "dist", "dist/app", "dist/app/lang", "dist/app/lang/ko", "dist/my app"}) {
      MakeFolder(root_.Join(folder));
    }
    WriteFileBytes(root_.Join("tools/Lodkin.exe"), stub_);
    for (const char* folder : {"dist/app/", "dist/my app/"}) {
      WriteFileBytes(root_.Join(std::string(folder) + "setup.exe"), PseudoRandomBytes(3000, 12));
      WriteFileBytes(root_.Join(std::string(folder) + "readme.txt"), PseudoRandomBytes(500, 13));
    }
    WriteFileBytes(root_.Join("dist/app/lang/ko/s.txt"), PseudoRandomBytes(200, 14));
  }

  std::vector<char> Contents(const std::string& member, const std::string& folder) const {
    std::string relative = member;
    for (char& c : relative) c = c == '\\' ? '/' : c;
    return ReadFileBytes(root_.Join(folder + "/" + relative));
  }

  // Runs every case through one tool; `windows` selects lodkin-cli.exe under Wine.
  void RunCases(const std::vector<FolderCase>& cases, bool windows) {
    const std::string stub = windows ? WinePath(root_.Join("tools/Lodkin.exe")) : root_.Join("tools/Lodkin.exe");
    for (const FolderCase& c : cases) {
      std::vector<std::string> arguments = {"pack", "--stub", stub};
      arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
      RunSettings settings;
      settings.directory = root_.Join(c.cwd);
      const RunResult run = windows ? RunUnderWine(WindowsBinFolder() + "/lodkin-cli.exe", arguments, settings)
                                    : RunCli(arguments, settings);
      const std::string label = std::string(c.label) + (windows ? " (lodkin-cli.exe)" : " (native)");
      EXPECT_EQ(run.exitStatus, c.exitStatus) << label << ": " << run.err;
      std::string err = c.err;
      // The Windows console program writes its lines in text mode.
      for (size_t at = 0; windows && (at = err.find('\n', at)) != std::string::npos; at += 2) err.insert(at, "\r");
      EXPECT_EQ(run.err, err) << label;
      if (c.package.empty()) {
        EXPECT_EQ(run.out, "") << label;
        continue;
      }
      const std::string packagePath = root_.Join(c.package);
      EXPECT_EQ(run.out, (windows ? WinePath(packagePath) : packagePath) + (windows ? "\r\n" : "\n")) << label;
      // dist/KVPACK_app.exe packs dist/app.
      const size_t name = c.package.find("KVPACK_");
      const std::string folder = c.package.substr(0, name) + c.package.substr(name + 7, c.package.size() - name - 11);
      std::vector<HandMember> members;
      for (const std::string& name : c.members) members.push_back({name, Contents(name, folder)});
      EXPECT_EQ(ReadFileBytes(packagePath), LayOutPackage(stub_, members, true)) << label;
      // The package never lands inside the folder it packs, so the next pack still works.
      EXPECT_FALSE(PathExists(root_.Join(folder + "/" + c.package.substr(c.package.rfind('/') + 1)))) << label;
    }
  }

  static std::vector<FolderCase> Cases() {
    const std::vector<std::string> all = {"lang\\ko\\s.txt", "readme.txt", "setup.exe"};
    const std::string hint = "lodkin-cli: error: add \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\"\n";
    return {
        {"every entry at the top, in byte order", "", {"-C", "dist/app"}, 0, "dist/KVPACK_app.exe", all, ""},
        {"the same again replaces the package", "", {"-C", "dist/app"}, 0, "dist/KVPACK_app.exe", all, ""},
        {"FILEs named relative to DIR, in their order", "", {"-C", "dist/app", "setup.exe", "lang"}, 0,
         "dist/KVPACK_app.exe", {"setup.exe", "lang\\ko\\s.txt"}, ""},
        {"a trailing slash", "", {"-C", "dist/app/"}, 0, "dist/KVPACK_app.exe", all, ""},
        {"DIR given as .", "dist/app", {"-C", "."}, 0, "dist/KVPACK_app.exe", all, ""},
        {"a folder whose name has a blank", "", {"-C", "dist/my app"}, 0, "dist/KVPACK_my app.exe",
         {"readme.txt", "setup.exe"}, ""},
        {"-o inside DIR is refused", "", {"-C", "dist/app", "-o", "dist/app/x.exe"}, 1, "", {},
         "lodkin-cli: error: the output \"dist/app/x.exe\" lies in the folder \"dist/app\" that is packed\n"},
        {"the hint names the folder", "", {"dist/app"}, 1, "", {},
         hint + "setup.exe is inside the folder \"dist/app\": to pack the folder's contents, use -C dist/app\n"},
        {"the hint quotes a name with a blank", "", {"dist/my app/", "dist/app/lang"}, 1, "", {},
         hint + "setup.exe is inside the folder \"dist/my app\": to pack the folder's contents, use -C \"dist/my app\"\n"},
        {"no hint when two folders hold one each", "", {"dist/app", "dist/my app"}, 1, "", {}, hint},
    };
  }

  TempFolder root_;
  std::vector<char> stub_;
};

TEST_F(CliPackFolder, NativeToolPacksAFoldersContentsBesideIt) { RunCases(Cases(), false); }

TEST_F(CliPackFolder, WindowsToolPacksAFoldersContentsBesideIt) {
  const std::string bin = WindowsBinFolder();
  if (bin.empty() || !PathExists(bin + "/lodkin-cli.exe")) {
    GTEST_SKIP() << "no lodkin-cli.exe from the cross build in " << bin;
  }
  RunCases(Cases(), true);
}

}  // namespace
