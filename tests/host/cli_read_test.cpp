// lodkin-cli list and verify on known packages, damaged ones and one over 2 GiB.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/member_checksum.h"
#include "core/package_reader.h"
#include "host/support/cli_fixture.h"
#include "host/support/hand_package.h"
#include "host/support/tool_process.h"
#include "support/byte_poke.h"
#include "support/package_damage.h"
#include "support/test_files.h"

namespace {

// The headers of a 32-bit PE image, enough for the security directory to be found:
// SizeOfHeaders 0x200, 16 data directories, the security directory at 0xD8.
std::vector<char> PeModule(size_t length) {
  std::vector<char> module = PseudoRandomBytes(length, 20);
  memset(&module[0], 0, 0x200);
  module[0] = 'M', module[1] = 'Z';
  PutU32(module, 0x3C, 0x40);
  memcpy(&module[0x40], "PE\0\0", 4);
  module[0x44] = 0x4C, module[0x45] = 0x01;  // i386
  module[0x54] = static_cast<char>(224);     // SizeOfOptionalHeader
  module[0x58] = 0x0B, module[0x59] = 0x01;  // PE32
  PutU32(module, 0x58 + 60, 0x200);
  PutU32(module, 0x58 + 92, 16);
  return module;
}

// A first certificate as a signing tool writes it (revision 2, type PKCS#7) whose length
// field WithCertificateTable fills in.
std::vector<char> CertificateTable() {
  std::vector<char> table = PseudoRandomBytes(16, 21);
  table[4] = 0x00, table[5] = 0x02, table[6] = 0x02, table[7] = 0x00;
  return table;
}

class CliRead : public CliFixture {};

TEST_F(CliRead, ListShowsTheRegionsAndEveryMemberAsTextAndJson) {
  const std::vector<char> module = PseudoRandomBytes(9000, 10);
  std::vector<char> plain = LayOutPackage(
      module, {{"setup.exe", PseudoRandomBytes(20000, 11)}, {"read me.txt", PseudoRandomBytes(7, 12)}, {"empty", {}}});
  std::vector<char> slack = plain;
  slack.insert(slack.end(), 127, 'x');
  const std::vector<char> unsignedPackage =
      LayOutPackage(PeModule(0x400), {{"SETUP.EXE", PseudoRandomBytes(5, 13)}});
  const size_t padding = (8 - unsignedPackage.size() % 8) % 8;
  ASSERT_GT(padding, 0u);
  const std::vector<char> signedPackage = WithCertificateTable(unsignedPackage, CertificateTable());
  std::vector<char> named = LayOutPackage(module, {{"setup.exe", {}}, {"q's \xc3\xa9\xe9.txt", {}}});
  WriteFileBytes(root_.Join("plain.exe"), plain);
  WriteFileBytes(root_.Join("slack.exe"), slack);
  WriteFileBytes(root_.Join("signed.exe"), signedPackage);
  WriteFileBytes(root_.Join("empty.exe"), LayOutPackage(module, {}));
  WriteFileBytes(root_.Join("named.exe"), named);

  struct Case {
    std::string package, text, json;
  };
  const std::string plainRows =
      "members: 3\nindex\tname\toffset\tsize\tchecksum\tcodec\toriginal size\n0\tsetup.exe\t9000\t20000\t-\tstored\t20000\n"
      "1\tread me.txt\t29000\t7\t-\tstored\t7\n2\tempty\t29007\t0\t-\tstored\t0\n";
  const std::string plainMembers =
      "\"members\":[{\"index\":0,\"name\":\"setup.exe\",\"nameBytes\":\"73657475702e657865\",\"offset\":9000,\"size\":20000,\"checksum\":null,\"codec\":\"stored\",\"originalSize\":20000,\"group\":null},"
      "{\"index\":1,\"name\":\"read me.txt\",\"nameBytes\":\"72656164206d652e747874\",\"offset\":29000,\"size\":7,\"checksum\":null,\"codec\":\"stored\",\"originalSize\":7,\"group\":null},"
      "{\"index\":2,\"name\":\"empty\",\"nameBytes\":\"656d707479\",\"offset\":29007,\"size\":0,\"checksum\":null,\"codec\":\"stored\",\"originalSize\":0,\"group\":null}]}\n";
  const std::vector<Case> cases = {
      {"plain.exe", "module image length: 9000\ncertificate table: no\ntrailing slack: 0\n" + plainRows,
       ",\"moduleImageLength\":9000,\"certificateTable\":false,\"trailingSlack\":0," + plainMembers},
      {"slack.exe", "module image length: 9000\ncertificate table: no\ntrailing slack: 127\n" + plainRows,
       ",\"moduleImageLength\":9000,\"certificateTable\":false,\"trailingSlack\":127," + plainMembers},
      {"signed.exe",
       "module image length: 1024\ncertificate table: yes\ntrailing slack: " + std::to_string(padding) +
           "\nmembers: 1\nindex\tname\toffset\tsize\tchecksum\tcodec\toriginal size\n0\tSETUP.EXE\t1024\t5\t-\tstored\t5\n",
       ",\"moduleImageLength\":1024,\"certificateTable\":true,\"trailingSlack\":" + std::to_string(padding) +
           ",\"members\":[{\"index\":0,\"name\":\"SETUP.EXE\",\"nameBytes\":\"53455455502e455845\",\"offset\":1024,\"size\":5,\"checksum\":null,\"codec\":\"stored\",\"originalSize\":5,\"group\":null}]}\n"},
      {"empty.exe", "module image length: 9000\ncertificate table: no\ntrailing slack: 0\nmembers: 0\n"
                    "index\tname\toffset\tsize\tchecksum\tcodec\toriginal size\n",
       ",\"moduleImageLength\":9000,\"certificateTable\":false,\"trailingSlack\":0,\"members\":[]}\n"},
      // UTF-8 kept; a lone code-page byte as \u00e9 (quotes and control bytes, which
      // member names cannot hold, are escaped in the JSON output test).
      {"named.exe", "",
       ",\"moduleImageLength\":9000,\"certificateTable\":false,\"trailingSlack\":0,\"members\":["
       "{\"index\":0,\"name\":\"setup.exe\",\"nameBytes\":\"73657475702e657865\",\"offset\":9000,\"size\":0,\"checksum\":null,\"codec\":\"stored\",\"originalSize\":0,\"group\":null},"
       "{\"index\":1,\"name\":\"q's \xc3\xa9\\u00e9.txt\",\"nameBytes\":\"71277320c3a9e92e747874\",\"offset\":9000,\"size\":0,\"checksum\":null,\"codec\":\"stored\",\"originalSize\":0,\"group\":null}]}\n"},
  };
  for (const Case& c : cases) {
    if (!c.text.empty()) {
      const RunResult text = Cli({"list", c.package});
      EXPECT_EQ(text.exitStatus, 0) << c.package << text.err;
      EXPECT_EQ(text.out, c.text) << c.package;
    }
    const RunResult json = Cli({"list", "--json", c.package});
    EXPECT_EQ(json.exitStatus, 0) << c.package << json.err;
    EXPECT_EQ(json.out, "{\"package\":\"" + root_.Join(c.package) + "\"" + c.json) << c.package;
    EXPECT_EQ(json.err, "");
  }
}

// A valid package of four members as the robustness tests use it.
std::vector<char> FourMemberPackage() {
  return LayOutPackage(PseudoRandomBytes(3000, 41), {{"SETUP.EXE", PseudoRandomBytes(5000, 42)},
                                              {"data.cab", PseudoRandomBytes(9000, 43)},
                                              {"empty.txt", {}},
                                              {"readme.txt", PseudoRandomBytes(300, 44)}});
}

TEST_F(CliRead, VerifySaysInOneLineWhatIsWrong) {
  const std::vector<char> valid = FourMemberPackage();
  const size_t directory = valid.size() - 20 - 4 * 268;
  struct Case {
    const char* what;
    std::vector<char> bytes;
    std::string problem;  // empty: well formed
  };
  auto with = [&](size_t at, uint32_t value) {
    std::vector<char> bytes = valid;
    PutU32(bytes, at, value);
    return bytes;
  };
  auto named = [&](int entry, const char* name) {
    std::vector<char> bytes = valid;
    PutEntryName(bytes, directory + entry * 268, name);
    return bytes;
  };
  std::vector<char> slack127 = valid, slack128 = valid, unterminated = valid;
  slack127.insert(slack127.end(), 127, 0);
  slack128.insert(slack128.end(), 128, 0);
  memset(&unterminated[directory], 'A', 260);
  const std::vector<Case> cases = {
      {"as written", valid, ""},
      {"127 bytes of slack", slack127, ""},
      {"128 bytes of slack", slack128, "no package trailer"},
      {"cut by one byte", std::vector<char>(valid.begin(), valid.end() - 1), "no package trailer"},
      {"a plain program", PseudoRandomBytes(3000, 41), "no package trailer"},
      {"an empty file", {}, "no package trailer"},
      {"count -1", with(valid.size() - 4, 0xFFFFFFFFu), "negative entry count in the trailer"},
      {"count too large", with(valid.size() - 4, 0x7FFFFFFFu), "directory outside the file"},
      {"name leaving the folder", named(1, "..\\..\\evil.exe"), "unsafe member name (entry 1 \"..\\..\\evil.exe\"): a part of the name is \".\" or \"..\""},
      {"name with a drive", named(3, "C:x"), "unsafe member name (entry 3 \"C:x\"): the name holds a character that Windows does not allow in a file name"},
      {"unterminated name", unterminated,
       "unsafe member name (entry 0 \"" + std::string(259, 'A') + "\"): the name fills its whole field"},
      {"offset past the end", with(directory + 2 * 268 + 260, 0xFFFFFFFEu), "member outside the file (entry 2 \"empty.txt\")"},
      {"size into the directory", with(directory + 3 * 268 + 264, 301), "member outside the file (entry 3 \"readme.txt\")"},
  };
  for (const Case& c : cases) {
    WriteFileBytes(root_.Join("damaged.exe"), c.bytes);
    const RunResult run = Cli({"verify", "damaged.exe"});
    if (c.problem.empty()) {
      EXPECT_EQ(run.exitStatus, 0) << c.what;
      EXPECT_EQ(run.out, "damaged.exe: well formed, 4 members, 0 with checksums\n") << c.what;
      EXPECT_EQ(run.err, "") << c.what;
    } else {
      EXPECT_EQ(run.exitStatus, 1) << c.what;
      EXPECT_EQ(run.err, "lodkin-cli: error: damaged.exe: " + c.problem + "\n") << c.what;
      EXPECT_EQ(run.out, "") << c.what;
    }
  }
  const RunResult missing = Cli({"verify", "missing.exe"});
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_EQ(missing.err, "lodkin-cli: error: missing.exe: cannot open the file\n");
}

// What `verify` says about each reason of the reader, as a user reads it: written out
// here, not taken from the tool's own table, so that a changed text shows.
std::string ExpectedProblemText(const PackageReader& reader) {
  static const std::map<PackageStatus, std::string> statusTexts = {
      {kPackageCannotOpen, "cannot open the file"},
      {kPackageNoTrailer, "no package trailer"},
      {kPackageNegativeCount, "negative entry count in the trailer"},
      {kPackageBeyondFormatLimit, "file larger than a package can be (4 GiB)"},
      {kPackageDirectoryOutside, "directory outside the file"},
      {kPackageDirectoryUnreadable, "cannot read the directory"},
      {kPackageNoMemory, "no memory for the directory"},
      {kPackageUnsafeName, "unsafe member name"},
      {kPackageMemberOutside, "member outside the file"},
      {kPackageFileBesideFolder, "a file and a folder of the same name"},
      {kPackageFolderWithBytes, "a folder entry that holds bytes"},
  };
  static const std::map<MemberNameProblem, std::string> nameTexts = {
      {kNameUnterminated, "the name fills its whole field"},
      {kNameEmpty, "the name is empty"},
      {kNameStartsWithSeparator, "the name starts with \"\\\""},
      {kNameEmptyPart, "the name has an empty part"},
      {kNameForbiddenCharacter, "the name holds a character that Windows does not allow in a file name"},
      {kNameDotPart, "a part of the name is \".\" or \"..\""},
      {kNameEndsWithDotOrBlank, "a part of the name ends with a dot or a blank"},
      {kNameDevice, "a part of the name is a device name"},
  };
  const auto status = statusTexts.find(reader.status());
  if (status == statusTexts.end()) {
    ADD_FAILURE() << "no text known for reason " << reader.status();
    return std::string();
  }
  std::string problem = status->second;
  if (reader.badEntry() < 0) return problem;
  char name[260];
  reader.GetBadName(name);
  // The name as shown: bytes outside printable ASCII, and the quote, as \xNN.
  std::string shown;
  for (const char* p = name; *p != 0; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    char escaped[8];
    snprintf(escaped, sizeof(escaped), "\\x%02X", c);
    shown += (c < 32 || c >= 127 || c == '"') ? std::string(escaped) : std::string(1, static_cast<char>(c));
  }
  problem += " (entry " + std::to_string(reader.badEntry()) + " \"" + shown + "\")";
  if (reader.status() != kPackageUnsafeName) return problem;
  const auto nameText = nameTexts.find(reader.nameProblem());
  if (nameText == nameTexts.end()) {
    ADD_FAILURE() << "no text known for name problem " << reader.nameProblem();
    return problem;
  }
  return problem + ": " + nameText->second;
}

// Every damage kind of the robustness tests, a spread of each: the tool accepts exactly
// what the program's reader accepts and names the reader's reason otherwise.
TEST_F(CliRead, VerifyAgreesWithTheReaderOnDamagedPackages) {
  const std::vector<PackageDamage> damages = DamagePackage(FourMemberPackage(), 4, 45);
  ASSERT_GT(damages.size(), 3000u);
  int accepted = 0, refused = 0;
  for (size_t i = 0; i < damages.size(); i += 7) {
    const PackageDamage& damage = damages[i];
    const std::string path = root_.Join("damaged.exe");
    WriteFileBytes(path, damage.bytes);
    PackageReader reader;
    const int open = reader.Open(path.c_str());
    const RunResult run = Cli({"verify", "damaged.exe"});
    if (open) {
      ++accepted;
      EXPECT_EQ(run.exitStatus, 0) << damage.what << run.err;
    } else {
      ++refused;
      EXPECT_EQ(run.exitStatus, 1) << damage.what;
      EXPECT_EQ(run.err, "lodkin-cli: error: damaged.exe: " + ExpectedProblemText(reader) + "\n") << damage.what;
    }
  }
  EXPECT_GT(accepted, 5);
  EXPECT_GT(refused, 200);
  printf("verified %d damaged packages: %d accepted, %d refused\n", accepted + refused, accepted, refused);
}

// Offsets past 2 GiB in a sparse file: a member of 2.44 GiB that takes no room, then a
// real member, directory and trailer at the end.
TEST_F(CliRead, PackageOver2GiBIsListedAndVerified) {
  const uint32_t bigSize = 0x9C000000u;
  const std::vector<char> module = PseudoRandomBytes(1000, 30);
  const std::vector<char> setup = PseudoRandomBytes(5000, 31);
  const uint32_t setupOffset = 1000 + bigSize;
  std::vector<char> tail = setup;
  char entry[268] = {};
  strcpy(entry, "big.bin");
  uint32_t offset = 1000;
  memcpy(entry + 260, &offset, 4);
  memcpy(entry + 264, &bigSize, 4);
  tail.insert(tail.end(), entry, entry + 268);
  memset(entry, 0, sizeof(entry));
  strcpy(entry, "setup.exe");
  const uint32_t setupSize = static_cast<uint32_t>(setup.size());
  memcpy(entry + 260, &setupOffset, 4);
  memcpy(entry + 264, &setupSize, 4);
  tail.insert(tail.end(), entry, entry + 268);
  const int32_t count = 2;
  tail.insert(tail.end(), "BRAMTOLEPACKFILE", "BRAMTOLEPACKFILE" + 16);
  tail.insert(tail.end(), reinterpret_cast<const char*>(&count), reinterpret_cast<const char*>(&count) + 4);

  auto writeSparse = [&](const std::string& path, const std::vector<char>& end) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, module.data(), module.size(), 0), static_cast<ssize_t>(module.size()));
    ASSERT_EQ(ftruncate(fd, setupOffset), 0);
    ASSERT_EQ(pwrite(fd, end.data(), end.size(), setupOffset), static_cast<ssize_t>(end.size()));
    ASSERT_EQ(close(fd), 0);
  };
  writeSparse(root_.Join("big.exe"), tail);
  RunResult run = Cli({"verify", "big.exe"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, "big.exe: well formed, 2 members, 0 with checksums\n");
  run = Cli({"list", "big.exe"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out,
            "module image length: 1000\ncertificate table: no\ntrailing slack: 0\nmembers: 2\n"
            "index\tname\toffset\tsize\tchecksum\tcodec\toriginal size\n0\tbig.bin\t1000\t2617245696\t-\tstored\t2617245696\n1\tsetup.exe\t2617246696\t5000\t-\tstored\t5000\n");
  run = Cli({"list", "--json", "big.exe"});
  EXPECT_NE(run.out.find("{\"index\":1,\"name\":\"setup.exe\",\"nameBytes\":\"73657475702e657865\",\"offset\":2617246696,\"size\":5000,\"checksum\":null,\"codec\":\"stored\",\"originalSize\":5000,\"group\":null}"),
            std::string::npos)
      << run.out;

  // Offset and size that only reach past the end in 64-bit arithmetic.
  std::vector<char> damaged = tail;
  PutU32(damaged, setup.size() + 260, 0xFFFFFFFFu);
  PutU32(damaged, setup.size() + 264, 0xFFFFFFFFu);
  writeSparse(root_.Join("wrapped.exe"), damaged);
  run = Cli({"verify", "wrapped.exe"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: wrapped.exe: member outside the file (entry 0 \"big.bin\")\n");
}

// With checksum records, verify reads every member and names each damaged one; list
// shows the recorded values; extract stops at the damaged member and removes it.
TEST_F(CliRead, ChecksumsNameEveryDamagedMember) {
  const std::vector<char> module = PseudoRandomBytes(3000, 61);
  const std::vector<HandMember> members = {{"SETUP.EXE", PseudoRandomBytes(5000, 62)},
                                           {"data.cab", PseudoRandomBytes(300000, 63)},
                                           {"empty.txt", {}},
                                           {"readme.txt", PseudoRandomBytes(300, 64)}};
  const std::vector<char> valid = LayOutPackage(module, members, true);
  auto flipped = [&](std::vector<size_t> positions) {
    std::vector<char> bytes = valid;
    for (size_t at : positions) bytes[at] ^= 0x01;
    return bytes;
  };
  const size_t data = 3000 + 5000, readme = data + 300000;
  struct Case {
    const char* what;
    std::vector<char> bytes;
    std::string errors;  // empty: verified
  };
  const std::string prefix = "lodkin-cli: error: p.exe: ";
  const std::vector<Case> cases = {
      {"as written", valid, ""},
      {"one member", flipped({data + 299999}),
       prefix + "member \"data.cab\" (entry 1) is damaged\n"},
      {"two members", flipped({3000, readme + 10}),
       prefix + "member \"SETUP.EXE\" (entry 0) is damaged\n" + prefix +
           "member \"readme.txt\" (entry 3) is damaged\n"},
      {"the module image", flipped({2999}), prefix + "module image is damaged\n"},
  };
  for (const Case& c : cases) {
    WriteFileBytes(root_.Join("p.exe"), c.bytes);
    const RunResult run = Cli({"verify", "p.exe"});
    EXPECT_EQ(run.err, c.errors) << c.what;
    EXPECT_EQ(run.exitStatus, c.errors.empty() ? 0 : 1) << c.what;
    EXPECT_EQ(run.out, c.errors.empty() ? "p.exe: well formed, 4 members, 4 with checksums\n" : "") << c.what;
  }

  WriteFileBytes(root_.Join("p.exe"), valid);
  const RunResult list = Cli({"list", "p.exe"});
  char row[64];
  snprintf(row, sizeof(row), "\t300000\t%08x\tstored\t300000\n", ChecksumOf(members[1].bytes.data(), members[1].bytes.size()));
  EXPECT_NE(list.out.find(row), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find("\t-\t"), std::string::npos) << "every member has a checksum";

  WriteFileBytes(root_.Join("p.exe"), flipped({data + 5}));
  const RunResult extract = Cli({"extract", "p.exe", "-C", "out"});
  EXPECT_EQ(extract.exitStatus, 1);
  EXPECT_EQ(extract.err, "lodkin-cli: error: member \"data.cab\" is damaged\n");
  // The run made the folder, so it takes it back with what it wrote there.
  EXPECT_FALSE(PathExists(root_.Join("out")));
}

}  // namespace
