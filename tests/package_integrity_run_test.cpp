// Damaged packages through the real program: a checksummed package whose member bytes
// changed starts nothing, says which member is damaged and leaves nothing behind; a
// package without checksums runs as it always did.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/run_support.h"
#include "support/test_process.h"
#include "support/window_closer.h"

namespace {

struct Outcome {
  DWORD exitCode;
  std::vector<std::string> boxes;
  size_t starts;  // records of the stand-in setup program
  size_t workDirectories;
};

Outcome RunPackageFile(RunScene& scene, const std::string& package, const std::vector<char>& bytes,
            const char* arguments = "") {
  WriteFileBytes(package, bytes);
  const size_t startsBefore = scene.Records().size();
  const size_t workBefore = scene.NewTempWorkDirectories().size();
  std::vector<std::string> boxes;
  const ProcessResult result = RunClosingWindows(package, arguments, 30000, BuildBinFolder(), &boxes);
  EXPECT_TRUE(result.finished) << package;
  return {result.exitCode, boxes, scene.Records().size() - startsBefore,
          scene.NewTempWorkDirectories().size() - workBefore};
}

class IntegrityRun : public ::testing::Test {
 protected:
  void SetUp() override {
    members_ = {{"SETUP.EXE", StandInBytes()},
                {"data.cab", PseudoRandomBytes(300000, 1)},
                {std::string(200, 'n') + ".txt", PseudoRandomBytes(999, 2)}};
    package_ = scene_.Package("pkg.exe", members_);
    valid_ = ReadFileBytes(package_);
    size_t offset = ReadFileBytes(LodkinExePath()).size();
    for (const TestMember& member : members_) {
      offsets_.push_back(offset);
      offset += member.bytes.size();
    }
  }

  RunScene scene_;
  std::vector<TestMember> members_;
  std::string package_;
  std::vector<char> valid_;
  std::vector<size_t> offsets_;
};

TEST_F(IntegrityRun, AByteFlippedInAnyMemberStopsTheRunBeforeAnythingStarts) {
  const Outcome clean = RunPackageFile(scene_, package_, valid_);
  EXPECT_EQ(clean.exitCode, 0u);
  EXPECT_EQ(clean.starts, 1u);
  EXPECT_TRUE(clean.boxes.empty());
  for (size_t m = 0; m < members_.size(); ++m) {
    for (size_t at : {size_t(0), members_[m].bytes.size() - 1}) {
      std::vector<char> damaged = valid_;
      damaged[offsets_[m] + at] ^= 0x40;
      const Outcome run = RunPackageFile(scene_, package_, damaged);
      EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_FILE_CORRUPT)) << members_[m].name;
      EXPECT_EQ(run.starts, 0u) << members_[m].name;
      EXPECT_EQ(run.workDirectories, 0u) << members_[m].name << ": the work directory is removed";
      EXPECT_EQ(run.boxes, std::vector<std::string>{"Error: [" + members_[m].name + "] is damaged."});
    }
  }
}

TEST_F(IntegrityRun, ExtractRemovesWhatItWroteWhenAMemberOrTheProgramIsDamaged) {
  const std::string folder = scene_.folder().Join("pkg");
  struct Case {
    const char* what;
    size_t at;
  };
  const Case cases[] = {{"data.cab", offsets_[1] + 5}, {"the program part", 600}};
  for (const Case& c : cases) {
    std::vector<char> damaged = valid_;
    damaged[c.at] ^= 0x01;
    const Outcome run = RunPackageFile(scene_, package_, damaged, "-e");
    EXPECT_EQ(run.exitCode, 1u) << c.what;
    EXPECT_FALSE(DirectoryExists(folder)) << c.what;
  }
  EXPECT_EQ(RunPackageFile(scene_, package_, valid_, "-e").exitCode, 0u);
  EXPECT_EQ(ReadFileBytes(folder + "\\pkg\\data.cab"), members_[1].bytes);
}

// Leftover bytes of an older writer behind the names (noise, and a stray tag) are no
// checksums: that package runs, and damage in it goes unseen as it always did.
TEST_F(IntegrityRun, APackageWithoutChecksumsRunsAsBefore) {
  std::vector<char> old = valid_;
  const size_t directory = old.size() - 20 - 268 * members_.size();
  const std::vector<char> noise = PseudoRandomBytes(268 * members_.size(), 3);
  for (size_t m = 0; m < members_.size(); ++m) {
    char* name = &old[directory + 268 * m];
    const size_t used = strlen(name) + 1;
    memcpy(name + used, &noise[268 * m], 260 - used);
    memcpy(name + 244, "KVC1", 4);
  }
  old[offsets_[1] + 7] ^= 0x01;
  const Outcome run = RunPackageFile(scene_, package_, old);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.starts, 1u);
  EXPECT_TRUE(run.boxes.empty());
}

}  // namespace
