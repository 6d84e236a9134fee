// The "-d" mode against real folders in the prefix's temporary folder and the prefix's registry.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "package/clean_work_directory.h"
#include "support/test_files.h"
#include "support/test_process.h"

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string TempPath() {
  char buffer[MAX_PATH] = {0};
  GetTempPathA(sizeof(buffer), buffer);
  return buffer;
}

void SetRunValue() {
  HKEY key = NULL;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL),
            ERROR_SUCCESS);
  const char data[] = "C:\\x.exe -d KVLodkin0";
  ASSERT_EQ(RegSetValueExA(key, "KVLodkin", 0, REG_SZ, (const BYTE*)data, sizeof(data)), ERROR_SUCCESS);
  RegCloseKey(key);
}

bool RunValueExists() {
  HKEY key = NULL;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  bool exists = RegQueryValueExA(key, "KVLodkin", NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
  RegCloseKey(key);
  return exists;
}

int Clean(const std::string& line) {
  static StartOptions options;
  ParseCommandLine(line.c_str(), &options);
  DWORD exitCode = 0;
  return CleanWorkDirectory(options, &exitCode);
}

// A work directory with the given name in the temporary folder, holding two plain files.
void MakeWorkDirectory(const std::string& path) {
  RemoveTree(path);
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), NULL));
  WriteFileBytes(path + "\\a.bin", PseudoRandomBytes(5000, 1));
  WriteFileText(path + "\\SETUP.EXE", "x");
}

}  // namespace

TEST(CleanWorkDirectory, RemovesFilesDirectoryAndRunValue) {
  std::string target = TempPath() + "KVLodkin0004211";
  MakeWorkDirectory(target);
  SetRunValue();
  EXPECT_EQ(Clean("-d KVLodkin0004211"), 1);
  EXPECT_FALSE(DirectoryExists(target));
  EXPECT_FALSE(RunValueExists());
  // Again, with neither directory nor value: no harm, still done.
  EXPECT_EQ(Clean("-d KVLodkin0004211"), 1);
  EXPECT_FALSE(RunValueExists());
  EXPECT_EQ(Clean("-x KVLodkin0004211"), 0);
  EXPECT_EQ(Clean("-D KVLodkin0004211"), 0);
}

// The whole tree goes, at any depth; what cannot be deleted stays with the folders that
// hold it, and nothing beside them.
TEST(CleanWorkDirectory, RemovesTheTreeAndKeepsOnlyWhatCannotGoWithItsFolders) {
  std::string target = TempPath() + "KVLodkinRO";
  MakeWorkDirectory(target);
  for (const char* folder : {"\\a", "\\a\\b", "\\a\\b\\c", "\\a\\empty", "\\ro", "\\ro\\deep"}) {
    ASSERT_TRUE(CreateDirectoryA((target + folder).c_str(), NULL)) << folder;
  }
  WriteFileText(target + "\\a\\one.txt", "1");
  WriteFileText(target + "\\a\\b\\c\\three.txt", "3");
  WriteFileText(target + "\\ro\\gone.txt", "g");
  const std::string locked = target + "\\ro\\deep\\locked.txt";
  WriteFileText(locked, "keep");
  ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
  SetRunValue();
  EXPECT_EQ(Clean("-d KVLodkinRO"), 1);
  EXPECT_EQ(ListFolder(target), (std::vector<std::string>{"ro"}));
  EXPECT_EQ(ListFolder(target + "\\ro"), (std::vector<std::string>{"deep"}));
  EXPECT_TRUE(FileExists(locked));
  EXPECT_FALSE(RunValueExists());
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(Clean("-d KVLodkinRO"), 1);
  EXPECT_FALSE(DirectoryExists(target));
}

// The decision on each entry of a tree, on search records as the system fills them: links
// and junctions (reparse points, whatever else they are) are neither entered nor deleted.
TEST(CleanWorkDirectory, EntriesThatDeletionMayTouch) {
  struct Case {
    const char* name;
    DWORD attributes;
    int deletable;
  };
  const Case cases[] = {
      {"file.txt", FILE_ATTRIBUTE_ARCHIVE, 1},
      {"plain", FILE_ATTRIBUTE_NORMAL, 1},
      {"folder", FILE_ATTRIBUTE_DIRECTORY, 1},
      {"hidden folder", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, 1},
      {"read-only file", FILE_ATTRIBUTE_READONLY, 1},
      {"junction", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 0},
      {"folder link", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE, 0},
      {"file link", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, 0},
      {".", FILE_ATTRIBUTE_DIRECTORY, 0},
      {"..", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, 0},
  };
  for (const Case& c : cases) {
    WIN32_FIND_DATAA entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwFileAttributes = c.attributes;
    strcpy(entry.cFileName, c.name);
    EXPECT_EQ(IsDeletableEntry(entry), c.deletable) << c.name;
  }
}

TEST(CleanWorkDirectory, NameStartsAtTheFourthCharacter) {
  std::string plain = TempPath() + "name";
  MakeWorkDirectory(plain);
  EXPECT_EQ(Clean("-dXname"), 1);
  EXPECT_FALSE(DirectoryExists(plain));

  std::string blank = TempPath() + " name";
  MakeWorkDirectory(blank);
  MakeWorkDirectory(plain);
  EXPECT_EQ(Clean("-d  name"), 1);
  EXPECT_FALSE(DirectoryExists(blank));
  EXPECT_TRUE(DirectoryExists(plain)) << "the name begins with the second blank";

  SetRunValue();
  EXPECT_EQ(Clean("-d name -wait 3"), 1);
  EXPECT_TRUE(DirectoryExists(plain)) << "the whole rest of the line is the name";
  EXPECT_FALSE(RunValueExists());
  RemoveTree(plain);
}

TEST(CleanWorkDirectory, RefusedNamesDeleteNothingButStillTheRunValue) {
  // Sentinels where "..", "..\.." and similar would point from a folder inside the temporary folder.
  TempFolder outer;
  TempFolder inner(outer.path());
  WriteFileText(outer.Join("sentinel.txt"), "outer");
  WriteFileText(inner.Join("sentinel.txt"), "inner");
  std::string innerName = inner.path().substr(outer.path().size() + 1);
  std::string outerName = outer.path().substr(TempPath().size());
  std::string tempSentinel = TempPath() + "KVLodkinSentinel.txt";
  WriteFileText(tempSentinel, "temp");

  const std::string refused[] = {
      "-d ..", "-d .", "-d", "-dX", "-d ",
      "-d " + outerName + "\\" + innerName + "\\..",
      "-d " + outerName + "/" + innerName,
      "-d " + outerName + "\\..\\" + outerName,
      "-d " + TempPath().substr(0, TempPath().size() - 1),  // an absolute path with ':'
      "-d " + std::string(256, 'n'),
  };
  for (const std::string& line : refused) {
    SetRunValue();
    EXPECT_EQ(Clean(line), 1) << line;
    EXPECT_FALSE(RunValueExists()) << line;
    EXPECT_TRUE(FileExists(outer.Join("sentinel.txt"))) << line;
    EXPECT_TRUE(FileExists(inner.Join("sentinel.txt"))) << line;
    EXPECT_TRUE(FileExists(tempSentinel)) << line;
  }
  EXPECT_EQ(IsSafeWorkDirectoryName(std::string(255, 'n').c_str()), 1);
  EXPECT_EQ(IsSafeWorkDirectoryName(std::string(256, 'n').c_str()), 0);
  EXPECT_EQ(IsSafeWorkDirectoryName("a:b"), 0);
  EXPECT_EQ(IsSafeWorkDirectoryName("..."), 1);
  DeleteFileA(tempSentinel.c_str());
}

TEST(CleanWorkDirectory, RealProgramCleansAndEndsWithoutAWindow) {
  std::string target = TempPath() + "KVLodkinExe1";
  MakeWorkDirectory(target);
  SetRunValue();
  ProcessResult result = RunProgram(LodkinExePath(), "-d KVLodkinExe1", 20000);
  ASSERT_TRUE(result.started);
  EXPECT_TRUE(result.finished) << "a window would have kept it running";
  EXPECT_FALSE(DirectoryExists(target));
  EXPECT_FALSE(RunValueExists());
  RemoveTree(target);
}
