// The name rules of the package core as Windows judges names: parts split by characters
// of the package's code page, every reserved device name, names equal but for letter
// case, the lengths a path may reach, and which names need their code page recorded.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "core/member_name.h"
#include "core/name_clash.h"
#include "core/name_code_page.h"
#include "core/path_limits.h"
#include "support/byte_name_rules.h"

namespace {

void Field(const std::string& name, char (&field)[260]) {
  memset(field, 0, sizeof(field));
  memcpy(field, name.data(), name.size() < 259 ? name.size() : 259);
}

MemberNameProblem Check(const std::string& name, uint32_t codePage) {
  char field[260];
  Field(name, field);
  return codePage == 0 ? CheckMemberName(field) : CheckMemberName(field, MakeNameCodePage(codePage));
}

TEST(NameRules, EveryReservedDeviceNameIsRefusedWithAndWithoutAnExtension) {
  const struct {
    const char* stem;
    bool device;
  } cases[] = {
      {"COM0", true},      {"lpt0", true},      {"COM1", true},      {"Lpt9", true},
      {"COM\xB9", true},   {"COM\xB2", true},   {"com\xB3", true},   {"LPT\xB9", true},
      {"lpt\xB2", true},   {"LPT\xB3", true},   {"CON", true},       {"conout$", true},
      {"COM10", false},    {"COM", false},      {"LPT\xB4", false},  {"COMA", false},
      {"COM\xBC", false},  {"XCOM1", false},    {"LPT", false},      {"CONIN", false},
  };
  for (const auto& one : cases) {
    for (const char* tail : {"", ".txt", ".tar.gz", " .log"}) {
      const std::string name = std::string(one.stem) + tail;
      const MemberNameProblem expected = one.device ? kNameDevice : kNameSafe;
      EXPECT_EQ(Check(name, 0), expected) << name;
      EXPECT_EQ(Check("sub\\" + name, 1252), expected) << name << " below a folder";
    }
  }
}

// Japanese, Simplified and Traditional Chinese names whose second bytes are '\' or '|'.
TEST(NameRules, DoubleByteNamesAreSplitByCharactersOfTheirCodePage) {
  const struct {
    const char* what;
    std::string name;
    uint32_t codePage;
    MemberNameProblem problem;
    bool folder;
  } cases[] = {
      {"so.txt in 932", "\x83\x5C.txt", 932, kNameSafe, false},
      {"po.txt in 932 ('|' second)", "\x83\x7C.txt", 932, kNameSafe, false},
      {"a folder named so in 932", "\x83\x5C\\", 932, kNameSafe, true},
      {"so under hyo in 932", "\x95\x5C\\\x83\x5C", 932, kNameSafe, false},
      {"yi.txt in 936 ('|' second)", "\x83\x7C.txt", 936, kNameSafe, false},
      {"jo.dat in 936", "\x81\x5C.dat", 936, kNameSafe, false},
      {"gong\\xu.txt in 950", "\xA5\x5C\\\xB3\x5C.txt", 950, kNameSafe, false},
      {"a lead byte ends the name", "a\x83", 932, kNameSafe, false},
      {"'..' after a double-byte part", "\x83\x5C\\..", 932, kNameDotPart, false},
      {"a real '|' after a character", "\x83\x5C|", 932, kNameForbiddenCharacter, false},
      {"so.txt byte by byte: a folder and a file", "\x83\x5C.txt", 0, kNameSafe, false},
      {"po.txt byte by byte holds '|'", "\x83\x7C.txt", 0, kNameForbiddenCharacter, false},
      {"so byte by byte is a folder", "\x83\x5C", 0, kNameSafe, true},
      {"so in 1252, a single-byte code page", "\x83\x5C", 1252, kNameSafe, true},
  };
  for (const auto& one : cases) {
    EXPECT_EQ(Check(one.name, one.codePage), one.problem) << one.what;
    const NameCodePage codePage = one.codePage == 0 ? ByteNameCodePage() : MakeNameCodePage(one.codePage);
    EXPECT_EQ(IsFolderMemberName(one.name.c_str(), codePage), one.folder ? 1 : 0) << one.what;
  }
}

NameClash Clash(const std::vector<std::string>& names, uint32_t codePage, int32_t* entry) {
  std::vector<MemberNameRef> refs;
  for (size_t i = 0; i < names.size(); ++i) refs.push_back({names[i].c_str(), static_cast<int32_t>(i)});
  const NameCodePage page = codePage == 0 ? ByteNameCodePage() : MakeNameCodePage(codePage);
  return FindNameClash(refs.data(), static_cast<int>(refs.size()), page, entry);
}

TEST(NameRules, NamesEqualButForLetterCaseAreOneFile) {
  const struct {
    const char* what;
    std::vector<std::string> names;
    uint32_t codePage;
    NameClash clash;
    int32_t entry;
  } cases[] = {
      {"setup.exe and SETUP.EXE", {"setup.exe", "data.cab", "SETUP.EXE"}, 0, kNameClashEqualNames, 2},
      {"the same name twice", {"a.txt", "a.txt"}, 1252, kNameClashEqualNames, 1},
      {"two folders", {"Lib\\", "lib\\"}, 0, kNameClashEqualNames, 1},
      {"equal below a folder", {"x\\Read.me", "X\\READ.ME"}, 0, kNameClashEqualNames, 1},
      {"E acute in 1252", {"caf\xE9.txt", "CAF\xC9.TXT"}, 1252, kNameClashEqualNames, 1},
      {"s caron in 1252", {"\x9A.txt", "\x8A.txt"}, 1252, kNameClashEqualNames, 1},
      {"y diaeresis in 1252", {"\xFF", "\x9F"}, 1252, kNameClashEqualNames, 1},
      {"E acute outside 1252", {"caf\xE9", "caf\xC9"}, 949, kNoNameClash, -1},
      {"division and multiplication signs", {"\xF7", "\xD7"}, 1252, kNoNameClash, -1},
      {"a and ta in 932 differ in a second byte only", {"\x83\x41", "\x83\x61"}, 932, kNoNameClash, -1},
      {"two hangul in 949 likewise", {"\xB0\x41.txt", "\xB0\x61.txt"}, 949, kNoNameClash, -1},
      {"the same bytes folded byte by byte", {"\xB0\x41.txt", "\xB0\x61.txt"}, 0, kNameClashEqualNames, 1},
      {"a file beside a folder of its name", {"LIB", "lib\\x.dll"}, 0, kNameClashFileBesideFolder, 0},
      {"a file beside a folder entry", {"lib\\", "Lib"}, 0, kNameClashFileBesideFolder, 1},
      {"so is a file in 932, not a folder", {"\x83\x5C", "\x83\x5C\x83\x41"}, 932, kNoNameClash, -1},
      {"a folder and what it holds", {"lib\\", "LIB\\x.dll", "lib.txt"}, 0, kNoNameClash, -1},
  };
  for (const auto& one : cases) {
    int32_t entry = -1;
    EXPECT_EQ(Clash(one.names, one.codePage, &entry), one.clash) << one.what;
    if (one.clash != kNoNameClash) {
      EXPECT_EQ(entry, one.entry) << one.what;
    }
  }
}

TEST(NameRules, PathsPastTheSystemsLimitsAreFoundBeforeAnythingIsWritten) {
  const std::string work = "C:\\Temp\\KVLodkin0004211";  // 23 characters
  const struct {
    const char* what;
    std::string name;
    uint32_t codePage;
    size_t past;  // 0: fits
  } cases[] = {
      {"a file of 259", std::string(259 - 24, 'f'), 0, 0},
      {"a file of 260", std::string(260 - 24, 'f'), 0, 260},
      {"a folder of 247 and a file in it", std::string(247 - 24, 'd') + "\\x", 0, 0},
      {"a folder of 248", std::string(248 - 24, 'd') + "\\x", 0, 248},
      {"an empty folder of 248", std::string(248 - 24, 'd') + "\\", 0, 248},
      {"an empty folder of 247", std::string(247 - 24, 'd') + "\\", 0, 0},
      {"a deep file under short folders", "a\\b\\" + std::string(232, 'f'), 0, 260},
      {"so at 248 in 932 is no folder", std::string(247 - 24, 'n') + "\x83\x5C" + "abc", 932, 0},
      {"the same bytes byte by byte", std::string(247 - 24, 'n') + "\x83\x5C" + "abc", 0, 248},
      {"a name ending in so is a file", std::string(258 - 24, 'n') + "\x83\x5C", 932, 260},
  };
  for (const auto& one : cases) {
    const std::string path = work + "\\" + one.name;
    const NameCodePage codePage = one.codePage == 0 ? ByteNameCodePage() : MakeNameCodePage(one.codePage);
    EXPECT_EQ(PathPastLimit(path.c_str(), work.size(), '\\', codePage), one.past) << one.what;
  }
}

TEST(NameRules, OnlyNamesBeyondAsciiNeedTheirCodePageRecorded) {
  EXPECT_EQ(IsAsciiName("plain\\name.txt"), 1);
  EXPECT_EQ(IsAsciiName("caf\xE9"), 0);
}

}  // namespace
