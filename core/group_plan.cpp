#include "core/group_plan.h"

#include "core/growable_block.h"
#include "core/lzma_group_decoder.h"
#include "core/wide_division.h"

namespace {

// Letter case folded for A to Z only: the locale's tolower would make the groups, and so
// the package's bytes, depend on the locale the tool runs in.
inline unsigned char FoldAscii(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

// Characters at the start of both names, letters compared without case (as Windows does).
int SharedPrefix(const char* a, const char* b) {
  int length = 0;
  while (a[length] != '\0' && FoldAscii(a[length]) == FoldAscii(b[length])) {
    ++length;
  }
  return length;
}

uint64_t Distance(uint64_t a, uint64_t b) { return a > b ? a - b : b - a; }

struct Run {
  const PlannedFile* files;
  int first;  // the run's files: [first, end)
  int end;
};

// The file that starts the group after the cut nearest `target` (bytes from the run's
// start), searched from file `from` (whose start lies `before` bytes in) up to `last`.
int ChooseCut(const Run& run, int from, int last, uint64_t before, uint64_t target, uint64_t window) {
  int nearest = from, best = -1, bestPrefix = 0;
  uint64_t nearestDistance = ~0ull, bestDistance = 0;
  uint64_t at = before;
  for (int p = from; p <= last; ++p) {
    at += run.files[p - 1].size;  // bytes before file p
    const uint64_t distance = Distance(at, target);
    if (distance < nearestDistance) nearest = p, nearestDistance = distance;
    if (distance <= window) {
      const int prefix = SharedPrefix(run.files[p - 1].name, run.files[p].name);
      if (best < 0 || prefix < bestPrefix || (prefix == bestPrefix && distance < bestDistance)) {
        best = p, bestPrefix = prefix, bestDistance = distance;
      }
    } else if (at > target) {
      break;  // past the window: every later boundary is farther
    }
  }
  return best >= 0 ? best : nearest;
}

MemberGroup Compressed(int firstRow, int rowCount) {
  MemberGroup group;
  group.firstRow = firstRow;
  group.rowCount = rowCount;
  group.stored = 0;
  return group;
}

// Cuts a run of `total` bytes into `parts` groups; returns how many it wrote.
int CutRun(const Run& run, uint64_t total, int parts, MemberGroup* groups) {
  uint64_t spread = 0;  // the bytes that do not divide evenly
  const uint64_t share = DivideWide(total, static_cast<uint64_t>(parts), &spread);
  int start = run.first;
  uint64_t before = 0;  // bytes of the run before file `start`
  for (int j = 1; j < parts; ++j) {
    const uint64_t target = share * j + DivideWide(spread * j, static_cast<uint64_t>(parts));
    // Every later group keeps at least one file.
    const int cut = ChooseCut(run, start + 1, run.end - (parts - j), before, target, share / 4);
    groups[j - 1] = Compressed(start, cut - start);
    for (int p = start; p < cut; ++p) before += run.files[p].size;
    start = cut;
  }
  groups[parts - 1] = Compressed(start, run.end - start);
  return parts;
}

int PlanRun(const Run& run, const GroupRule& rule, MemberGroup* groups) {
  uint64_t total = 0;
  for (int p = run.first; p < run.end; ++p) total += run.files[p].size;
  uint64_t rest = 0;
  uint64_t parts = DivideWide(total, rule.share, &rest);
  parts += rest != 0;
  if (parts < 2 && total > rule.splitAbove) parts = 2;
  if (parts < 1) parts = 1;
  const int files = run.end - run.first;
  return CutRun(run, total, parts > static_cast<uint64_t>(files) ? files : static_cast<int>(parts), groups);
}

}  // namespace

int PlanGroups(const PlannedFile* files, int count, const GroupRule& rule, MemberGroup* groups) {
  // The compressed files alone decide the groups; the stored ones only ride along.
  GrowableBlock<PlannedFile> compressed;
  GrowableBlock<int> rowOf;
  if (!compressed.Allocate(count > 0 ? count : 1) || !rowOf.Allocate(count > 0 ? count : 1)) return -1;
  int n = 0;
  for (int p = 0; p < count; ++p) {
    if (!files[p].stored) compressed[n] = files[p], rowOf[n++] = p;
  }
  // Stored files before the first compressed one have no group to join.
  int written = 0;
  for (int p = 0; p < (n > 0 ? rowOf[0] : count); ++p) groups[written++] = MemberGroup{p, 1, 1};
  const int planned = n > 0 ? PlanRun(Run{compressed.get(), 0, n}, rule, groups + written) : 0;
  // Each group spans the rows from its first compressed file to the next group's first.
  for (int g = 0; g < planned; ++g) {
    MemberGroup& group = groups[written + g];
    const int firstRow = rowOf[group.firstRow];
    const int endRow = g + 1 < planned ? rowOf[groups[written + g + 1].firstRow] : count;
    group.firstRow = firstRow;
    group.rowCount = endRow - firstRow;
  }
  return written + planned;
}

uint32_t GroupDictionary(uint64_t originalSize) {
  if (originalSize < 4096) return 4096;
  static_assert(kLargestEncoderDictionary <= kMaxGroupDictionary, "every reader can decode it");
  return originalSize < kLargestEncoderDictionary ? static_cast<uint32_t>(originalSize) : kLargestEncoderDictionary;
}
