// Damaged packages, thousands of them from a fixed seed, fed to the reader in-process:
// none may be half-trusted. Whatever the reader accepts must lie inside the file,
// and reading every accepted member must stay inside its bounds.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "core/member_name.h"
#include "core/package_reader.h"
#include "support/byte_name_rules.h"
#include "support/byte_poke.h"
#include "support/package_damage.h"
#include "support/package_layout.h"
#include "support/test_files.h"
#include "support/test_package.h"
#include "support/test_process.h"
#include "support/window_closer.h"

namespace {

class Damaged : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileBytes(folder_.Join("module.exe"), PseudoRandomBytes(3000, 41));
    valid_ = WriteTestPackage(folder_.Join("valid.exe"), folder_.Join("module.exe"),
                              {{"SETUP.EXE", PseudoRandomBytes(5000, 42)},
                               {"data.cab", PseudoRandomBytes(9000, 43)},
                               {"empty.txt", {}},
                               {"readme.txt", PseudoRandomBytes(300, 44)}},
                              folder_.path());
  }

  // Every package the reader accepts must keep the invariants the readers rely on.
  void CheckAcceptedOrRefused(const PackageDamage& damage) {
    const std::string path = folder_.Join("damaged.exe");
    WriteFileBytes(path, damage.bytes);
    PackageReader reader;
    if (reader.Open(path.c_str()) != 1) {
      ++refused_;
      return;
    }
    ++accepted_;
    const uint64_t length = damage.bytes.size();
    ASSERT_LE(DirectoryStartOf(reader) + 268ull * reader.count() + 20, length) << damage.what;
    ASSERT_LE(reader.moduleImageLength(), DirectoryStartOf(reader)) << damage.what;
    for (int i = 0; i < reader.count(); ++i) {
      const PackageDirEntry& entry = reader.entry(i);
      ASSERT_EQ(IsSafeMemberName(entry.name), 1) << damage.what;
      ASSERT_LE(static_cast<uint64_t>(entry.offset) + entry.size, DirectoryStartOf(reader)) << damage.what;
      const std::string out = folder_.Join("member.out");
      ASSERT_EQ(ExtractMemberTo(reader, i, out), 1) << damage.what;
      ASSERT_EQ(ReadFileBytes(out).size(), entry.size) << damage.what;
    }
  }

  TempFolder folder_;
  std::vector<char> valid_;
  int accepted_ = 0;
  int refused_ = 0;
};

TEST_F(Damaged, PackagesAreRefusedOrReadStrictlyWithinTheFile) {
  // Truncations, flipped bytes in the directory and the trailer, counts, offsets and sizes
  // at the 32-bit edges, names without terminator, empty or leading out of the folder, slack.
  const std::vector<PackageDamage> damages = DamagePackage(valid_, 4, 45);
  ASSERT_GT(damages.size(), 3000u);
  const DWORD started = GetTickCount();
  for (const PackageDamage& damage : damages) {
    CheckAcceptedOrRefused(damage);
    if (HasFatalFailure()) return;
  }
  EXPECT_LT(GetTickCount() - started, 60000u) << "the reader must not crawl over damaged input";
  // Both outcomes occur: the corpus is not all trivially refused nor all accepted.
  EXPECT_GT(refused_, 1000);
  EXPECT_GT(accepted_, 10);
  printf("damaged packages: %zu, accepted: %d, refused: %d\n", damages.size(), accepted_, refused_);
  RecordProperty("accepted", accepted_);
  RecordProperty("refused", refused_);
}

std::vector<std::string> WorkDirectories() {
  char temp[MAX_PATH] = {0};
  GetTempPathA(sizeof(temp), temp);
  std::vector<std::string> found;
  for (const std::string& name : ListFolder(temp)) {
    if (name.compare(0, 8, "KVLodkin") == 0) found.push_back(std::string(temp) + name);
  }
  return found;
}

// A few dozen damaged packages through the real program, "-e" and a plain run: each
// process ends by itself, and nothing appears outside the package's own folder but the
// work directories of the runs, which are removed afterwards.
TEST(DamagedThroughTheProgram, EveryRunEndsAndWritesOnlyWhereItMay) {
  TempFolder scratch;
  const std::vector<char> valid = WriteTestPackage(
      scratch.Join("valid.exe"), LodkinExePath(),
      {{"SETUP.EXE", ReadFileBytes(BuildBinFolder() + "\\stand_in_setup.exe")},
       {"data.cab", PseudoRandomBytes(7000, 51)}},
      scratch.path());
  const size_t directory = valid.size() - 20 - 2 * 268;
  std::vector<std::vector<char>> damaged;
  for (size_t cut : {1u, 19u, 20u, 21u, 300u, 536u, 557u, 6000u}) {
    damaged.push_back(std::vector<char>(valid.begin(), valid.end() - cut));
  }
  for (uint32_t value : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 3u, 0u}) {
    std::vector<char> bytes = valid;
    PutU32(bytes, bytes.size() - 4, value);
    damaged.push_back(bytes);
    for (size_t field : {directory + 260, directory + 264, directory + 268 + 260, directory + 268 + 264}) {
      bytes = valid;
      PutU32(bytes, field, value);
      damaged.push_back(bytes);
    }
  }
  for (const char* name : {"..\\..\\x.exe", "..", "a/b", "C:x"}) {
    std::vector<char> bytes = valid;
    PutEntryName(bytes, directory + 268, name);
    damaged.push_back(bytes);
  }
  std::vector<char> unterminated = valid;
  memset(&unterminated[directory], 'A', 260);
  damaged.push_back(unterminated);
  ASSERT_GE(damaged.size(), 30u);

  const std::vector<std::string> workBefore = WorkDirectories();
  WindowCloser closer;
  closer.Start();
  int index = 0;
  for (const std::vector<char>& bytes : damaged) {
    TempFolder folder;
    const std::string package = folder.Join("pkg.exe");
    WriteFileBytes(package, bytes);
    for (const char* arguments : {"-e", ""}) {
      ProcessResult result = RunProgram(package, arguments, 30000, BuildBinFolder());
      EXPECT_TRUE(result.started && result.finished) << "damage " << index << " '" << arguments << "'";
    }
    // Only the extraction folder may appear beside the package, and only what "-e" writes inside.
    for (const std::string& name : ListFolder(folder.path())) {
      if (name == "pkg.exe") continue;
      EXPECT_EQ(name, "pkg") << "damage " << index;
      for (const std::string& inside : ListFolder(folder.Join(name))) {
        EXPECT_TRUE(inside == "Lodkin.exe" || inside == "pkg") << "damage " << index << ": " << inside;
      }
    }
    ++index;
  }
  closer.Finish();
  EXPECT_FALSE(FileExists(scratch.Join("x.exe")));
  for (const std::string& work : WorkDirectories()) {
    if (std::find(workBefore.begin(), workBefore.end(), work) == workBefore.end()) RemoveTree(work);
  }
}

}  // namespace
