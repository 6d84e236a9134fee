// pack's branding options on the native tool: every refusal as one table (exit 1, the
// reason, nothing written), and the resource rewrite that gives back the program byte for
// byte when it is given the program's own icon. Windows' own reading of a branded package,
// and the same inputs making the same bytes with either tool, are tests/branded_package_test.py.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "host/support/cli_fixture.h"

namespace {

const std::string kOwnIcon = std::string(LODKIN_SOURCE_DIR) + "/res/lodkin.ico";

void Put32(std::vector<char>& bytes, size_t at, uint32_t value) { memcpy(&bytes[at], &value, 4); }

// An icon file of one 32-bit bitmap image of `size` pixels whose entry says `entryWidth`.
std::vector<char> IconFile(uint8_t size, uint8_t entryWidth, uint16_t entryBits = 32) {
  const size_t imageBytes = 40 + 4u * size * size + ((size + 31) / 32 * 4) * size;
  std::vector<char> bytes(6 + 16 + imageBytes, 0);
  bytes[2] = 1;
  bytes[4] = 1;
  bytes[6] = static_cast<char>(entryWidth);
  bytes[7] = static_cast<char>(size);
  bytes[10] = 1;
  bytes[12] = static_cast<char>(entryBits);
  Put32(bytes, 14, static_cast<uint32_t>(imageBytes));
  Put32(bytes, 18, 22);
  Put32(bytes, 22, 40);
  Put32(bytes, 26, size);
  Put32(bytes, 30, 2u * size);
  bytes[34] = 1;
  bytes[36] = 32;
  return bytes;
}

class PackBrand : public CliFixture {
 protected:
  void SetUp() override {
    if (WindowsBinFolder().empty()) GTEST_SKIP() << "needs the cross build's Lodkin.exe";
    program_ = ReadFileBytes(WindowsBinFolder() + "/Lodkin.exe");
    MakeFolder(root_.Join("app"));
    WriteFileText(root_.Join("app/setup.exe"), "setup");
    WriteFileBytes(root_.Join("app/data.bin"), PseudoRandomBytes(70000, 39));
    cliEnvironment_.push_back({"LC_ALL", "C.UTF-8"});
  }

  std::vector<char> program_;
};

TEST_F(PackBrand, RefusalsSayWhyAndWriteNothing) {
  std::vector<char> wrongType = IconFile(16, 16);
  wrongType[2] = 2;  // a cursor file
  std::vector<char> noImage = IconFile(16, 16);
  noImage[4] = 0;
  std::vector<char> cut = IconFile(16, 16);
  cut.resize(cut.size() - 1);
  std::vector<char> noResources = program_;
  const uint32_t peAt = *reinterpret_cast<const uint32_t*>(&program_[0x3C]);
  Put32(noResources, peAt + 24 + 96 + 8 * 2, 0);  // the resource directory's address
  // A resource tree whose root claims 0xFFFF entries, far past the section's end.
  std::vector<char> badTree = program_;
  const uint32_t resourceRva = *reinterpret_cast<const uint32_t*>(&program_[peAt + 24 + 96 + 16]);
  const size_t sectionTable = peAt + 24 + *reinterpret_cast<const uint16_t*>(&program_[peAt + 20]);
  for (size_t header = sectionTable; header < sectionTable + 40 * program_[peAt + 6]; header += 40) {
    if (*reinterpret_cast<const uint32_t*>(&program_[header + 12]) != resourceRva) continue;
    const uint32_t rawAt = *reinterpret_cast<const uint32_t*>(&program_[header + 20]);
    badTree[rawAt + 14] = badTree[rawAt + 15] = '\xFF';
  }
  std::vector<char> package = program_;
  package.insert(package.end(), 200, 'x');
  const struct {
    std::string name;
    std::vector<char> bytes;
  } files[] = {{"wrong-type.ico", wrongType}, {"no-image.ico", noImage}, {"cut.ico", cut},
               {"wide.ico", IconFile(16, 32)}, {"deep.ico", IconFile(16, 16, 8)},
               {"no-resources.exe", noResources}, {"bad-tree.exe", badTree}, {"package.exe", package}, {"text.exe", {'M', 'Z', 'x'}}};
  for (const auto& file : files) WriteFileBytes(root_.Join(file.name), file.bytes);
  const std::string longText(256, 'x'), longest(255, 'x');
  const struct {
    std::vector<std::string> options;
    std::string message;
  } refusals[] = {
      {{"--icon", "wrong-type.ico"}, "\"wrong-type.ico\" is not an icon file (.ico): its header is not an icon file's"},
      {{"--icon", "no-image.ico"}, "the icon file \"no-image.ico\" holds no image"},
      {{"--icon", "cut.ico"}, "image 1 of the icon file \"cut.ico\" reaches past the file's end"},
      {{"--icon", "wide.ico"}, "image 1 of the icon file \"wide.ico\" is not what its directory entry says (size or colours)"},
      {{"--icon", "deep.ico"}, "image 1 of the icon file \"deep.ico\" is not what its directory entry says (size or colours)"},
      {{"--icon", "gone.ico"}, "cannot read the icon file \"gone.ico\" (up to 64 MiB)"},
      {{"--description", longText}, "--description is 256 characters long: at most 255 are stored"},
      {{"--copyright", "\xC3(C)"}, "--copyright is not valid text in the tool's encoding (UTF-8)"},
      {{"--version", "1.2.3"}, "--version \"1.2.3\" is not four numbers from 0 to 65535 (A.B.C.D)"},
      {{"--version", "1.2.3.65536"}, "--version \"1.2.3.65536\" is not four numbers from 0 to 65535 (A.B.C.D)"},
      {{"--version", "1.2.3.4.5"}, "--version \"1.2.3.4.5\" is not four numbers from 0 to 65535 (A.B.C.D)"},
      {{"--version", "1.-2.3.4"}, "--version \"1.-2.3.4\" is not four numbers from 0 to 65535 (A.B.C.D)"},
      {{"--stub", "no-resources.exe", "--version", "1.2.3.4"}, "\"no-resources.exe\" has no resource section that can be read"},
      {{"--stub", "bad-tree.exe", "--icon", "wide.ico"}, "image 1 of the icon file \"wide.ico\" is not what its directory entry says (size or colours)"},
      {{"--stub", "bad-tree.exe", "--company", "x"}, "\"bad-tree.exe\" has no resource section that can be read"},
      {{"--stub", "package.exe", "--version", "1.2.3.4"}, "\"package.exe\" goes on past its program (a package?): brand the program itself"},
      {{"--stub", "text.exe", "--product-name", "x"}, "\"text.exe\" is not a program whose headers can be read"},
  };
  const size_t entries = ListFolder(root_.path()).size();
  for (const auto& refusal : refusals) {
    std::vector<std::string> arguments = {"pack", "-o", "out.exe", "-C", "app"};
    arguments.insert(arguments.end(), refusal.options.begin(), refusal.options.end());
    const RunResult run = Cli(arguments);
    EXPECT_EQ(run.exitStatus, 1) << refusal.message;
    EXPECT_EQ(run.err, "lodkin-cli: error: " + refusal.message + "\n");
    EXPECT_FALSE(PathExists(root_.Join("out.exe"))) << refusal.message;
    EXPECT_EQ(ListFolder(root_.path()).size(), entries) << refusal.message;  // no temporary left either
  }
  // 255 characters, some of them beyond ASCII, are taken.
  std::string accented;
  for (int i = 0; i < 255; ++i) accented += "\xC3\xA9";
  EXPECT_EQ(Cli({"pack", "-o", "out.exe", "-C", "app", "--description", accented, "--company", longest}).exitStatus, 0);
}

TEST_F(PackBrand, OwnIconRewritesTheProgramByteForByte) {
  // Read, rewritten and laid out again, the resources come out as the resource compiler
  // wrote them, the sections and the checksum as the linker did: for both architectures.
  std::vector<std::string> programs = {WindowsBinFolder() + "/Lodkin.exe"};
  const std::string x64 = WindowsBinFolder() + "/../../build-x64/bin/Lodkin.exe";
  if (FileExists(x64)) programs.push_back(x64);
  for (const std::string& program : programs) {
    const std::vector<char> original = ReadFileBytes(program);
    const RunResult run = Cli({"pack", "--stub", program, "--icon", kOwnIcon, "-o", "own.exe", "-C", "app"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::vector<char> package = ReadFileBytes(root_.Join("own.exe"));
    ASSERT_GT(package.size(), original.size());
    EXPECT_TRUE(std::equal(original.begin(), original.end(), package.begin())) << program;
    RemoveTree(root_.Join("own.exe"));
  }
}

}  // namespace
