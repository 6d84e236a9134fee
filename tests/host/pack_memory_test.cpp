// The tool streams each group's compressed bytes into the package: its peak memory does not
// grow with a group's stream. A 64 MiB file and a 256 MiB one, each a group of its own that
// compresses to about three quarters: held whole, the larger stream alone would add 144 MiB.
// What does grow is the encoder's own tables, touched as more bytes pass through them, up to
// their size: 16 MiB here with the core's encoder, and as much with liblzma's (424 MiB at
// 64 MiB, 440 MiB at 256 MiB, measured).
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "host/support/tool_process.h"
#include "support/test_files.h"

namespace {

const size_t kMiB = 1u << 20;

// Blocks of 3 KiB of noise and 1 KiB of zeros, written piece by piece.
void WriteThreeQuartersNoise(const std::string& path, size_t length) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  for (size_t at = 0; at < length; at += kMiB) {
    std::vector<char> block = PseudoRandomBytes(kMiB, static_cast<uint32_t>(at / kMiB) + 7);
    for (size_t k = 0; k < kMiB; k += 4096) std::fill(block.begin() + k + 3072, block.begin() + k + 4096, 0);
    ASSERT_EQ(fwrite(block.data(), 1, block.size(), file), block.size());
  }
  fclose(file);
}

TEST(PackMemory, TheToolsPeakDoesNotGrowWithTheGroup) {
  long peak[2] = {0, 0};
  const size_t sizes[2] = {64 * kMiB, 256 * kMiB};
  for (int k = 0; k < 2; ++k) {
    TempFolder root;
    WriteFileBytes(root.Join("setup.exe"), PseudoRandomBytes(1000, 1));
    WriteThreeQuartersNoise(root.Join("big.bin"), sizes[k]);
    RunSettings settings;
    settings.directory = root.path();
    settings.timeoutSeconds = 1200;
    const RunResult run = RunProcess("/usr/bin/time", {"-f", "peak:%M", CliPath(), "pack", "--compress=fast", "--stub",
                                                       root.Join("setup.exe"), "-o", "pkg.exe", "setup.exe", "big.bin"},
                                     settings);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const size_t at = run.err.rfind("peak:");
    ASSERT_NE(at, std::string::npos) << run.err;
    peak[k] = std::stol(run.err.substr(at + 5));  // KiB
    // It did compress: to about three quarters.
    const size_t packed = ReadFileBytes(root.Join("pkg.exe")).size();
    EXPECT_LT(packed, sizes[k] * 8 / 10) << sizes[k] / kMiB << " MiB";
    EXPECT_GT(packed, sizes[k] * 7 / 10) << sizes[k] / kMiB << " MiB";
  }
  EXPECT_LT(peak[1], peak[0] + 24 * 1024) << peak[0] / 1024 << " MiB against " << peak[1] / 1024 << " MiB";
}

}  // namespace
