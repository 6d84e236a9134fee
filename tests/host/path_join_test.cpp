// The one path join of the core: whole results or none, and the "-e" folder names.
#include <gtest/gtest.h>

#include "core/path_join.h"

namespace {

struct JoinCase {
  const char* folder;
  const char* name;
  size_t capacity;
  int fits;
  const char* expected;
  uint32_t codePage;  // 0: byte by byte
};

TEST(PathJoin, JoinsWholeOrRefuses) {
  const JoinCase cases[] = {
      {"C:\\Temp", "a.txt", 260, 1, "C:\\Temp\\a.txt", 0},
      {"C:\\Temp\\", "a.txt", 260, 1, "C:\\Temp\\a.txt", 0},  // GetTempPath's trailing separator
      {"", "a.txt", 260, 1, "a.txt", 0},
      {"C:\\T", "ab", 8, 1, "C:\\T\\ab", 0},      // 7 characters and the terminator: fits exactly
      {"C:\\T", "abc", 8, 0, "", 0},           // one more is refused, never cut
      {"C:\\T", "ab", 0, 0, nullptr, 0},          // no room at all: nothing written
      // A folder ending in a double-byte character whose second byte is that of '\'.
      {"C:\\\x95\x5C", "a.txt", 260, 1, "C:\\\x95\x5C\\a.txt", 932},
      {"C:\\\x95\x5C\\", "a.txt", 260, 1, "C:\\\x95\x5C\\a.txt", 932},
      {"C:\\\x95\x5C", "a.txt", 260, 1, "C:\\\x95\x5C" "a.txt", 0},  // byte by byte it ends with one
      {"C:\\\xB3\x5C", "*", 260, 1, "C:\\\xB3\x5C\\*", 950},
  };
  for (const JoinCase& c : cases) {
    char out[300];
    memset(out, 'x', sizeof(out));
    const NameCodePage codePage = c.codePage == 0 ? ByteNameCodePage() : MakeNameCodePage(c.codePage);
    EXPECT_EQ(c.fits, JoinPathIn(out, c.capacity, c.folder, c.name, codePage, '\\')) << c.folder << " + " << c.name;
    if (c.expected != nullptr) {
      EXPECT_STREQ(c.expected, out);
    } else {
      EXPECT_EQ('x', out[0]);
    }
  }
}

TEST(PathJoin, JoinsInPlaceAndConcatenates) {
  char path[32] = "/work/out";
  ASSERT_EQ(1, JoinPath(path, path, "member.bin", '/'));
  EXPECT_STREQ("/work/out/member.bin", path);
  ASSERT_EQ(1, ConcatPath(path, path, ".old"));
  EXPECT_STREQ("/work/out/member.bin.old", path);
  EXPECT_EQ(0, ConcatPath(path, path, "-longer-than-the-buffer"));
  EXPECT_STREQ("", path);
}

struct FolderCase {
  const char* package;
  int attempt;
  const char* expected;
};

TEST(PathJoin, ExtractionFolderNames) {
  const FolderCase cases[] = {
      {"C:\\dist\\KVPACK_app.exe", 0, "C:\\dist\\KVPACK_app"},
      {"C:\\dist\\KVPACK_app.exe", 1, "C:\\dist\\KVPACK_app(1)"},
      {"C:\\dist\\KVPACK_app.exe", 99, "C:\\dist\\KVPACK_app(99)"},
      {"C:\\dist\\app.v2.exe", 0, "C:\\dist\\app.v2"},      // the rightmost dot only
      {"C:\\my.dir\\package", 0, "C:\\my.dir\\package"},    // a dot in a folder stays
      {"C:\\my.dir\\package", 1, "C:\\my.dir\\package(1)"},
      {"C:\\dist\\.hidden", 0, "C:\\dist\\.hidden"},        // never the name's first character
  };
  for (const FolderCase& c : cases) {
    char out[260];
    ASSERT_EQ(1, ExtractionFolderPath(out, sizeof(out), c.package, c.attempt, '\\')) << c.package;
    EXPECT_STREQ(c.expected, out);
  }
  char small[11];  // "C:\\a\\pkg(1)" needs 12
  EXPECT_EQ(0, ExtractionFolderPath(small, sizeof(small), "C:\\a\\pkg.exe", 1, '\\'));
}

}  // namespace
