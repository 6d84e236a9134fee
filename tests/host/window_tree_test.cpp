// Folders dropped on the real packaging window under Wine and packed, as an operator does
// it: the package is byte for byte the one the native lodkin-cli and lodkin-cli.exe write
// from the same folder, names beyond ASCII included (in the code page the prefix's locale
// gives the window); a link inside a dropped folder is refused and nothing is written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/folder_walk.h"
#include "host/support/host_files.h"
#include "host/support/tool_process.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> Environment;

// A Korean locale of the tests' own (LOCPATH), made once from the system's locale sources:
// under it Wine's ANSI code page is 949. Empty when it cannot be made.
const Environment& KoreanLocale() {
  static HostFolder* folder = new HostFolder();
  static Environment environment;
  if (environment.empty()) {
    const RunResult made = RunProcess("localedef", {"-i", "ko_KR", "-f", "UTF-8", folder->Join("ko_KR.UTF-8")});
    if (made.exitStatus == 0 && Exists(folder->Join("ko_KR.UTF-8/LC_CTYPE"))) {
      environment = {{"LOCPATH", folder->path()}, {"LC_ALL", "ko_KR.UTF-8"}};
    }
  }
  return environment;
}

struct DropCase {
  const char* title;
  std::vector<std::string> folders;  // made in this order under the root; the first is dropped
  std::vector<std::string> files;    // fixed-seed bytes, one length per file
  std::string link;                  // a link to the dropped folder planted here, or none
  const char* codepage;              // the window's code page: 949 (Korean locale) or 1252
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
};

class WindowTree : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = WindowsBinFolder();
    if (bin_.empty()) GTEST_SKIP() << "the host build was configured without the cross build's bin";
  }

  // Lines of the helper's output that start with `key`, without it and without CR.
  static std::vector<std::string> Lines(const std::string& out, const std::string& key) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < out.size()) {
      size_t end = out.find('\n', start);
      if (end == std::string::npos) end = out.size();
      std::string line = out.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.compare(0, key.size(), key) == 0) lines.push_back(line.substr(key.size()));
      start = end + 1;
    }
    return lines;
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
    if (std::string(one.codepage) == "949") {
      settings.environment = KoreanLocale();
      ASSERT_FALSE(settings.environment.empty()) << "no Korean locale: install the locales package";
    }
    HostFolder root;
    WriteBytes(root.Join("setup.exe"), PseudoRandomBytes(3000, 1));
    for (const std::string& folder : one.folders) MakeFolder(root.Join(folder));
    for (size_t i = 0; i < one.files.size(); ++i) {
      WriteBytes(root.Join(one.files[i]), PseudoRandomBytes(i == 4 ? 0 : 1000 + 3000 * i, 10 + i));
    }
    if (!one.link.empty()) {
      ASSERT_EQ(symlink(root.Join(one.folders[0]).c_str(), root.Join(one.link).c_str()), 0);
    }
    const std::vector<std::string> before = FolderEntries(root.path());

    // The folder twice in one drop, the setup program after it: two rows, setup on top.
    const std::string top = WinePath(root.Join(one.folders[0]));
    const RunResult window = RunUnderWine(bin_ + "/window_drop.exe",
                                          {WinePath(bin_ + "/Lodkin.exe"), top, WinePath(root.Join("setup.exe")), top},
                                          settings);
    ASSERT_EQ(window.exitStatus, 0) << window.out << window.err;
    EXPECT_EQ(Lines(window.out, "row:").size(), 2u) << window.out;
    // The window shows its code page's bytes; a host path in UTF-8 reads alike only in ASCII.
    if (std::all_of(top.begin(), top.end(), [](char c) { return (c & 0x80) == 0; })) {
      EXPECT_EQ(Lines(window.out, "row:").back(), top);
    }
    ASSERT_EQ(Lines(window.out, "box:"), std::vector<std::string>{one.box}) << window.out;
    const std::string package = root.path() + "/KVPACK_" + root.path().substr(root.path().rfind('/') + 1) + ".exe";
    if (one.box != kCompleted) {
      EXPECT_EQ(Lines(window.out, "status:"), std::vector<std::string>{"Error: can not pack files"});
      EXPECT_EQ(FolderEntries(root.path()), before) << "something was written";
      continue;
    }
    const std::vector<char> windowBytes = ReadBytes(package);

    // The native tool with the window's code page, and lodkin-cli.exe in the window's locale.
    RunSettings inRoot;
    inRoot.directory = root.path();
    inRoot.environment = {{"LC_ALL", "C.UTF-8"}};
    const RunResult native = RunCli({"pack", "--codepage", one.codepage, "--stub", bin_ + "/Lodkin.exe", "-o",
                                     "native.exe", "setup.exe", one.folders[0]},
                                    inRoot);
    ASSERT_EQ(native.exitStatus, 0) << native.err;
    EXPECT_TRUE(ReadBytes(root.Join("native.exe")) == windowBytes) << "the native tool's package differs";
    const RunResult console = RunUnderWine(bin_ + "/lodkin-cli.exe",
                                           {"pack", "-o", WinePath(root.Join("console.exe")),
                                            WinePath(root.Join("setup.exe")), top},
                                           settings);
    ASSERT_EQ(console.exitStatus, 0) << console.out << console.err;
    EXPECT_TRUE(ReadBytes(root.Join("console.exe")) == windowBytes) << "lodkin-cli.exe's package differs";

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
