// Japanese, Simplified and Traditional Chinese names whose characters end in the byte of
// '\' or '|', through the native tool with --codepage and through the real program and
// lodkin-cli.exe under Wine in the matching locale; and names equal but for letter case
// refused by pack as Windows compares them in each code page.
#include <gtest/gtest.h>
#include <iconv.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "core/package_reader.h"
#include "host/support/cli_fixture.h"
#include "host/support/tool_process.h"
#include "support/test_files.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> Environment;

// A locale of the tests' own (LOCPATH), made from the system's locale sources: under it
// Wine's ANSI code page is that of the language. Empty when it cannot be made.
Environment MadeLocale(const std::string& name) {
  static TempFolder* folder = new TempFolder();
  const std::string full = name + ".UTF-8";
  if (!PathExists(folder->Join(full + "/LC_CTYPE"))) {
    RunProcess("localedef", {"-i", name, "-f", "UTF-8", folder->Join(full)});
  }
  if (!PathExists(folder->Join(full + "/LC_CTYPE"))) return {};
  return {{"LOCPATH", folder->path()}, {"LC_ALL", full}};
}

// A UTF-8 name in the code page's bytes.
std::string InCodePage(const std::string& utf8, const std::string& codePage) {
  iconv_t converter = iconv_open(("CP" + codePage).c_str(), "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::string();
  char out[512];
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* at = out;
  size_t outLeft = sizeof(out);
  const size_t done = iconv(converter, &in, &inLeft, &at, &outLeft);
  iconv_close(converter);
  return done == static_cast<size_t>(-1) ? std::string() : std::string(out, at);
}

struct NameCase {
  const char* title;
  const char* codePage;
  const char* locale;
  std::vector<std::string> folders;  // made under the root, each packed as a tree
  std::vector<std::string> files;    // top-level files first, then the files in the folders
  size_t topFiles;                   // how many of `files` lie beside setup.exe
};

// Each holds characters whose second byte is 0x5C ('\') or 0x7C ('|') in its code page.
const NameCase kCases[] = {
    {"Japanese in 932", "932", "ja_JP", {"\xE8\xA1\xA8\xE7\xA4\xBA"},  // 表示 (95 5C, ...)
     {"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88.txt",                      // ソフト.txt (83 5C ...)
      "\xE3\x83\x9D\xE3\x83\xBC\xE3\x83\x88.ini",                      // ポート.ini (83 7C ...)
      "\xE8\xA1\xA8\xE7\xA4\xBA/\xE8\x83\xBD\xE5\x8A\x9B.dat",          // 表示/能力.dat (94 5C ...)
      "\xE8\xA1\xA8\xE7\xA4\xBA/\xE5\x8D\x81.bin"},                    // 表示/十.bin (8F 5C)
     2},
    {"Simplified Chinese in 936", "936", "zh_CN", {"\xE6\x95\xB0\xE6\x8D\xAE"},  // 数据
     {"\xE5\x84\x84.txt",                                              // 億.txt (83 7C)
      "\xE4\xB9\x97\xE5\x8F\x82\xE6\x95\xB0.ini",                      // 乗参数.ini (81 5C ...)
      "\xE6\x95\xB0\xE6\x8D\xAE/\xE4\xBF\x93.dat"},                    // 数据/俓.dat (82 5C)
     2},
    {"Traditional Chinese in 950", "950", "zh_TW", {"\xE5\x8A\x9F\xE8\x83\xBD"},  // 功能 (A5 5C ...)
     {"\xE8\xA8\xB1\xE5\x8F\xAF.txt",                                  // 許可.txt (B3 5C ...)
      "\xE5\x8A\x9F\xE8\x83\xBD/\xE8\xB3\x87\xE6\x96\x99.dat",          // 功能/資料.dat
      "\xE5\x8A\x9F\xE8\x83\xBD/\xE8\x93\x8B.bin"},                    // 功能/蓋.bin (BB 5C)
     1},
};

class DoubleByteNames : public CliFixture {
 protected:
  void SetUp() override {
    bin_ = WindowsBinFolder();
    cliEnvironment_ = {{"LC_ALL", "C.UTF-8"}};
  }

  std::string bin_;
};

TEST_F(DoubleByteNames, PackListExtractAndRunInTheirCodePage) {
  for (const NameCase& one : kCases) {
    SCOPED_TRACE(one.title);
    RemoveTree(root_.Join("in"));
    RemoveTree(root_.Join("out"));
    MakeFolder(root_.Join("in"));
    const std::vector<char> setup =
        bin_.empty() ? PseudoRandomBytes(2000, 1) : ReadFileBytes(bin_ + "/stand_in_setup.exe");
    WriteFileBytes(root_.Join("in/setup.exe"), setup);
    for (const std::string& folder : one.folders) MakeFolder(root_.Join("in/" + folder));
    for (size_t i = 0; i < one.files.size(); ++i) {
      WriteFileBytes(root_.Join("in/" + one.files[i]), PseudoRandomBytes(500 + 100 * i, 20 + i));
    }
    std::vector<std::string> pack = {"pack", "--codepage", one.codePage, "-o", "pkg.exe", "in/setup.exe"};
    for (size_t i = 0; i < one.topFiles; ++i) pack.push_back("in/" + one.files[i]);
    for (const std::string& folder : one.folders) pack.push_back("in/" + folder);
    if (!bin_.empty()) pack.insert(pack.begin() + 1, {"--stub", bin_ + "/Lodkin.exe"});
    RunResult run = Cli(pack);
    ASSERT_EQ(run.exitStatus, 0) << run.err;

    // The directory records the code page, and the reader splits the names by it.
    PackageReader reader;
    ASSERT_EQ(reader.Open(root_.Join("pkg.exe").c_str()), 1) << DescribePackageStatus(reader.status());
    EXPECT_EQ(reader.nameCodePage().id, static_cast<uint32_t>(atoi(one.codePage)));
    EXPECT_EQ(reader.count(), static_cast<int>(one.files.size()) + 1);
    run = Cli({"verify", "pkg.exe"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    run = Cli({"extract", "--codepage", one.codePage, "pkg.exe", "-C", "out"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    for (size_t i = 0; i < one.files.size(); ++i) {
      EXPECT_EQ(ReadFileBytes(root_.Join("out/" + one.files[i])), PseudoRandomBytes(500 + 100 * i, 20 + i))
          << one.files[i];
    }
    if (bin_.empty()) continue;

    // The real program in the matching locale writes every member under its own name.
    Environment locale = MadeLocale(one.locale);
    ASSERT_FALSE(locale.empty()) << "no " << one.locale << " locale: install the locales package";
    RunSettings settings;
    settings.environment = locale;
    const RunResult console = RunUnderWine(bin_ + "/lodkin-cli.exe", {"verify", WinePath(root_.Join("pkg.exe"))},
                                           settings);
    EXPECT_EQ(console.exitStatus, 0) << console.out << console.err;
    settings.environment.push_back({"LODKIN_STAND_IN_RECORD", WinePath(root_.Join("record.txt"))});
    RemoveTree(root_.Join("record.txt"));
    const RunResult package = RunUnderWine(root_.Join("pkg.exe"), {"-s"}, settings);
    EXPECT_EQ(package.exitStatus, 0) << package.out << package.err;
    const std::vector<char> record = ReadFileBytes(root_.Join("record.txt"));
    const std::string recorded(record.begin(), record.end());
    for (size_t i = 0; i < one.topFiles; ++i) {
      const std::string stored = InCodePage(one.files[i], one.codePage);
      ASSERT_FALSE(stored.empty()) << one.files[i];
      EXPECT_NE(recorded.find(stored), std::string::npos) << one.files[i] << " beside the setup program\n"
                                                         << recorded;
    }
    for (const std::string& folder : one.folders) {
      EXPECT_NE(recorded.find(InCodePage(folder, one.codePage)), std::string::npos) << folder;
    }
  }
}

TEST_F(DoubleByteNames, PackRefusesNamesEqualButForLetterCaseAsWindowsComparesThem) {
  const struct {
    const char* what;
    const char* codePage;  // null: plain ASCII names, no --codepage
    std::vector<std::string> names;
    std::string refused;   // the later name, or empty: packed
  } cases[] = {
      {"readme.txt and README.TXT", nullptr, {"readme.txt", "README.TXT"}, "README.TXT"},
      {"one name twice from two folders", nullptr, {"a/data.cab", "b/data.cab"}, "data.cab"},
      {"cafe and CAFE with accents in 1252", "1252", {"caf\xC3\xA9.txt", "CAF\xC3\x89.TXT"}, "CAF\xC3\x89.TXT"},
      {"a and di in 932, second bytes 41 and 61", "932", {"\xE3\x82\xA2.txt", "\xE3\x83\x82.txt"}, ""},
      {"two hangul whose second bytes are A and a", "949", {"\xEC\xBA\x9A.txt", "\xEC\xBA\xBB.txt"}, ""},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(one.what);
    RemoveTree(root_.Join("in"));
    MakeFolder(root_.Join("in"));
    MakeFolder(root_.Join("in/a"));
    MakeFolder(root_.Join("in/b"));
    WriteFileBytes(root_.Join("in/setup.exe"), PseudoRandomBytes(100, 1));
    std::vector<std::string> pack = {"pack", "-o", "refused.exe", "in/setup.exe"};
    if (one.codePage != nullptr) pack.insert(pack.begin() + 1, {"--codepage", one.codePage});
    for (const std::string& name : one.names) {
      WriteFileBytes(root_.Join("in/" + name), PseudoRandomBytes(50, 2));
      pack.push_back("in/" + name);
    }
    RemoveTree(root_.Join("refused.exe"));
    const RunResult run = Cli(pack);
    if (one.refused.empty()) {
      EXPECT_EQ(run.exitStatus, 0) << run.err;
      continue;
    }
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find(one.refused + "\" is packed twice"), std::string::npos) << run.err;
    EXPECT_FALSE(PathExists(root_.Join("refused.exe")));
  }
}

}  // namespace
