// What pack --compress may hold in memory: two encoders at the largest groups the plan
// makes stay under the limit, a stream never outgrows the room counted for it, and the
// share-out of the budget lets every group run, alone if it must.
#include <gtest/gtest.h>
#include <lzma.h>

#include <vector>

#include "core/compress_memory.h"
#include "cli/group_encoder.h"
#include "core/group_plan.h"
#include "support/seeded_bytes.h"

namespace {

const uint64_t kMiB = 1 << 20;

uint64_t ReservationOfGroup(uint64_t originalSize) {
  return GroupReservation(GroupEncoderMemory(GroupDictionary(originalSize)), originalSize);
}

// A run's share is at most 64 MiB and a cut may fall a quarter of a share either side of
// its target, so a group of many files reaches 96 MiB; one file alone can be any size.
TEST(CompressMemory, TwoEncodersFitUnderTheLimitAtEveryGroupSizeThePlanMakes) {
  const uint64_t budget = CompressMemoryBudget(kCompressMemoryLimit, 0, 0);
  for (uint64_t size : {uint64_t{0}, 4 * kMiB, 31 * kMiB, 32 * kMiB, 33 * kMiB, 64 * kMiB, 96 * kMiB}) {
    const uint64_t each = ReservationOfGroup(size);
    EXPECT_NE(GroupEncoderMemory(GroupDictionary(size)), UINT64_MAX) << size;
    EXPECT_EQ(EncodersThatFit(2, each, budget), 2u) << size / kMiB << " MiB";
    EXPECT_LE(2 * each + kUncountedMemory, kCompressMemoryLimit) << size / kMiB << " MiB";
  }
  // Larger groups are one file each: they run one at a time when two do not fit.
  EXPECT_EQ(EncodersThatFit(2, ReservationOfGroup(600 * kMiB), budget), 1u);
  EXPECT_EQ(EncodersThatFit(2, ReservationOfGroup(3000 * kMiB), budget), 1u);
}

TEST(CompressMemory, TheBudgetAndTheEncoderCount) {
  struct Case {
    const char* what;
    uint64_t limit, physical, rows;
    uint64_t budget;
  };
  const std::vector<Case> budgets = {
      {"the limit less what is not counted", kCompressMemoryLimit, 0, 0, kCompressMemoryLimit - kUncountedMemory},
      {"and less the rows' paths", kCompressMemoryLimit, 64ull << 30, 100 * kMiB,
       kCompressMemoryLimit - kUncountedMemory - 100 * kMiB},
      {"half a small machine", kCompressMemoryLimit, 1ull << 30, 0, 512 * kMiB},
      {"rows beyond the limit leave nothing", kCompressMemoryLimit, 0, 2ull << 30, 0},
      {"a limit below what is not counted", kMiB, 0, 0, 0},
  };
  for (const Case& c : budgets) EXPECT_EQ(CompressMemoryBudget(c.limit, c.physical, c.rows), c.budget) << c.what;

  struct Fit {
    unsigned wanted;
    uint64_t largest, budget;
    unsigned encoders;
  };
  const std::vector<Fit> fits = {
      {2, 400 * kMiB, 960 * kMiB, 2}, {8, 400 * kMiB, 960 * kMiB, 2}, {8, 10 * kMiB, 960 * kMiB, 8},
      {2, 2000 * kMiB, 960 * kMiB, 1}, {2, 400 * kMiB, 0, 1},          {0, 400 * kMiB, 960 * kMiB, 1},
  };
  for (const Fit& f : fits) {
    EXPECT_EQ(EncodersThatFit(f.wanted, f.largest, f.budget), f.encoders)
        << f.wanted << " wanted, " << f.largest / kMiB << " MiB each, " << f.budget / kMiB << " MiB";
  }
}

TEST(CompressMemory, AGroupAheadHoldsItsStreamUpToTheLimit) {
  EXPECT_EQ(GroupReservation(UINT64_MAX, 5), UINT64_MAX) << "no wrap-around to a small figure";
  EXPECT_EQ(GroupReservation(100 * kMiB, 1024 * kMiB, 64 * kMiB), 100 * kMiB + kGroupReadBlock + 64 * kMiB);
  EXPECT_EQ(GroupReservation(100 * kMiB, kMiB, 64 * kMiB), 100 * kMiB + kGroupReadBlock + StreamBound(kMiB));
}

// The stream's room is counted before it is written: bytes that match nothing must not
// outgrow it.
TEST(CompressMemory, AStreamOfNoiseStaysWithinItsBound) {
  for (size_t size : {size_t{1}, size_t{4096}, size_t{1} << 20}) {
    const std::vector<char> noise = PseudoRandomBytes(size, 77);
    lzma_options_lzma options;
    SetGroupEncoderOptions(options, GroupDictionary(size));
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<uint8_t> out(size * 2 + 65536);
    size_t produced = 0;
    ASSERT_EQ(lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(noise.data()), size,
                                     out.data(), &produced, out.size()),
              LZMA_OK);
    EXPECT_GT(produced, size) << "noise does not shrink";
    EXPECT_LE(produced + 6, StreamBound(size)) << size << " bytes";
  }
}

}  // namespace
