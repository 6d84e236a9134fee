// How pack --compress divides its files into groups: the number of groups, where the
// cuts fall, stored files, and the dictionaries, on lists of sizes and names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/group_plan.h"

namespace {

const uint64_t kKiB = 1024;

struct File {
  std::string name;
  uint64_t size;
  int stored;
};

// The groups as "first+count" for compressed ones and "first*" for stored ones, e.g. "0+3 3* 4+2".
std::string Plan(const std::vector<File>& files, const GroupRule& rule) {
  std::vector<PlannedFile> planned;
  for (const File& file : files) planned.push_back({file.size, file.stored, file.name.c_str()});
  std::vector<MemberGroup> groups(files.size() + 1);
  const int count = PlanGroups(planned.data(), static_cast<int>(planned.size()), rule, groups.data());
  std::string text;
  int next = 0;
  for (int k = 0; k < count; ++k) {
    const MemberGroup& group = groups[k];
    EXPECT_EQ(group.firstRow, next) << "the groups leave out or repeat a file";
    EXPECT_GE(group.rowCount, 1);
    if (group.stored) {
      EXPECT_EQ(group.rowCount, 1);
    } else {
      EXPECT_FALSE(files[group.firstRow].stored) << "a group starts with a stored file";
    }
    next = group.firstRow + group.rowCount;
    text += (k > 0 ? " " : "") + std::to_string(group.firstRow) +
            (group.stored ? "*" : "+" + std::to_string(group.rowCount));
  }
  EXPECT_EQ(next, static_cast<int>(files.size())) << "not every file is in a group";
  return text;
}

// Families of near-identical files, as in an installation of a library's versions.
std::vector<File> Family(const std::string& stem, int count, uint64_t size) {
  std::vector<File> files;
  for (int k = 0; k < count; ++k) files.push_back({stem + std::to_string(10 + k) + ".dll", size, 0});
  return files;
}

std::vector<File> Join(std::vector<std::vector<File>> parts) {
  std::vector<File> all;
  for (const std::vector<File>& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(GroupPlan, GroupsAndCutsFollowTheSizesAndTheNames) {
  const GroupRule rule = {100 * kKiB, 40 * kKiB};
  struct Case {
    const char* what;
    std::vector<File> files;
    const char* groups;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, ""},
      {"small enough for one group, empty files too", Join({{{"setup.exe", 0, 0}}, Family("a", 3, 10 * kKiB),
                                                            {{"b.txt", 0, 0}}}), "0+5"},
      {"one file past the split size stays one group", {{"big.dll", 90 * kKiB, 0}}, "0+1"},
      {"past the split size: two groups, the first of equal cuts", Join({Family("x", 5, 10 * kKiB)}), "0+2 2+3"},
      {"the cut goes between families, off the exact middle",
       Join({Family("lib_", 3, 10 * kKiB), Family("other", 5, 10 * kKiB)}), "0+3 3+5"},
      {"names compared without case",
       Join({Family("LIB_", 3, 10 * kKiB), Family("lib_", 2, 10 * kKiB), Family("m", 3, 10 * kKiB)}),
       "0+5 5+3"},
      {"a family farther than a quarter share away is cut at the middle",
       Join({{{"a", 30 * kKiB, 0}}, Family("fam", 7, 10 * kKiB)}), "0+3 3+5"},
      {"no boundary near the middle: the nearest one",
       {{"a", 5 * kKiB, 0}, {"b", 80 * kKiB, 0}, {"c", 10 * kKiB, 0}}, "0+2 2+1"},
      {"ceil(total / share) groups", Family("p", 8, 45 * kKiB), "0+2 2+2 4+2 6+2"},
      {"never more groups than files", {{"a", 300 * kKiB, 0}, {"b", 300 * kKiB, 0}}, "0+1 1+1"},
      {"stored files ride in the group around them and count nothing towards its share",
       Join({Family("q", 2, 10 * kKiB), {{"n.cab", 500 * kKiB, 1}}, {{"r", 5 * kKiB, 0}},
             {{"m.msi", 1, 1}, {"z.zip", 1, 1}}, Family("s", 6, 10 * kKiB)}),
       "0+8 8+4"},
      {"stored files after the last compressed one end its group",
       Join({Family("q", 2, 10 * kKiB), {{"n.cab", 500 * kKiB, 1}, {"o.cab", 9, 1}}}), "0+4"},
      {"stored files before the first compressed one stand alone",
       Join({{{"n.cab", 500 * kKiB, 1}, {"o.cab", 9, 1}}, Family("q", 2, 10 * kKiB)}), "0* 1* 2+2"},
      {"a cut between groups lands before a compressed file, stored ones staying behind",
       Join({Family("x", 2, 25 * kKiB), {{"n.cab", 50 * kKiB, 1}}, Family("y", 2, 25 * kKiB)}), "0+3 3+2"},
      {"only stored files", {{"a.cab", 200 * kKiB, 1}, {"b.cab", 0, 1}}, "0* 1*"},
  };
  for (const Case& c : cases) EXPECT_EQ(Plan(c.files, rule), c.groups) << c.what;
}

TEST(GroupPlan, DictionariesFollowTheGroupWithinLzmaAndTheEncodersMemory) {
  EXPECT_EQ(GroupDictionary(0), 4096u);
  EXPECT_EQ(GroupDictionary(4095), 4096u);
  EXPECT_EQ(GroupDictionary(5000000), 5000000u);
  EXPECT_EQ(GroupDictionary(32u << 20), 32u << 20);
  EXPECT_EQ(GroupDictionary((32u << 20) + 1), 32u << 20);
  EXPECT_EQ(GroupDictionary(64u << 20), 32u << 20);
  EXPECT_EQ(GroupDictionary(3ull << 30), 32u << 20);
}

}  // namespace
