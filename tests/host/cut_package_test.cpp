// A package that lost its end (an interrupted download) or had bytes appended is told
// from the plain program by where the program's own image ends: PE32 and PE32+ images,
// with sections, COFF symbols and a signature, and the real Lodkin.exe cut at every kind
// of place, through the reader and through lodkin-cli verify and list.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "core/binary_file.h"
#include "core/package_reader.h"
#include "core/program_end.h"
#include "host/support/hand_package.h"
#include "host/support/tool_process.h"
#include "support/byte_poke.h"
#include "support/test_files.h"

namespace {

struct Section {
  uint32_t rawPointer;
  uint32_t rawSize;
};

// Headers at 0x40, `sections` after the optional header, the raw data as fixed-seed bytes.
std::vector<char> Image(bool plus, const std::vector<Section>& sections, size_t length) {
  std::vector<char> image = PseudoRandomBytes(length, 7);
  memset(&image[0], 0, 0x400);
  image[0] = 'M', image[1] = 'Z';
  PutU32(image, 0x3C, 0x40);
  memcpy(&image[0x40], "PE\0\0", 4);
  PutU16(image, 0x44, plus ? 0x8664 : 0x14C);
  PutU16(image, 0x46, static_cast<uint16_t>(sections.size()));
  const uint16_t optionalSize = plus ? 240 : 224;
  PutU16(image, 0x54, optionalSize);
  PutU16(image, 0x58, plus ? 0x20B : 0x10B);
  PutU32(image, 0x58 + 60, 0x400);                // SizeOfHeaders
  PutU32(image, 0x58 + (plus ? 108 : 92), 16);    // NumberOfRvaAndSizes
  for (size_t i = 0; i < sections.size(); ++i) {
    const size_t at = 0x58 + optionalSize + 40 * i;
    PutU32(image, at + 16, sections[i].rawSize);
    PutU32(image, at + 20, sections[i].rawPointer);
  }
  return image;
}

// A certificate table at the end, named by the security directory, as a signing tool
// leaves it.
void Sign(std::vector<char>& image, bool plus) {
  image.insert(image.end(), (8 - image.size() % 8) % 8, 0);
  const uint32_t tableOffset = static_cast<uint32_t>(image.size());
  std::vector<char> table = PseudoRandomBytes(24, 8);
  PutU32(table, 0, 24);
  image.insert(image.end(), table.begin(), table.end());
  const size_t directory = 0x58 + (plus ? 144 : 128);
  PutU32(image, directory, tableOffset);
  PutU32(image, directory + 4, 24);
}

std::vector<char> Appended(std::vector<char> bytes, size_t count) {
  bytes.insert(bytes.end(), count, 'x');
  return bytes;
}

TEST(ProgramEnd, AProgramEndsWithItsSectionsSymbolsOrSignature) {
  const std::vector<Section> two = {{0x400, 0x200}, {0x600, 0x200}};
  // A section without raw data (uninitialised data) says nothing of the file.
  const std::vector<Section> withBss = {{0x400, 0x400}, {0x7FFFF000, 0}};
  std::vector<char> symbols = Image(false, two, 0x800 + 2 * 18 + 12);
  PutU32(symbols, 0x4C, 0x800);  // PointerToSymbolTable
  PutU32(symbols, 0x50, 2);      // NumberOfSymbols
  PutU32(symbols, 0x800 + 36, 12);  // the string table's length, itself included
  std::vector<char> signed32 = Image(false, two, 0x800), signed64 = Image(true, two, 0x800);
  Sign(signed32, false);
  Sign(signed64, true);
  std::vector<char> tableOutside = Image(false, two, 0x800);
  PutU16(tableOutside, 0x46, 60000);

  const struct {
    const char* what;
    std::vector<char> bytes;
    int readable;
    uint64_t end;
    int past;
  } cases[] = {
      {"PE32 that ends with its last section", Image(false, two, 0x800), 1, 0x800, 0},
      {"PE32 with one byte more", Appended(Image(false, two, 0x800), 1), 1, 0x800, 1},
      {"PE32+ that ends with its last section", Image(true, two, 0x800), 1, 0x800, 0},
      {"PE32+ with 4096 bytes more", Appended(Image(true, two, 0x800), 4096), 1, 0x800, 1},
      {"a section without raw data", Image(false, withBss, 0x800), 1, 0x800, 0},
      {"COFF symbols and their strings", symbols, 1, symbols.size(), 0},
      {"signed PE32", signed32, 1, signed32.size(), 0},
      {"signed PE32+", signed64, 1, signed64.size(), 0},
      {"signed PE32 with bytes after its signature", Appended(signed32, 128), 1, 0x800, 1},
      {"signed PE32+ with bytes after its signature", Appended(signed64, 3), 1, 0x800, 1},
      {"a section table past the file", tableOutside, 0, 0, 0},
      {"no program at all", PseudoRandomBytes(5000, 9), 0, 0, 0},
  };
  TempFolder folder;
  for (const auto& one : cases) {
    const std::string path = folder.Join("image.exe");
    WriteFileBytes(path, one.bytes);
    BinaryFile file;
    ASSERT_EQ(file.OpenForReading(path.c_str()), 1);
    uint64_t end = 0;
    EXPECT_EQ(FindProgramImageEnd(file, one.bytes.size(), &end), one.readable) << one.what;
    if (one.readable) {
      EXPECT_EQ(end, one.end) << one.what;
    }
    EXPECT_EQ(GoesOnPastProgram(file), one.past) << one.what;
  }
}

class CutPackage : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string bin = WindowsBinFolder();
    if (bin.empty() || !PathExists(bin + "/Lodkin.exe")) GTEST_SKIP() << "no Lodkin.exe from the cross build";
    program_ = ReadFileBytes(bin + "/Lodkin.exe");
    members_ = {{"SETUP.EXE", PseudoRandomBytes(9000, 1)}, {"data.cab", PseudoRandomBytes(30000, 2)},
                {"readme.txt", PseudoRandomBytes(700, 3)}};
    package_ = LayOutPackage(program_, members_, true);
  }

  std::vector<char> program_;
  std::vector<HandMember> members_;
  std::vector<char> package_;
  TempFolder folder_;
};

// Twenty cuts past the program (in the first member, a later one, the directory, the
// trailer) and two runs of appended bytes: each a damaged package, never a plain program.
TEST_F(CutPackage, ACutOrAnAppendedPackageIsDamagedAndThePlainProgramIsNot) {
  const size_t m = program_.size();
  const size_t directory = package_.size() - 20 - 3 * 268;
  const size_t cuts[] = {m + 1,          m + 4096,       m + 8999,       m + 9000,       m + 9001,
                         m + 20000,      m + 38999,      m + 39000,      m + 39699,      directory,
                         directory + 1,  directory + 268, directory + 600, directory + 803, package_.size() - 20,
                         package_.size() - 19, package_.size() - 10, package_.size() - 4, package_.size() - 2,
                         package_.size() - 1};
  struct Case {
    std::string what;
    std::vector<char> bytes;
    PackageStatus status;
  };
  std::vector<Case> cases;
  for (size_t cut : cuts) {
    cases.push_back({"cut at " + std::to_string(cut), std::vector<char>(package_.begin(), package_.begin() + cut),
                     kPackageCutShort});
  }
  cases.push_back({"128 bytes appended", Appended(package_, 128), kPackageCutShort});
  cases.push_back({"4096 bytes appended", Appended(package_, 4096), kPackageCutShort});
  cases.push_back({"127 bytes appended", Appended(package_, 127), kPackageOk});
  cases.push_back({"the plain program", program_, kPackageNoTrailer});
  cases.push_back({"the plain program and one byte", Appended(program_, 1), kPackageCutShort});
  ASSERT_EQ(cases.size(), 25u);

  const std::string path = folder_.Join("pkg.exe");
  const std::string cutText = "no package trailer (the file goes on past the program: cut short or damaged?)";
  for (const Case& one : cases) {
    WriteFileBytes(path, one.bytes);
    PackageReader reader;
    reader.Open(path.c_str());
    EXPECT_EQ(reader.status(), one.status) << one.what;
    if (one.status == kPackageOk) continue;
    const std::string expected = one.status == kPackageCutShort ? cutText : "no package trailer";
    for (const char* command : {"verify", "list"}) {
      const RunResult run = RunCli({command, path});
      EXPECT_EQ(run.exitStatus, 1) << one.what << " " << command;
      EXPECT_EQ(run.err, "lodkin-cli: error: " + path + ": " + expected + "\n") << one.what << " " << command;
    }
  }
}

}  // namespace
