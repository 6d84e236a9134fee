// The package run, end to end: the real Lodkin.exe started on packages made by the
// product's writer, with the stand-in setup program recording what it was handed.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/package_reader.h"
#include "package/run_command.h"
#include "support/byte_poke.h"
#include "support/run_support.h"
#include "support/test_files.h"
#include "support/test_package.h"
#include "support/test_process.h"
#include "support/window_closer.h"

namespace {

using Record = StandInRecord;

std::set<std::string> PendingDeletes() {
  const std::vector<std::string> list = PendingDeleteList();
  return std::set<std::string>(list.begin(), list.end());
}

class ScopedUninstallKey {
 public:
  explicit ScopedUninstallKey(const std::string& path) : path_(path) {
    HKEY key;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const char value[] = "C:\\somewhere\\uninstall.exe";
    RegSetValueExA(key, "UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   sizeof(value));
    RegCloseKey(key);
  }
  ~ScopedUninstallKey() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str()); }

 private:
  std::string path_;
};

const char kSecondProductKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{7D3A51C2-9E04-4B6F-8C21-5F0E93A7B468}";

// The run's scene (packages folder, stand-in records, work directories removed after)
// is the shared one; the names below keep the tests' own words for it.
class PackageRunTest : public ::testing::Test {
 protected:
  std::set<std::string> NewTempWorkDirectories() const { return scene_.NewTempWorkDirectories(); }
  std::string MakePackage(const std::string& path, const std::vector<TestMember>& members) {
    TempFolder scratch;
    WriteTestPackage(path, LodkinExePath(), members, scratch.path());
    return path;
  }
  std::vector<Record> Records() const { return scene_.Records(); }

  static void ExpectScheduledForDeletion(const std::string& workDirectory,
                                         const std::vector<std::string>& names) {
    const std::set<std::string> pending = PendingDeletes();
    for (const std::string& name : names) {
      EXPECT_TRUE(pending.count(Lower(workDirectory + "\\" + name))) << name;
    }
    EXPECT_TRUE(pending.count(Lower(workDirectory))) << workDirectory;
  }

  RunScene scene_;
  const TempFolder& folder_ = scene_.folder();
};

TEST_F(PackageRunTest, ExtractsIntoTempStartsSetupExeAndPublishesThePackagePath) {
  const std::vector<char> data = PseudoRandomBytes(10000, 7);
  const std::string package = MakePackage(
      folder_.Join("pack.exe"),
      {{"setup.exe", StandInBytes()}, {"KVSET.EXE", StandInBytes()}, {"data.bin", data},
       {"notes.txt", {'n', 'e', 'w'}}, {"empty.dat", {}}});
  // Not the test folder: Wine's desktop process, started by the first window-needing
  // process, keeps its current directory and would stop the folder's removal.
  const ProcessResult result = RunProgram(package, "", 30000, BuildBinFolder());
  ASSERT_TRUE(result.finished);

  const std::vector<Record> records = Records();
  ASSERT_EQ(records.size(), 1u);
  const Record& setup = records[0];
  EXPECT_EQ(Lower(NameOf(setup.at("self"))), "setup.exe");
  const std::string workDirectory = ParentOf(setup.at("self"));
  EXPECT_EQ(Lower(ParentOf(workDirectory)), Lower(WineTempFolder()));
  EXPECT_EQ(NameOf(workDirectory).compare(0, 8, "KVLodkin"), 0);
  EXPECT_EQ(setup.at("tail"), "") << "no -s: empty parameters";
  EXPECT_EQ(Lower(setup.at("cwd")), Lower(BuildBinFolder())) << "the package's own current directory";
  EXPECT_EQ(Lower(setup.at("caller")), Lower(package));
  EXPECT_EQ(setup.at("caller_rw"), "1") << "a second process opens the block read-write";
  EXPECT_EQ(Lower(setup.at("files")), "data.bin|empty.dat|kvset.exe|notes.txt|setup.exe");

  EXPECT_EQ(ReadFileBytes(workDirectory + "\\data.bin"), data);
  EXPECT_EQ(ReadFileBytes(workDirectory + "\\notes.txt"), (std::vector<char>{'n', 'e', 'w'}));
  EXPECT_TRUE(ReadFileBytes(workDirectory + "\\empty.dat").empty());
  ExpectScheduledForDeletion(workDirectory, ListFolder(workDirectory));
}

TEST_F(PackageRunTest, DashSHandsTheWholeLineToKvsetWhenThereIsNoSetupExe) {
  const std::string package =
      MakePackage(folder_.Join("pack.exe"), {{"kvset.exe", StandInBytes()}});
  ASSERT_TRUE(RunProgram(package, "-s /quiet  x").finished);
  const std::vector<Record> records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(Lower(NameOf(records[0].at("self"))), "kvset.exe");
  EXPECT_EQ(records[0].at("tail"), "-s /quiet  x");

  ASSERT_TRUE(RunProgram(package, "/quiet -s").finished);
  ASSERT_EQ(Records().size(), 2u);
  EXPECT_EQ(Records()[1].at("tail"), "") << "-s counts only at the start";
}

// A member name holding a blank: unquoted, the system would start "my.exe" from the
// same folder; quoted, only "my tool.exe" can start, and the rest stays its arguments.
TEST_F(PackageRunTest, RunStartsTheNamedMemberWithItsArgumentsBeforeSetup) {
  const std::string package = MakePackage(
      folder_.Join("pack.exe"),
      {{"SETUP.EXE", StandInBytes()}, {"my.exe", StandInBytes()}, {"my tool.exe", StandInBytes()}});
  ASSERT_TRUE(RunProgram(package, "-run My Tool.exe /a  \"b c\"").finished);
  const std::vector<Record> records = Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(Lower(NameOf(records[0].at("self"))), "my tool.exe");
  EXPECT_EQ(records[0].at("tail"), "/a  \"b c\"");
  EXPECT_EQ(Lower(NameOf(records[1].at("self"))), "setup.exe") << "setup starts after -run ended";
  EXPECT_EQ(records[1].at("tail"), "");
}

TEST(RunMemberName, LongestEntryFollowedByBlankOrEndElseNothing) {
  TempFolder folder;
  const std::string package = folder.Join("p.exe");
  WriteTestPackage(package, LodkinExePath(),
                   {{"my", {}}, {"my tool.exe", {}}, {"my tool.exe x", {}}, {"tool.exe", {}}},
                   folder.path());
  PackageReader reader;
  ASSERT_EQ(reader.Open(package.c_str()), 1);
  EXPECT_EQ(RunMemberNameLength("MY TOOL.EXE /a", reader), 11);
  EXPECT_EQ(RunMemberNameLength("my tool.exe x", reader), 13);
  EXPECT_EQ(RunMemberNameLength("my tool.exe xy", reader), 11);
  EXPECT_EQ(RunMemberNameLength("my toolbox", reader), 2);
  EXPECT_EQ(RunMemberNameLength("other.exe -q", reader), 0) << "no member: nothing to start";
  EXPECT_EQ(RunMemberNameLength("..\\..\\tool.exe", reader), 0);
  EXPECT_EQ(RunMemberNameLength("tool.exe", reader), 8);

  char command[64];
  ASSERT_EQ(FormatQuotedCommand(command, sizeof(command), "C:\\w d", "my tool.exe /a", 11), 1);
  EXPECT_STREQ(command, "\"C:\\w d\\my tool.exe\" /a");
  EXPECT_EQ(FormatQuotedCommand(command, 10, "C:\\w d", "my tool.exe /a", 11), 0);
  EXPECT_STREQ(command, "");
}

// Beside a package in a folder with a blank, an unquoted start of KVSetup.exe would try
// "<folder>\pkg.exe" first; a decoy there must never run.
TEST_F(PackageRunTest, InstalledProductStartsKvsetupBesideThePackageOnlyWithAnEmptyLine) {
  CreateDirectoryA(folder_.Join("pkg dir").c_str(), nullptr);
  WriteFileBytes(folder_.Join("pkg.exe"), StandInBytes());
  const std::string package = MakePackage(
      folder_.Join("pkg dir\\pack.exe"), {{"kvsetup.EXE", StandInBytes()}, {"SETUP.EXE", StandInBytes()}});
  ScopedUninstallKey installed(kSecondProductKey);

  ASSERT_TRUE(RunProgram(package, "").finished);
  std::vector<Record> records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(Lower(NameOf(records[0].at("self"))), "kvsetup.exe");
  const std::string workDirectory = ParentOf(records[0].at("self"));
  EXPECT_EQ(Lower(ParentOf(workDirectory)), Lower(folder_.Join("pkg dir")));
  EXPECT_EQ(records[0].at("tail"), "");
  EXPECT_EQ(Lower(records[0].at("caller")), Lower(package));
  ExpectScheduledForDeletion(workDirectory, {"kvsetup.EXE", "SETUP.EXE"});

  // Any command line at all takes the usual way, still beside the package; the
  // start-up delay runs first.
  const DWORD started = GetTickCount();
  ASSERT_TRUE(RunProgram(package, "-wait 1").finished);
  const DWORD elapsed = GetTickCount() - started;
  EXPECT_GE(elapsed, 1000u);
  records = Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(Lower(NameOf(records[1].at("self"))), "setup.exe");
  EXPECT_EQ(Lower(ParentOf(ParentOf(records[1].at("self")))), Lower(folder_.Join("pkg dir")));
  EXPECT_TRUE(NewTempWorkDirectories().empty()) << "KVSetup.exe keeps the run beside the package";
}

TEST_F(PackageRunTest, WithoutAnInstalledProductKvsetupPackagesRunSetup) {
  const std::string package = MakePackage(
      folder_.Join("pack.exe"), {{"KVSetup.exe", StandInBytes()}, {"setup.exe", StandInBytes()}});
  ASSERT_TRUE(RunProgram(package, "").finished);
  const std::vector<Record> records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(Lower(NameOf(records[0].at("self"))), "setup.exe");
}

// The box names the work directory, which the run then takes away with what it wrote:
// a run that starts nothing leaves no payload behind.
TEST_F(PackageRunTest, NoSetupProgramShowsTheErrorBoxAndRemovesTheWorkDirectory) {
  const std::string temp = WineTempFolder() + "\\KVLodkin";
  struct Case {
    const char* name;
    std::vector<TestMember> members;
  };
  const Case cases[] = {{"pack.exe", {{"readme.txt", {'h', 'i'}}}},
                        {"empty.exe", {}}};  // no members at all: the same box
  for (const Case& c : cases) {
    const std::string package = MakePackage(folder_.Join(c.name), c.members);
    std::vector<std::string> boxes;
    const ProcessResult result = RunClosingWindows(package, "", 20000, "", &boxes);
    ASSERT_TRUE(result.finished) << c.name;
    EXPECT_EQ(result.exitCode, 2u) << c.name;
    ASSERT_EQ(boxes.size(), 1u) << c.name;
    const std::string& box = boxes[0];
    const std::string end = "\\KVSET.EXE] is Not Found.[2]";
    ASSERT_EQ(box.compare(0, 8 + temp.size(), "Error: [" + temp), 0) << box;
    ASSERT_GT(box.size(), 8 + end.size());
    EXPECT_EQ(box.substr(box.size() - end.size()), end) << box;
    const std::string workDirectory = box.substr(8, box.size() - 8 - end.size());
    EXPECT_FALSE(DirectoryExists(workDirectory)) << workDirectory;
    EXPECT_TRUE(NewTempWorkDirectories().empty()) << c.name;
    EXPECT_TRUE(Records().empty()) << c.name;
  }
}

TEST_F(PackageRunTest, AMalformedPackageStartsNothingWritesNothingAndIsReportedDamaged) {
  const std::string package = folder_.Join("pack.exe");
  std::vector<char> bytes = MakePackage(package, {{"SETUP.EXE", StandInBytes()}}) == package
                                ? ReadFileBytes(package)
                                : std::vector<char>();
  ASSERT_GT(bytes.size(), 20u);
  // An entry count far beyond what the file holds.
  PutU32(bytes, bytes.size() - 4, 100000);
  WriteFileBytes(package, bytes);

  std::vector<std::string> boxes;
  const ProcessResult result = RunClosingWindows(package, "", 20000, "", &boxes);
  ASSERT_TRUE(result.finished);
  EXPECT_TRUE(NewTempWorkDirectories().empty());
  EXPECT_TRUE(Records().empty());
  // The trailer is there: a damaged package, not a plain program.
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_FILE_CORRUPT));
  EXPECT_EQ(boxes, std::vector<std::string>{"Error: [" + package + "] is damaged."});
}

}  // namespace
