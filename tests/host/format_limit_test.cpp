// Files at and past the 4 GiB that a package's 32-bit offsets can describe, laid out
// sparse: each carries a trailer at its end, and the largest ones a count whose directory
// size wraps to a few bytes in 32-bit arithmetic (so that a cut allocation would then be
// walked by the whole count). The reader refuses them before reading the directory,
// natively and in the 32-bit lodkin-cli.exe under Wine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/name_field_records.h"
#include "core/package_format.h"
#include "core/package_reader.h"
#include "host/support/tool_process.h"
#include "host/support/tree_fixture.h"
#include "support/package_layout.h"
#include "support/test_files.h"

namespace {

const uint64_t k4GiB = 0x100000000ull;
// 16,025,998 entries of 268 bytes are 4,294,967,464 bytes: 168 once cut to 32 bits.
const int32_t kWrappingCount = 16025998;

// `head` at the start, a trailer with `count` ending the file `length` bytes long, and
// nothing written in between.
void WriteSparsePackage(const std::string& path, const std::vector<char>& head, uint64_t length,
                        int32_t count) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0755);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
  PackageTrailer trailer;
  memcpy(trailer.magic, kPackageMagic, kPackageMagicLength);
  trailer.count = count;
  const off_t at = static_cast<off_t>(length - sizeof(trailer));
  ASSERT_EQ(pwrite(fd, &trailer, sizeof(trailer), at), static_cast<ssize_t>(sizeof(trailer)));
  ASSERT_EQ(close(fd), 0);
}

const char kTooLarge[] = "file larger than a package can be (4 GiB)";

TEST(FormatLimit, ReaderAndNativeToolRefuseWhatPassesTheLimit) {
  TempFolder root;
  const std::vector<char> module = PseudoRandomBytes(4000, 90);
  struct Case {
    const char* what;
    uint64_t length;
    int32_t count;
    bool accepted;
  } const cases[] = {
      {"the last length a package can have", k4GiB - 1, 0, true},
      {"one byte more", k4GiB, 0, false},
      {"a count whose directory wraps in 32 bits", k4GiB + 4096, kWrappingCount, false},
      {"far past the limit", 5 * k4GiB, 1, false},
  };
  for (const Case& c : cases) {
    const std::string path = root.Join("big.exe");
    WriteSparsePackage(path, module, c.length, c.count);
    PackageReader reader;
    EXPECT_EQ(reader.Open(path.c_str()), c.accepted ? 1 : 0) << c.what;
    if (c.accepted) {
      EXPECT_EQ(DirectoryStartOf(reader), c.length - sizeof(PackageTrailer)) << c.what;
      continue;
    }
    EXPECT_EQ(reader.status(), kPackageBeyondFormatLimit) << c.what;
    EXPECT_EQ(reader.badEntry(), -1) << c.what;
    RunSettings inRoot;
    inRoot.directory = root.path();
    inRoot.timeoutSeconds = 30;
    const RunResult list = RunCli({"list", "big.exe"}, inRoot);
    EXPECT_TRUE(list.finished) << c.what;
    EXPECT_EQ(list.exitStatus, 1) << c.what;
    EXPECT_EQ(list.err, std::string("lodkin-cli: error: big.exe: ") + kTooLarge + "\n") << c.what;
    EXPECT_EQ(list.out, "") << c.what;
  }
}

TEST(FormatLimit, WindowsProgramsRefuseAWrappingDirectory) {
  const std::string bin = WindowsBinFolder();
  if (bin.empty()) GTEST_SKIP() << "the host build was configured without LODKIN_OUTPUT_DIR (the cross build's bin)";
  TempFolder root;

  // The 32-bit console tool, as `list` and as `verify`.
  const std::string data = root.Join("wrapped.bin");
  WriteSparsePackage(data, PseudoRandomBytes(4000, 91), k4GiB + 4096, kWrappingCount);
  RunSettings quick;
  quick.timeoutSeconds = 60;
  for (const char* command : {"list", "verify"}) {
    const RunResult run = RunUnderWine(bin + "/lodkin-cli.exe", {command, WinePath(data)}, quick);
    EXPECT_TRUE(run.finished) << command;
    EXPECT_EQ(run.exitStatus, 1) << command << "\n" << run.out << run.err;
    EXPECT_NE(run.err.find(kTooLarge), std::string::npos) << command << "\n" << run.err;
  }

  // The program itself, carrying the same wrapping count. The loader does not start an
  // image file this large (Windows does not either), so "-e" never reaches its reader,
  // which is the one lodkin-cli.exe runs above; what is checked is that nothing is
  // unpacked beside it.
  const std::string program = root.Join("wrapped.exe");
  WriteSparsePackage(program, ReadFileBytes(bin + "/Lodkin.exe"), k4GiB + 4096, kWrappingCount);
  const RunResult extract = RunUnderWine(program, {"-e"}, quick);
  EXPECT_TRUE(extract.finished);
  EXPECT_NE(extract.exitStatus, 0) << extract.out << extract.err;
  EXPECT_EQ(ListFolder(root.path()), (std::vector<std::string>{"wrapped.bin", "wrapped.exe"}));
}

// `module`, then a table of `count` entries over `length` bytes of stream, zeros after its
// header (no filter, lc 3 lp 0 pb 2, 4 KiB dictionary): LZMA decodes zeros to any size claimed.
void WriteZeroTablePackage(const std::string& path, const std::vector<char>& module, uint32_t length, uint32_t count) {
  PackageDirEntry holder = {"<directory>", static_cast<uint32_t>(module.size()), length};
  ASSERT_TRUE(SealRecord(holder, TableRecord{kCodecLzma, count, 0}));
  std::vector<char> head = module;
  head.insert(head.end(), {0, 93, 0, 0x10, 0, 0});
  WriteSparsePackage(path, head, module.size() + length + sizeof(holder) + sizeof(PackageTrailer), 1);
  const int fd = open(path.c_str(), O_WRONLY);
  EXPECT_EQ(pwrite(fd, &holder, sizeof(holder), module.size() + length), static_cast<ssize_t>(sizeof(holder)));
  close(fd);
}

// The tool gets seconds of processor time: enough to refuse, too few to decode gigabytes.
TEST(FormatLimit, ATableThatClaimsMoreThanItsStreamHoldsIsRefusedAtOnce) {
  TempFolder root;
  for (const auto& c : {std::make_pair(2200000u, 8000000u), std::make_pair(25000000u, 6000000u)}) {
    WriteZeroTablePackage(root.Join("pkg.exe"), PseudoRandomBytes(4000, 92), c.first, c.second);
    RunSettings limited;
    limited.cpuSecondsLimit = 3;
    const RunResult verify = RunCli({"verify", root.Join("pkg.exe")}, limited);
    EXPECT_TRUE(verify.exitStatus == 1 && verify.err.find("damaged directory table") != std::string::npos) << verify.err;
    if (WindowsBinFolder().empty()) continue;
    // The 32-bit program refused these before too, for want of memory.
    WriteZeroTablePackage(root.Join("pkg.exe"), ReadFileBytes(WindowsBinFolder() + "/Lodkin.exe"), c.first, c.second);
    EXPECT_EQ(RunClosingBoxes(root.Join("pkg.exe"), {"-s"}, {}).rfind("exit=1392\n", 0), 0u) << c.second;
    EXPECT_EQ(RunClosingBoxes(root.Join("pkg.exe"), {"-e"}, {}), "exit=1\n") << c.second;
    EXPECT_EQ(ListFolder(root.path()), std::vector<std::string>{"pkg.exe"}) << c.second;
  }
}

}  // namespace
