// The group decoder as built into the Windows programs (i686, under Wine) against liblzma.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/support/lzma_reference.h"
#include "host/support/tool_process.h"
#include "support/test_files.h"

namespace {

TEST(GroupDecoderUnderWine, DecodesWhatLiblzmaEncodesAndRefusesDamage) {
  const std::string bin = WindowsBinFolder();
  if (bin.empty()) GTEST_SKIP() << "the host build was configured without LODKIN_OUTPUT_DIR (the cross build's bin)";
  TempFolder folder;
  GroupOptions code, filtered, text;
  code.endMarker = true, code.dictionary = 1u << 20;
  filtered = code;
  filtered.x86 = true;
  text.endMarker = false, text.dictionary = 4096, text.lc = 0, text.lp = 2, text.pb = 1;
  std::vector<uint8_t> codeBytes = X86CodeBytes(3000000);
  std::vector<uint8_t> damaged = EncodeGroup(codeBytes, code);
  damaged.resize(damaged.size() - 3);
  struct Case {
    const char* name;
    std::vector<uint8_t> original;
    std::vector<uint8_t> group;
    int status;
  };
  const Case cases[] = {
      {"x86 code", codeBytes, EncodeGroup(codeBytes, code), kGroupDecodeOk},
      {"x86 code through the branch filter", codeBytes, EncodeGroup(codeBytes, filtered), kGroupDecodeDamaged},
      {"text, small dictionary, no marker", TextBytes(500000, 40), EncodeGroup(TextBytes(500000, 40), text),
       kGroupDecodeOk},
      {"empty", {}, EncodeGroup({}, code), kGroupDecodeOk},
      {"empty through the branch filter", {}, EncodeGroup({}, filtered), kGroupDecodeDamaged},
      {"cut short", codeBytes, damaged, kGroupDecodeDamaged},
  };
  for (const Case& c : cases) {
    const std::string group = folder.Join("group"), out = folder.Join("out");
    WriteFileBytes(group, std::vector<char>(c.group.begin(), c.group.end()));
    const RunResult run = RunUnderWine(bin + "/group_decode.exe",
                                       {WinePath(group), std::to_string(c.original.size()), WinePath(out)});
    ASSERT_TRUE(run.finished) << c.name;
    EXPECT_EQ(run.exitStatus, c.status) << c.name << ": " << run.out << run.err;
    if (c.status == kGroupDecodeOk) {
      const std::vector<char> bytes = ReadFileBytes(out);
      EXPECT_TRUE(std::vector<uint8_t>(bytes.begin(), bytes.end()) == c.original) << c.name;
    }
    printf("%s: %s", c.name, run.out.c_str());
  }
}

}  // namespace
