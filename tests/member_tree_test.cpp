// The members of a package written below a folder that a run made: everything made
// fresh (something of a member's name that the tree did not make is a failure and is
// never followed), folders that a later member comes back to, and every folder and file
// held until the tree lets go. (Names equal but for letter case never get this far: the
// reader refuses such a package.)
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "core/member_name.h"
#include "core/package_reader.h"
#include "package/held_directory.h"
#include "package/member_tree.h"
#include "support/byte_name_rules.h"
#include "support/host_system.h"
#include "support/test_files.h"
#include "support/test_package.h"

namespace {

std::vector<char> Bytes(const std::string& text) { return std::vector<char>(text.begin(), text.end()); }

// Writes every member as a run does; returns the index of the first that failed (-1
// when none did) and its error in *error.
int WriteAll(PackageReader& reader, MemberTree& tree, const std::string& root, DWORD* error) {
  CopyBuffer buffer;
  for (int i = 0; i < reader.count(); ++i) {
    const std::string path = root + "\\" + reader.entry(i).name;
    if (!tree.MakeFoldersFor(i, path.c_str(), error)) return i;
    if (IsFolderMemberName(reader.entry(i).name)) continue;
    BinaryFile file;
    if (!tree.CreateMemberFile(i, path.c_str(), file, error)) return i;
    if (reader.CopyMember(i, file, buffer) != kMemberIntact || !file.Close() ||
        !tree.HoldMemberFile(i, path.c_str(), error)) {
      return i;
    }
  }
  return -1;
}

class MemberTreeTest : public ::testing::Test {
 protected:
  void Open(const std::vector<std::string>& names) {
    std::vector<TestMember> members;
    for (const std::string& name : names) members.push_back({name, Bytes(IsFolderMemberName(name.c_str()) ? "" : name)});
    WriteTestPackage(folder_.Join("p.exe"), LodkinExePath(), members, scratch_.path());
    ASSERT_EQ(reader_.Open(folder_.Join("p.exe").c_str()), 1);
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
  }

  TempFolder folder_;
  TempFolder scratch_;
  TempFolder outside_;  // someone else's folder, where nothing of the tree may go
  const std::string root_ = folder_.Join("root");
  PackageReader reader_;
};

TEST_F(MemberTreeTest, AnythingThereBeforeTheTreeIsAFailureNeverFollowed) {
  struct Case {
    const char* what;
    std::function<void(const std::string& root, const std::string& outside)> plant;
    int failing;  // index of the member that must fail, -1 for none
  };
  const std::vector<std::string> names = {"a.txt", "app\\x.dll", "b.txt", "app\\sub\\y.dll", "app\\z.dll",
                                          "empty\\"};
  const Case cases[] = {
      {"nothing planted", [](const std::string&, const std::string&) {}, -1},
      {"a planted file", [](const std::string& root, const std::string&) { WriteFileText(root + "\\a.txt", "x"); }, 0},
      {"a planted folder",
       [](const std::string& root, const std::string&) { CreateDirectoryA((root + "\\app").c_str(), nullptr); }, 1},
      {"a planted link to a folder",
       [](const std::string& root, const std::string& outside) { ASSERT_TRUE(MakeHostSymlink(outside, root + "\\app")); },
       1},
      {"a planted link to a file",
       [](const std::string& root, const std::string& outside) {
         // A link to a file that is not there yet: following it would create the file.
         RunHostProgram("/bin/ln", "-s \"" + UnixPathOf(outside) + "/b.txt\" \"" + UnixPathOf(root) + "/b.txt\"");
         WaitUntil([&] { return ListFolder(root).size() == 1; });
       },
       2},
      {"a planted empty folder", [](const std::string& root, const std::string&) {
         CreateDirectoryA((root + "\\empty").c_str(), nullptr);
       }, 5},
  };
  Open(names);
  for (const Case& c : cases) {
    RemoveTree(root_);
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr)) << c.what;
    c.plant(root_, outside_.path());
    MemberTree tree;
    ASSERT_EQ(tree.Start(reader_, root_.c_str()), 1);
    DWORD error = 0;
    EXPECT_EQ(WriteAll(reader_, tree, root_, &error), c.failing) << c.what;
    if (c.failing >= 0) EXPECT_EQ(error, static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << c.what;
    EXPECT_TRUE(ListFolder(outside_.path()).empty()) << c.what << ": nothing written through a link";
    tree.ReleaseAll();
    RemoveWithoutFollowing(root_);
  }
}

TEST_F(MemberTreeTest, AFolderMayBeRevisitedByALaterMember) {
  Open({"a.txt", "app\\x.dll", "b.txt", "app\\y.dll"});
  MemberTree tree;
  ASSERT_EQ(tree.Start(reader_, root_.c_str()), 1);
  DWORD error = 0;
  ASSERT_EQ(WriteAll(reader_, tree, root_, &error), -1) << error;
  tree.ReleaseAll();
  EXPECT_EQ(ListFolder(root_), (std::vector<std::string>{"a.txt", "app", "b.txt"}));
  EXPECT_EQ(ReadFileBytes(root_ + "\\app\\x.dll"), Bytes("app\\x.dll"));
  EXPECT_EQ(ReadFileBytes(root_ + "\\app\\y.dll"), Bytes("app\\y.dll"));
}

class ListRecorder : public DeletionRecorder {
 public:
  int Record(const char* path) override {
    paths.push_back(path);
    return 1;
  }
  std::vector<std::string> paths;
};

// The restart records name what the tree made, files before folders, deeper folders
// first, the root last; a file put there by someone else is not among them.
TEST_F(MemberTreeTest, OnlyWhatTheTreeMadeIsRecordedForDeletionEachFolderAfterWhatItHolds) {
  Open({"a.txt", "app\\x.dll", "app\\sub\\y.dll", "empty\\"});
  MemberTree tree;
  ASSERT_EQ(tree.Start(reader_, root_.c_str()), 1);
  DWORD error = 0;
  ASSERT_EQ(WriteAll(reader_, tree, root_, &error), -1) << error;
  WriteFileText(root_ + "\\planted.txt", "not the run's");
  ListRecorder recorder;
  ASSERT_EQ(tree.ForEach(recorder), 1);
  const std::vector<std::string> expected = {root_ + "\\a.txt",     root_ + "\\app\\x.dll",
                                             root_ + "\\app\\sub\\y.dll", root_ + "\\empty",
                                             root_ + "\\app\\sub",   root_ + "\\app",
                                             root_};
  EXPECT_EQ(recorder.paths, expected);
}

// While held, a file can be read (a program started from it) but neither written,
// replaced nor deleted, and a folder can be neither renamed nor removed; all of it can
// once the tree has let go.
TEST_F(MemberTreeTest, HeldFilesAndFoldersCanBeNeitherReplacedNorRemovedUntilReleased) {
  Open({"app\\setup.exe"});
  const std::string file = root_ + "\\app\\setup.exe";
  const std::string folder = root_ + "\\app";
  struct Attempt {
    const char* what;
    std::function<bool()> succeeds;
    std::function<void()> undo;
  };
  auto opens = [&](DWORD access) {
    HANDLE h = CreateFileA(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return h != INVALID_HANDLE_VALUE;
  };
  const Attempt attempts[] = {
      {"read the file", [&] { return opens(GENERIC_READ); }, [] {}},
      {"write the file", [&] { return opens(GENERIC_WRITE); }, [] {}},
      {"replace the file",
       [&] {
         WriteFileText(folder_.Join("other"), "other");
         return MoveFileExA(folder_.Join("other").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
       },
       [] {}},
      {"delete the file", [&] { return DeleteFileA(file.c_str()) != 0; }, [&] { WriteFileText(file, "x"); }},
      {"rename the folder", [&] { return MoveFileA(folder.c_str(), (folder + "2").c_str()) != 0; },
       [&] { MoveFileA((folder + "2").c_str(), folder.c_str()); }},
  };
  const bool whileHeld[] = {true, false, false, false, false};
  MemberTree tree;
  ASSERT_EQ(tree.Start(reader_, root_.c_str()), 1);
  DWORD error = 0;
  ASSERT_EQ(WriteAll(reader_, tree, root_, &error), -1) << error;
  for (size_t i = 0; i < sizeof(whileHeld); ++i) {
    const bool done = attempts[i].succeeds();
    EXPECT_EQ(done, whileHeld[i]) << attempts[i].what << " while held";
    if (done) attempts[i].undo();
  }
  tree.ReleaseAll();
  for (const Attempt& attempt : attempts) {
    EXPECT_TRUE(attempt.succeeds()) << attempt.what << " once released";
    attempt.undo();
  }
}

// The one call that creates a folder with the run's access list: fresh or not at all.
TEST(HeldDirectory, CreatesOnlyWhatIsNotThereAndHoldsIt) {
  TempFolder folder;
  TempFolder outside;
  WriteFileText(folder.Join("file"), "x");
  CreateDirectoryA(folder.Join("folder").c_str(), nullptr);
  ASSERT_TRUE(MakeHostSymlink(outside.path(), folder.Join("link")));
  struct Case {
    const char* name;
    DWORD error;
  };
  const Case cases[] = {{"new", 0}, {"file", ERROR_ALREADY_EXISTS}, {"folder", ERROR_ALREADY_EXISTS},
                        {"link", ERROR_ALREADY_EXISTS}, {"missing\\new", ERROR_PATH_NOT_FOUND}};
  for (const Case& c : cases) {
    UniqueHandle held;
    EXPECT_EQ(CreateHeldDirectory(folder.Join(c.name).c_str(), nullptr, &held), c.error) << c.name;
    EXPECT_EQ(held.valid(), c.error == 0) << c.name;
    if (held.valid()) {
      EXPECT_TRUE(DirectoryExists(folder.Join(c.name))) << c.name;
      EXPECT_FALSE(MoveFileA(folder.Join(c.name).c_str(), folder.Join("moved").c_str())) << c.name;
    }
  }
  EXPECT_TRUE(ListFolder(outside.path()).empty());
  RemoveWithoutFollowing(folder.Join("link"));
}

}  // namespace
