// The Pack command on real files: checks, texts, package path, bytes written, files left.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/pack_list_rules.h"
#include "core/package_format.h"
#include "core/package_naming.h"
#include "core/package_reader.h"
#include "support/recorded_report.h"
#include "support/test_pack_list.h"
#include "ui/pack_command.h"
#include "support/byte_poke.h"
#include "support/test_files.h"

namespace {


// Everything shown, in order: "status:TEXT" and "box:CAPTION:TEXT".
std::vector<std::string> Shown(const std::string& status, const std::string& caption,
                               const std::string& box) {
  return {"status:" + status, "box:" + caption + ":" + box};
}

class PackCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = PseudoRandomBytes(7000, 3);
    modulePath_ = tools_.Join("Lodkin.exe");
    WriteFileBytes(modulePath_, module_);
    app_ = root_.Join("app");
    data_ = root_.Join("data");
    CreateDirectoryA(app_.c_str(), nullptr);
    CreateDirectoryA(data_.c_str(), nullptr);
    setup_ = PseudoRandomBytes(10000, 4);
    dll_ = PseudoRandomBytes(5000, 5);
    WriteFileBytes(app_ + "\\setup.exe", setup_);
    WriteFileBytes(data_ + "\\x.dll", dll_);
    package_ = app_ + "\\KVPACK_app.exe";
  }

  std::vector<std::string> Pack(const std::vector<std::string>& rows) {
    TestList list(rows);
    RecordedReport report;
    RunPackCommand(list, report, modulePath_.c_str());
    return report.events;
  }
  std::vector<std::string> PackWith(const std::vector<std::string>& rows, uint64_t maxLength) {
    TestList list(rows);
    RecordedReport report;
    PackOptions options = DefaultPackOptions();
    options.maxPackageLength = maxLength;
    RunPackCommandWith(list, report, modulePath_.c_str(), options);
    return report.events;
  }

  TempFolder tools_;
  TempFolder root_;
  std::vector<char> module_, setup_, dll_;
  std::string modulePath_, app_, data_, package_;
};

const std::vector<std::string> kCompleted =
    Shown("Packaging is completed", "success", "packaging is completed ");

TEST_F(PackCommand, WritesModuleMembersDirectoryAndTrailerByteForByte) {
  ASSERT_EQ(kCompleted, Pack({app_ + "\\setup.exe", data_ + "\\x.dll"}));
  EXPECT_EQ((std::vector<std::string>{"KVPACK_app.exe", "setup.exe"}), ListFolder(app_));

  std::vector<char> bytes = ReadFileBytes(package_);
  const size_t m = module_.size();
  ASSERT_EQ(m + setup_.size() + dll_.size() + 2 * 268 + 20, bytes.size());
  EXPECT_EQ(0, memcmp(bytes.data(), module_.data(), m));
  EXPECT_EQ(0, memcmp(bytes.data() + m, setup_.data(), setup_.size()));
  EXPECT_EQ(0, memcmp(bytes.data() + m + setup_.size(), dll_.data(), dll_.size()));
  const size_t dir = m + setup_.size() + dll_.size();
  EXPECT_STREQ("setup.exe", bytes.data() + dir);
  EXPECT_EQ(m, GetU32(bytes, dir + 260));
  EXPECT_EQ(setup_.size(), GetU32(bytes, dir + 264));
  EXPECT_STREQ("x.dll", bytes.data() + dir + 268);
  EXPECT_EQ(m + setup_.size(), GetU32(bytes, dir + 268 + 260));
  EXPECT_EQ(dll_.size(), GetU32(bytes, dir + 268 + 264));
  EXPECT_EQ(0, memcmp(bytes.data() + dir + 536, "BRAMTOLEPACKFILE", 16));
  EXPECT_EQ(2u, GetU32(bytes, dir + 552));

  PackageReader reader;
  ASSERT_EQ(1, reader.Open(package_.c_str()));
  EXPECT_EQ(2, reader.count());
  EXPECT_EQ(m, reader.moduleImageLength());
}

TEST_F(PackCommand, TopEntryDecidesTheFolderAndSameNamesAreRefusedAndEmptyMembersAreKept) {
  std::string lib = root_.Join("lib");
  CreateDirectoryA(lib.c_str(), nullptr);
  WriteFileBytes(lib + "\\a.dll", {});
  WriteFileBytes(app_ + "\\x.dll", PseudoRandomBytes(300, 9));
  // Two files of one name from two folders would be one file where the package runs.
  const std::vector<std::string> twice = {"status:Error: can not pack files",
                                          "box:error:\"X.DLL\" is packed twice: Windows takes names equal but "
                                          "for letter case as one "};
  WriteFileBytes(app_ + "\\X.DLL", PseudoRandomBytes(30, 9));
  EXPECT_EQ(twice, Pack({lib + "\\a.dll", data_ + "\\x.dll", app_ + "\\X.DLL", app_ + "\\setup.exe"}));
  EXPECT_FALSE(FileExists(lib + "\\KVPACK_lib.exe"));
  ASSERT_EQ(kCompleted, Pack({lib + "\\a.dll", data_ + "\\x.dll", app_ + "\\setup.exe"}));
  EXPECT_FALSE(FileExists(package_));
  PackageReader reader;
  ASSERT_EQ(1, reader.Open((lib + "\\KVPACK_lib.exe").c_str()));
  ASSERT_EQ(3, reader.count());
  EXPECT_STREQ("a.dll", reader.entry(0).name);
  EXPECT_EQ(0u, reader.entry(0).size);
  EXPECT_EQ(reader.entry(1).offset, reader.entry(0).offset);
  EXPECT_STREQ("x.dll", reader.entry(1).name);
  EXPECT_STREQ("setup.exe", reader.entry(2).name);
}

TEST_F(PackCommand, SetupProgramCountIgnoresCaseAndRefusesNoneOrTwo) {
  const auto none = Shown("Error: add \"setup.exe\"", "error",
                          "add \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\" ");
  const auto many = Shown("Error: too many \"setup.exe\"", "error",
                          "too many \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\" ");
  EXPECT_EQ(none, Pack({}));
  EXPECT_EQ(none, Pack({app_ + "\\mysetup.exe", app_ + "\\setup.exe.bak"}));
  EXPECT_EQ(many, Pack({app_ + "\\setup.exe", data_ + "\\kvset.exe"}));
  EXPECT_TRUE(ListFolder(app_) == std::vector<std::string>{"setup.exe"});

  EXPECT_EQ(1u, CountSetupPrograms(TestList({"C:\\a\\Setup.EXE"})));
  EXPECT_EQ(4u, CountSetupPrograms(TestList({"C:\\a\\Setup.EXE", "C:\\a\\SETUP.exe",
                                             "C:\\b\\KVSet.exe", "C:\\b\\kvsetup.EXE"})));
  EXPECT_EQ(0u, CountSetupPrograms(TestList({"C:\\a\\mysetup.exe", "C:\\setup.exe.bak"})));
  EXPECT_EQ(3, GetFileNameOffset("C:\\x.dll"));
  EXPECT_EQ(0, GetFileNameOffset("x.dll"));
  EXPECT_EQ(0, GetFileNameOffset("\\x.dll"));
}

TEST_F(PackCommand, AlreadyPackedFileIsRefusedWithItsLowerCasedName) {
  WriteFileBytes(data_ + "\\MyKvPackTool.dll", dll_);
  EXPECT_EQ(std::vector<std::string>{"box:error:Error: \"mykvpacktool.dll\" is already packed."},
            Pack({data_ + "\\MyKvPackTool.dll", app_ + "\\setup.exe"}));
  EXPECT_TRUE(ListFolder(app_) == std::vector<std::string>{"setup.exe"});
}

TEST_F(PackCommand, PackingTwiceReplacesThePackageWithTheSameBytes) {
  ASSERT_EQ(kCompleted, Pack({app_ + "\\setup.exe", data_ + "\\x.dll"}));
  std::vector<char> first = ReadFileBytes(package_);
  ASSERT_EQ(kCompleted, Pack({app_ + "\\setup.exe", data_ + "\\x.dll"}));
  EXPECT_EQ(first, ReadFileBytes(package_));
  EXPECT_EQ((std::vector<std::string>{"KVPACK_app.exe", "setup.exe"}), ListFolder(app_));
}

// Every failure after the checks leaves the earlier package as it was and no temporary file.
TEST_F(PackCommand, FailuresKeepTheEarlierPackageAndLeaveNothingBehind) {
  ASSERT_EQ(kCompleted, Pack({app_ + "\\setup.exe", data_ + "\\x.dll"}));
  const std::vector<char> earlier = ReadFileBytes(package_);
  const std::vector<std::string> folder = ListFolder(app_);

  EXPECT_EQ(Shown("Error: can not open files", "error", "can not open \"gone.dll\" "),
            Pack({app_ + "\\setup.exe", data_ + "\\x.dll", data_ + "\\gone.dll"}));
  EXPECT_EQ(earlier, ReadFileBytes(package_));
  EXPECT_EQ(folder, ListFolder(app_));

  modulePath_ = tools_.Join("missing.exe");
  EXPECT_EQ(Shown("Error: can not open module file", "error", "can not open module file "),
            Pack({app_ + "\\setup.exe"}));
  EXPECT_EQ(earlier, ReadFileBytes(package_));
  EXPECT_EQ(folder, ListFolder(app_));
  modulePath_ = tools_.Join("Lodkin.exe");

  // A write that fails as on a full disk: tests/host/window_write_failure_test.cpp, which
  // runs this command with a real file-size limit.

  // The limit checked is the writer's real one, lowered so that it is reached quickly:
  // one byte short of the whole package is refused, the exact length passes.
  const uint64_t whole = earlier.size();
  const auto tooLarge = Shown("Error: package exceeds 4 GB", "error", "package exceeds 4 GB ");
  EXPECT_EQ(tooLarge, PackWith({app_ + "\\setup.exe", data_ + "\\x.dll"}, whole - 1));
  EXPECT_EQ(tooLarge, PackWith({app_ + "\\setup.exe", data_ + "\\x.dll"}, module_.size() + 10));
  EXPECT_EQ(tooLarge, PackWith({app_ + "\\setup.exe", data_ + "\\x.dll"}, 100));
  EXPECT_EQ(earlier, ReadFileBytes(package_));
  EXPECT_EQ(folder, ListFolder(app_));
  EXPECT_EQ(kCompleted, PackWith({app_ + "\\setup.exe", data_ + "\\x.dll"}, whole));
  EXPECT_EQ(earlier, ReadFileBytes(package_));
}

TEST_F(PackCommand, MissingFolderOrUnusableTopEntryIsACreateFailure) {
  const auto cannotCreate = Shown("Error: can not create packaging file", "error",
                                  "can not create packaging file ");
  EXPECT_EQ(cannotCreate, Pack({root_.Join("nowhere\\setup.exe")}));
  EXPECT_EQ(cannotCreate, Pack({"abcdef\\setup.exe", app_ + "\\setup.exe.bak"}));
  EXPECT_EQ(ListFolder(root_.path()), (std::vector<std::string>{"app", "data"}));

  // The package is written whole, but the final move onto a folder of that name fails.
  ASSERT_NE(0, CreateDirectoryA(package_.c_str(), nullptr));
  EXPECT_EQ(cannotCreate, Pack({app_ + "\\setup.exe", data_ + "\\x.dll"}));
  EXPECT_EQ((std::vector<std::string>{"KVPACK_app.exe", "setup.exe"}), ListFolder(app_));
  EXPECT_TRUE(DirectoryExists(package_));
}

TEST(PackagePath, FolderNameDriveRootShareAndRefusals) {
  char path[260];
  ASSERT_EQ(1, BuildPackagePath("D:\\work\\app\\setup.exe", path));
  EXPECT_STREQ("D:\\work\\app\\KVPACK_app.exe", path);
  ASSERT_EQ(1, BuildPackagePath("\\\\srv\\share\\setup.exe", path));
  EXPECT_STREQ("\\\\srv\\share\\KVPACK_share.exe", path);
  ASSERT_EQ(1, BuildPackagePath("X:\\setup.exe", path));
  EXPECT_STREQ("X:\\KVPACK_X.exe", path);
  EXPECT_EQ(0, BuildPackagePath("abcdef\\setup.exe", path));
  EXPECT_EQ(0, BuildPackagePath("\\x\\setup.exe", path));
  EXPECT_EQ(0, BuildPackagePath("setup.exe", path));

  // Folder path + "KVPACK_" + folder name + ".exe" must fit in 259 characters.
  std::string name(100, 'f');
  std::string top = "C:\\" + std::string(140, 'p') + "\\" + name + "\\setup.exe";
  EXPECT_EQ(0, BuildPackagePath(top.c_str(), path));
  std::string fits = "C:\\" + std::string(259 - 3 - 1 - 11 - 2 * 30 - 1, 'p') + "\\" +
                     std::string(30, 'f') + "\\setup.exe";
  ASSERT_EQ(1, BuildPackagePath(fits.c_str(), path));
  EXPECT_EQ(259u, strlen(path));
}

}  // namespace
