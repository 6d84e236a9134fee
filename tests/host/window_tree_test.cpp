// Folders dropped on the real packaging window under Wine and packed, as an operator does
// it: the package is byte for byte the one the native lodkin-cli and lodkin-cli.exe write
// from the same folder, names beyond ASCII included (in the code page the prefix's locale
// gives the window); a link inside a dropped folder is refused and nothing is written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/folder_walk.h"
#include "host/support/tool_process.h"
#include "support/test_files.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> Environment;

// A locale of the tests' own (LOCPATH), made once from the system's locale sources: under
// ko_KR Wine's ANSI code page is 949, under ja_JP 932, zh_CN 936, zh_TW 950. Empty when it
// cannot be made.
const Environment& MadeLocale(const std::string& name) {
  static TempFolder* folder = new TempFolder();
  static std::map<std::string, Environment> made;
  Environment& environment = made[name];
  if (environment.empty()) {
    const std::string full = name + ".UTF-8";
    const RunResult run = RunProcess("localedef", {"-i", name, "-f", "UTF-8", folder->Join(full)});
    if (run.exitStatus == 0 && PathExists(folder->Join(full + "/LC_CTYPE"))) {
      environment = {{"LOCPATH", folder->path()}, {"LC_ALL", full}};
    }
  }
  return environment;
}

const char* LocaleOfCodePage(const std::string& codePage) {
  if (codePage == "949") return "ko_KR";
  if (codePage == "932") return "ja_JP";
  if (codePage == "936") return "zh_CN";
  if (codePage == "950") return "zh_TW";
  return nullptr;
}

struct DropCase {
  const char* title;
  std::vector<std::string> folders;  // made in this order under the root; the first is dropped
  std::vector<std::string> files;    // fixed-seed bytes, one length per file
  std::string link;                  // a link to the dropped folder planted here, or none
  const char* codepage;              // the window's code page: 1252, or that of the locale it runs in
  std::string box;                   // "caption:text" of the box that Pack shows
};

const std::string kCompleted = "success:packaging is completed ";

const DropCase kCases[] = {
    {"a tree three levels deep with an empty folder",
     {"app", "app/lang", "app/lang/ko", "app/empty", "app/lang/ko/none"},
     {"app/B.dll", "app/a.txt", "app/lang/en.dll", "app/lang/ko/strings.dll", "app/zero.bin"},
     "", "1252", kCompleted},
    {"a link to a folder three levels down",
     {"app", "app/lang", "app/lang/ko"},
     {"app/a.txt", "app/lang/ko/strings.dll"},
     "app/lang/ko/back", "1252",
     "error:\"app\\lang\\ko\\back\" is a link: a folder to pack must not hold links "},
    {"names beyond ASCII in code page 1252",
     {"caf\xC3\xA9", "caf\xC3\xA9/d\xC3\xA9j\xC3\xA0", "caf\xC3\xA9/vide"},
     {"caf\xC3\xA9/na\xC3\xAFve.txt", "caf\xC3\xA9/d\xC3\xA9j\xC3\xA0/\xC3\x9C" "ber.dll"},
     "", "1252", kCompleted},
    {"Korean names in code page 949",
     {"\xEC\x84\xA4\xEC\xB9\x98", "\xEC\x84\xA4\xEC\xB9\x98/\xEC\x96\xB8\xEC\x96\xB4",
      "\xEC\x84\xA4\xEC\xB9\x98/\xEC\x96\xB8\xEC\x96\xB4/\xED\x95\x9C\xEA\xB5\xAD",
      "\xEC\x84\xA4\xEC\xB9\x98/\xEB\xB9\x88"},
     {"\xEC\x84\xA4\xEC\xB9\x98/\xEC\x84\xA4\xEB\xAA\x85.txt",
      "\xEC\x84\xA4\xEC\xB9\x98/\xEC\x96\xB8\xEC\x96\xB4/\xED\x95\x9C\xEA\xB5\xAD/"
      "\xEB\xAC\xB8\xEC\x9E\x90\xEC\x97\xB4.dll"},
     "", "949", kCompleted},
    // Characters whose second byte is that of '\' or '|': 表 95 5C, ソ 83 5C, ポ 83 7C.
    {"Japanese names in code page 932",
     {"\xE8\xA1\xA8\xE7\xA4\xBA", "\xE8\xA1\xA8\xE7\xA4\xBA/\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88"},
     {"\xE8\xA1\xA8\xE7\xA4\xBA/\xE3\x83\x9D\xE3\x83\xBC\xE3\x83\x88.ini",
      "\xE8\xA1\xA8\xE7\xA4\xBA/\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/\xE5\x8D\x81.dll"},
     "", "932", kCompleted},
    // 億 83 7C, 乗 81 5C, 俓 82 5C.
    {"Simplified Chinese names in code page 936",
     {"\xE6\x95\xB0\xE6\x8D\xAE", "\xE6\x95\xB0\xE6\x8D\xAE/\xE4\xB9\x97"},
     {"\xE6\x95\xB0\xE6\x8D\xAE/\xE5\x84\x84.txt", "\xE6\x95\xB0\xE6\x8D\xAE/\xE4\xB9\x97/\xE4\xBF\x93.dll"},
     "", "936", kCompleted},
    // 功 A5 5C, 許 B3 5C, 蓋 BB 5C.
    {"Traditional Chinese names in code page 950",
     {"\xE5\x8A\x9F\xE8\x83\xBD", "\xE5\x8A\x9F\xE8\x83\xBD/\xE8\xA8\xB1"},
     {"\xE5\x8A\x9F\xE8\x83\xBD/\xE8\x93\x8B.txt", "\xE5\x8A\x9F\xE8\x83\xBD/\xE8\xA8\xB1/\xE8\xB3\x87.dll"},
     "", "950", kCompleted},
};

class WindowTree : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = WindowsBinFolder();
    if (bin_.empty()) GTEST_SKIP() << "the host build was configured without the cross build's bin";
  }

  std::string bin_;
};

TEST(WindowsFolderKinds, EveryReparsePointIsALinkWhateverElseItIs) {
  // The attribute bits of a folder search: a junction or a link to a folder also carries
  // the folder bit, a link to a file the file's bits (Wine reports only links to folders).
  const struct {
    uint32_t attributes;
    FolderItemKind kind;
  } cases[] = {
      {0x20, kFolderItemFile},   {0x80, kFolderItemFile},   {0x01 | 0x02 | 0x04, kFolderItemFile},
      {0x10, kFolderItemFolder}, {0x10 | 0x02, kFolderItemFolder},
      {0x410, kFolderItemLink},  {0x420, kFolderItemLink},  {0x400, kFolderItemLink},
      {0x40, kFolderItemOther},  {0x440, kFolderItemLink},
  };
  for (const auto& one : cases) EXPECT_EQ(FolderItemKindOfAttributes(one.attributes), one.kind) << one.attributes;
}

TEST_F(WindowTree, DroppedFoldersPackAsTheToolPacksThem) {
  for (const DropCase& one : kCases) {
    SCOPED_TRACE(one.title);
    RunSettings settings;
    settings.environment = {{"LC_ALL", "C.UTF-8"}};
    if (const char* locale = LocaleOfCodePage(one.codepage)) {
      settings.environment = MadeLocale(locale);
      ASSERT_FALSE(settings.environment.empty()) << "no " << locale << " locale: install the locales package";
    }
    TempFolder root;
    WriteFileBytes(root.Join("setup.exe"), PseudoRandomBytes(3000, 1));
    for (const std::string& folder : one.folders) MakeFolder(root.Join(folder));
    for (size_t i = 0; i < one.files.size(); ++i) {
      WriteFileBytes(root.Join(one.files[i]), PseudoRandomBytes(i == 4 ? 0 : 1000 + 3000 * i, 10 + i));
    }
    if (!one.link.empty()) {
      ASSERT_EQ(symlink(root.Join(one.folders[0]).c_str(), root.Join(one.link).c_str()), 0);
    }
    const std::vector<std::string> before = ListFolder(root.path());

    // The folder twice in one drop, the setup program after it: two rows, setup on top.
    const std::string top = WinePath(root.Join(one.folders[0]));
    const RunResult window = RunUnderWine(bin_ + "/window_drop.exe",
                                          {WinePath(bin_ + "/Lodkin.exe"), top, WinePath(root.Join("setup.exe")), top},
                                          settings);
    ASSERT_EQ(window.exitStatus, 0) << window.out << window.err;
    EXPECT_EQ(OutputLines(window.out, "row:").size(), 2u) << window.out;
    // The window shows its code page's bytes; a host path in UTF-8 reads alike only in ASCII.
    if (std::all_of(top.begin(), top.end(), [](char c) { return (c & 0x80) == 0; })) {
      EXPECT_EQ(OutputLines(window.out, "row:").back(), top);
    }
    ASSERT_EQ(OutputLines(window.out, "box:"), std::vector<std::string>{one.box}) << window.out;
    const std::string package = root.path() + "/KVPACK_" + root.path().substr(root.path().rfind('/') + 1) + ".exe";
    if (one.box != kCompleted) {
      EXPECT_EQ(OutputLines(window.out, "status:"), std::vector<std::string>{"Error: can not pack files"});
      EXPECT_EQ(ListFolder(root.path()), before) << "something was written";
      continue;
    }
    const std::vector<char> windowBytes = ReadFileBytes(package);

    // The native tool with the window's code page, and lodkin-cli.exe in the window's locale.
    RunSettings inRoot;
    inRoot.directory = root.path();
    inRoot.environment = {{"LC_ALL", "C.UTF-8"}};
    const RunResult native = RunCli({"pack", "--codepage", one.codepage, "--stub", bin_ + "/Lodkin.exe", "-o",
                                     "native.exe", "setup.exe", one.folders[0]},
                                    inRoot);
    ASSERT_EQ(native.exitStatus, 0) << native.err;
    EXPECT_TRUE(ReadFileBytes(root.Join("native.exe")) == windowBytes) << "the native tool's package differs";
    const RunResult console = RunUnderWine(bin_ + "/lodkin-cli.exe",
                                           {"pack", "-o", WinePath(root.Join("console.exe")),
                                            WinePath(root.Join("setup.exe")), top},
                                           settings);
    ASSERT_EQ(console.exitStatus, 0) << console.out << console.err;
    EXPECT_TRUE(ReadFileBytes(root.Join("console.exe")) == windowBytes) << "lodkin-cli.exe's package differs";

    // Every file and empty folder is in it, each under its path below the root.
    const RunResult listed = RunCli({"list", "--codepage", one.codepage, "native.exe"}, inRoot);
    for (const std::string& file : one.files) {
      std::string name = file;
      for (char& c : name) c = c == '/' ? '\\' : c;
      EXPECT_NE(listed.out.find(name), std::string::npos) << name << "\n" << listed.out;
    }
  }
}

}  // namespace
