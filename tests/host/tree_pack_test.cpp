// Folder trees and names beyond ASCII through the native lodkin-cli: a tree packed,
// listed, verified and extracted byte for byte (stored and compressed), the order of its
// entries, links refused, every unsafe layout refused by every reader with nothing
// written, and names converted to and from a code page given with --codepage.
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/folder_walker.h"
#include "core/name_field_records.h"
#include "core/pack_job.h"
#include "core/package_format.h"
#include "host/support/cli_fixture.h"
#include "host/support/compressed_fixture.h"
#include "host/support/hand_package.h"
#include "host/support/tool_process.h"
#include "support/test_files.h"
#include "support/test_pack_list.h"

namespace {

class TreePack : public CliFixture {
 protected:
  void SetUp() override {
    cliEnvironment_ = {{"LC_ALL", "C.UTF-8"}};
    MakeTree(root_);
  }
  // build/setup.exe, ...
  void MakeTree(const TempFolder& root) {
    // build/setup.exe, build/app/... three levels deep, with an empty folder.
    files_ = {{"setup.exe", PseudoRandomBytes(3000, 1)},
              {"app/B.dll", CompressibleBytes(40000, 2)},
              {"app/a.txt", CompressibleBytes(5000, 3)},
              {"app/lang/ko/strings.dll", PseudoRandomBytes(7000, 4)},
              {"app/lang/en.dll", CompressibleBytes(6000, 5)},
              {"app/zero.bin", {}}};
    MakeFolder(root.Join("build"));
    for (const char* folder : {"app", "app/lang", "app/lang/ko", "app/empty", "app/lang/ko/none"}) {
      MakeFolder(root.Join(std::string("build/") + folder));
    }
    for (const HandMember& file : files_) WriteFileBytes(root.Join("build/" + file.name), file.bytes);
  }
  // The member names of a package in directory order, from list --json.
  std::vector<std::string> ListedNames(const std::string& package, const std::string& field = "name") {
    const RunResult run = Cli({"list", "--json", package});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    std::vector<std::string> names;
    const std::string key = "\"" + field + "\":\"";
    for (size_t at = run.out.find(key); at != std::string::npos; at = run.out.find(key, at + 1)) {
      const size_t start = at + key.size();
      names.push_back(run.out.substr(start, run.out.find('"', start) - start));
    }
    return names;
  }

  std::vector<HandMember> files_;
};

TEST_F(TreePack, ATreeRoundTripsInByteOrderStoredAndCompressed) {
  // Depth-first in byte order of the names, files and folders interleaved; an empty
  // folder is an entry of its own; the JSON shows '\' as "\\".
  const std::vector<std::string> order = {
      "app\\\\B.dll", "app\\\\a.txt", "app\\\\empty\\\\", "app\\\\lang\\\\en.dll",
      "app\\\\lang\\\\ko\\\\none\\\\", "app\\\\lang\\\\ko\\\\strings.dll", "app\\\\zero.bin"};
  for (const bool compress : {false, true}) {
    const std::string package = compress ? "lzma.exe" : "stored.exe";
    std::vector<std::string> arguments = {"pack", "-o", package, "build/setup.exe", "build/app/"};
    if (compress) arguments.insert(arguments.begin() + 1, "--compress");
    RunResult run = Cli(arguments);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::vector<std::string> expected = {"setup.exe"};
    expected.insert(expected.end(), order.begin(), order.end());
    EXPECT_EQ(ListedNames(package), expected) << package;
    run = Cli({"verify", package});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    run = Cli({"extract", package, "-C", "out"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    for (const HandMember& file : files_) EXPECT_EQ(ReadFileBytes(root_.Join("out/" + file.name)), file.bytes) << file.name;
    EXPECT_EQ(ListFolder(root_.Join("out/app/empty")), std::vector<std::string>{});
    EXPECT_EQ(ListFolder(root_.Join("out/app/lang/ko")), (std::vector<std::string>{"none", "strings.dll"}));
    RemoveTree(root_.Join("out"));
  }
  // A folder entry's record is checked as any member's: one that no longer matches its
  // (empty) bytes makes the member damaged, and extract leaves nothing.
  std::vector<char> bytes = ReadFileBytes(root_.Join("stored.exe"));
  const std::string folderName("app\\empty\\", 11);
  const size_t at = std::string(bytes.begin(), bytes.end()).rfind(folderName);
  ASSERT_NE(at, std::string::npos);
  PackageDirEntry entry;
  memcpy(&entry, &bytes[at], sizeof(entry));
  ChecksumRecord record;
  ASSERT_TRUE(ReadRecord(entry, &record));
  record.member ^= 1;
  ASSERT_TRUE(SealRecord(entry, record));
  memcpy(&bytes[at], &entry, sizeof(entry));
  WriteFileBytes(root_.Join("forged.exe"), bytes);
  const RunResult forged = Cli({"extract", "forged.exe", "-C", "out"});
  EXPECT_EQ(forged.exitStatus, 1);
  EXPECT_EQ(forged.err, "lodkin-cli: error: member \"app\\empty\\\" is damaged\n");
  EXPECT_FALSE(PathExists(root_.Join("out")));
  // A folder in the top row: the package lands in its parent, named after the parent.
  MakeFolder(root_.Join("top"));
  WriteFileBytes(root_.Join("top/setup.exe"), files_[0].bytes);
  RunResult run = Cli({"pack", "top/setup.exe", "build/app"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, root_.Join("top/KVPACK_top.exe") + "\n");
  // The setup rule counts the top only: a setup.exe inside a folder is no setup program;
  // the refusal keeps the window's words and then says how to pack the folder's contents.
  run = Cli({"pack", "-o", "x.exe", "build"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err,
            "lodkin-cli: error: add \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\"\n"
            "setup.exe is inside the folder \"build\": to pack the folder's contents, use -C build\n");
  // The already-packed rule looks at every file's own name, however deep.
  WriteFileBytes(root_.Join("build/app/lang/old_KVPACK_x.exe"), {});
  run = Cli({"pack", "-o", "x.exe", "build/setup.exe", "build/app"});
  EXPECT_EQ(run.err, "lodkin-cli: error: \"old_kvpack_x.exe\" is already packed.\n");
  EXPECT_FALSE(PathExists(root_.Join("x.exe")));
}

// The progress total of a pack is the package's length, folders walked: a tree's files
// count as a flat list's do.
TEST_F(TreePack, APackExpectsEveryByteOfTheTree) {
  struct Recorder : PackObserver {
    void Expect(uint64_t bytes) override { expected.push_back(bytes); }
    void Observe(const char*, size_t length) override { seen += length; }
    std::vector<uint64_t> expected;
    uint64_t seen = 0;
  } recorder;
  WriteFileBytes(root_.Join("Lodkin.exe"), PseudoRandomBytes(9000, 6));
  const std::string package = root_.Join("tree.exe");
  SystemFolderWalker walker;
  PackOptions options = DefaultPackOptions();
  options.packagePath = package.c_str();
  options.walker = &walker;
  options.observer = &recorder;
  PackResult result;
  ASSERT_EQ(PackFiles(TestList({root_.Join("build/setup.exe"), root_.Join("build/app")}),
                      root_.Join("Lodkin.exe").c_str(), options, &result),
            kPackCompleted)
      << result.name;
  EXPECT_EQ(recorder.expected, std::vector<uint64_t>{ReadFileBytes(package).size()});
  EXPECT_GT(recorder.seen, 60000u);
}

TEST_F(TreePack, WhatATreeMustNotHoldIsRefusedWithNothingWritten) {
  struct Case {
    const char* what;
    std::function<void(const TempFolder&)> plant;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"a link three levels down", [](const TempFolder& root) { ASSERT_EQ(symlink("/etc", root.Join("build/app/lang/ko/etc").c_str()), 0); },
       "\"app\\lang\\ko\\etc\" is a link: a folder to pack must not hold links"},
      {"a link to a file", [](const TempFolder& root) { ASSERT_EQ(symlink("../setup.exe", root.Join("build/app/s.exe").c_str()), 0); },
       "\"app\\s.exe\" is a link: a folder to pack must not hold links"},
      {"a file beside a folder of its name", [](const TempFolder& root) { WriteFileBytes(root.Join("build/app/LANG"), {}); },
       "\"app\\LANG\" is packed both as a file and as a folder"},
      {"a name with a backslash", [](const TempFolder& root) { WriteFileBytes(root.Join("build/app/a\\b"), {}); },
       "\"app\\a\\b\" is not a valid member name"},
      {"a part ending with a dot", [](const TempFolder& root) { MakeFolder(root.Join("build/app/v1.")); },
       "\"app\\v1.\\\" is not a valid member name"},
      {"a device name", [](const TempFolder& root) { WriteFileBytes(root.Join("build/app/lang/aux.txt"), {}); },
       "\"app\\lang\\aux.txt\" is not a valid member name"},
  };
  for (const Case& c : cases) {
    TempFolder scratch;
    MakeTree(scratch);
    c.plant(scratch);
    const RunResult run = Cli({"pack", "-o", "pkg.exe", "build/setup.exe", "build/app"}, 0, &scratch);
    EXPECT_EQ(run.exitStatus, 1) << c.what;
    EXPECT_EQ(run.err, "lodkin-cli: error: " + c.error + "\n") << c.what;
    EXPECT_EQ(ListFolder(scratch.path()), std::vector<std::string>{"build"}) << c.what;
  }
}

// Each layout that no writer makes, laid out by hand: list, verify and extract refuse it
// whole, say which entry and why, and write nothing.
TEST_F(TreePack, EveryReaderRefusesAnUnsafeLayoutWhole) {
  const std::vector<char> small = PseudoRandomBytes(10, 7);
  const struct {
    std::vector<HandMember> members;
    std::string error;
  } cases[] = {
      {{{"\\x.txt", small}}, "unsafe member name (entry 1 \"\\x.txt\"): the name starts with \"\\\""},
      {{{"a\\\\b", small}}, "unsafe member name (entry 1 \"a\\\\b\"): the name has an empty part"},
      {{{"a\\..\\..\\x", small}}, "unsafe member name (entry 1 \"a\\..\\..\\x\"): a part of the name is \".\" or \"..\""},
      {{{".\\x", small}}, "unsafe member name (entry 1 \".\\x\"): a part of the name is \".\" or \"..\""},
      {{{"a/b", small}}, "unsafe member name (entry 1 \"a/b\"): the name holds a character that Windows does not allow in a file name"},
      {{{"C:\\x", small}}, "unsafe member name (entry 1 \"C:\\x\"): the name holds a character that Windows does not allow in a file name"},
      {{{"x.txt:stream", small}}, "unsafe member name (entry 1 \"x.txt:stream\"): the name holds a character that Windows does not allow in a file name"},
      {{{"a\\b?\\c", small}}, "unsafe member name (entry 1 \"a\\b?\\c\"): the name holds a character that Windows does not allow in a file name"},
      {{{"a\\t\x01\\c", small}}, "unsafe member name (entry 1 \"a\\t\\x01\\c\"): the name holds a character that Windows does not allow in a file name"},
      {{{"dir.\\x", small}}, "unsafe member name (entry 1 \"dir.\\x\"): a part of the name ends with a dot or a blank"},
      {{{"dir \\x", small}}, "unsafe member name (entry 1 \"dir \\x\"): a part of the name ends with a dot or a blank"},
      {{{"a\\NUL.txt\\x", small}}, "unsafe member name (entry 1 \"a\\NUL.txt\\x\"): a part of the name is a device name"},
      {{{"", small}}, "unsafe member name (entry 1 \"\"): the name is empty"},
      {{{"lib", small}, {"LIB\\x.dll", small}}, "a file and a folder of the same name (entry 1 \"lib\")"},
      {{{"Lib\\", {}}, {"lib", small}}, "a file and a folder of the same name (entry 2 \"lib\")"},
      {{{"a\\b\\c", small}, {"A\\B", small}}, "a file and a folder of the same name (entry 2 \"A\\B\")"},
      {{{"empty\\", small}}, "a folder entry that holds bytes (entry 1 \"empty\\\")"},
  };
  for (const auto& c : cases) {
    std::vector<HandMember> members = {{"setup.exe", small}};
    members.insert(members.end(), c.members.begin(), c.members.end());
    WriteFileBytes(root_.Join("bad.exe"), LayOutPackage(PseudoRandomBytes(500, 8), members));
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"list", "bad.exe"}, {"verify", "bad.exe"}, {"extract", "bad.exe", "-C", "out"}, {"extract", "bad.exe"}}) {
      const RunResult run = Cli(arguments);
      EXPECT_EQ(run.exitStatus, 1) << arguments[0] << " " << c.error;
      EXPECT_EQ(run.err, "lodkin-cli: error: bad.exe: " + c.error + "\n") << arguments[0];
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(ListFolder(root_.path()), (std::vector<std::string>{"bad.exe", "build"})) << c.error;
    }
  }
  // The same names in a sound layout are read: a folder entry, a tree, a name "a.b".
  WriteFileBytes(root_.Join("good.exe"), LayOutPackage(PseudoRandomBytes(500, 8), {{"setup.exe", small}, {"Lib\\", {}},
                                                                              {"x\\lib", small}, {"x\\a.b", small}}));
  EXPECT_EQ(Cli({"verify", "good.exe"}).exitStatus, 0);
}

TEST_F(TreePack, NamesBeyondAsciiGoThroughTheCodePage) {
  const std::string korean = "\xec\x84\xa4\xec\xb9\x98";  // "설치" in UTF-8
  MakeFolder(root_.Join("ko"));
  MakeFolder(root_.Join("ko/" + korean));
  WriteFileBytes(root_.Join("ko/" + korean + "/" + korean + ".txt"), files_[1].bytes);
  WriteFileBytes(root_.Join("ko/setup.exe"), files_[0].bytes);
  // Without --codepage a name beyond ASCII is refused, and the message names the option.
  RunResult run = Cli({"pack", "-o", "ko.exe", "ko/setup.exe", "ko/" + korean});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: \"" + korean + "\\" + korean + ".txt\" is not plain ASCII: give the code page of the Windows "
                     "machines that run the package with --codepage N (949, 932, 936, 1252, ...)\n");
  // 949: the stored bytes are the code page's ("설치" is BC B3 C4 A1), and back again.
  run = Cli({"pack", "--codepage", "949", "-o", "ko.exe", "ko/setup.exe", "ko/" + korean});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(ListedNames("ko.exe", "nameBytes"),
            (std::vector<std::string>{"73657475702e657865", "bcb3c4a15cbcb3c4a12e747874"}));
  run = Cli({"list", "--codepage=949", "ko.exe"});
  EXPECT_NE(run.out.find("\t" + korean + "\\" + korean + ".txt\t"), std::string::npos) << run.out << run.err;
  run = Cli({"extract", "ko.exe", "-C", "plain"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("(entry 1) is not plain ASCII: give the code page the package was made for with --codepage"),
            std::string::npos) << run.err;
  EXPECT_FALSE(PathExists(root_.Join("plain")));
  run = Cli({"extract", "--codepage", "949", "ko.exe", "-C", "back"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(root_.Join("back/" + korean + "/" + korean + ".txt")), files_[1].bytes);
  // 1252 has no Korean: refused, never replaced; a code page iconv does not know is refused.
  run = Cli({"pack", "--codepage", "1252", "-o", "w.exe", "ko/setup.exe", "ko/" + korean});
  EXPECT_EQ(run.err, "lodkin-cli: error: \"" + korean + "\\" + korean + ".txt\" cannot be written in the code page given with --codepage\n");
  run = Cli({"pack", "--codepage", "99999", "-o", "w.exe", "ko/setup.exe"});
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_FALSE(PathExists(root_.Join("w.exe")));
  // 1252 does hold "café": stored as the single byte E9.
  WriteFileBytes(root_.Join("ko/caf\xc3\xa9"), {});
  run = Cli({"pack", "--codepage", "1252", "-o", "w.exe", "ko/setup.exe", "ko/caf\xc3\xa9"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(ListedNames("w.exe", "nameBytes")[1], "636166e9");
}

}  // namespace
