// The rule for member names read from a package, on names an attacker or a careless
// operator would put there: parts, paths and folder names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/member_name.h"
#include "support/byte_name_rules.h"

namespace {

int Check(const std::string& text) {
  char name[260] = {};
  memcpy(name, text.data(), text.size() < sizeof(name) ? text.size() : sizeof(name));
  return IsSafeMemberName(name);
}

TEST(MemberName, DeviceNamesForbiddenCharactersAndPathsAreRefused) {
  const struct {
    std::string name;
    int safe;
  } cases[] = {
      // Devices, in any case and with any extension.
      {"CON", 0}, {"prn", 0}, {"Aux", 0}, {"NUL", 0}, {"nul.txt", 0}, {"NUL.tar.gz", 0}, {"con .log", 0},
      {"COM1", 0}, {"com9.bin", 0}, {"LPT1", 0}, {"lpt9.txt", 0}, {"CONIN$", 0}, {"conout$.x", 0},
      {"COM0", 0}, {"lpt0.txt", 0}, {"COM\xB9", 0}, {"LPT\xB3.log", 0},
      // Near misses are plain names.
      {"COM10", 1}, {"LPT", 1}, {"console.txt", 1}, {"nul_", 1}, {"xnul.txt", 1}, {".nul", 1},
      {"PRN1", 1}, {"setup.exe", 1}, {"my tool.exe", 1}, {"a.b.c", 1},
      // Windows drops a closing dot or blank: the file would get another name.
      {"...", 0}, {"readme.", 0}, {"name ", 0},
      // Characters Windows does not allow.
      {"a<b", 0}, {"a>b", 0}, {"say\"hi\"", 0}, {"a|b", 0}, {"why?", 0}, {"*.txt", 0},
      {std::string("tab\tname"), 0}, {std::string("\x01"), 0}, {std::string("x\x1f"), 0},
      // Relative paths with '\\' between safe parts, and a closing '\\' for a folder.
      {"lang\\ko\\strings.dll", 1}, {"empty\\", 1}, {"a\\b\\", 1},
      // Paths that leave the folder or name a drive, a stream or an empty part.
      {"", 0}, {".", 0}, {"..", 0}, {"..\\x", 0}, {"a\\..\\x", 0}, {"\\x", 0}, {"\\", 0}, {"a\\\\b", 0},
      {"a/b", 0}, {"C:x", 0}, {"x:stream", 0}, {"dir.\\x", 0}, {"a\\con\\x", 0}, {"a\\b?", 0},
      // Bytes of other code pages stay allowed.
      {"\xc1\xa4\xba\xb8.txt", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(Check(c.name), c.safe) << "'" << c.name << "'";

  char unterminated[260];
  memset(unterminated, 'A', sizeof(unterminated));
  EXPECT_EQ(IsSafeMemberName(unterminated), 0);
  unterminated[259] = 0;
  EXPECT_EQ(IsSafeMemberName(unterminated), 1);
}

}  // namespace
