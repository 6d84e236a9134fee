// The trailer lookup against the plain 128-position scan it replaced: position for
// position the same on every file without a sound certificate table, and the same scan
// before the table on a file with one.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/package_reader.h"
#include "support/byte_poke.h"
#include "support/test_files.h"
#include "support/test_package.h"

namespace {

struct Lookup {
  int found;
  unsigned slack;
  int32_t count;
  bool operator==(const Lookup& other) const {
    return found == other.found && (!found || (slack == other.slack && count == other.count));
  }
};

std::ostream& operator<<(std::ostream& out, const Lookup& lookup) {
  if (!lookup.found) return out << "(not found)";
  return out << "(slack " << lookup.slack << ", count " << lookup.count << ")";
}

// The scan as packages were always read: seek to 20 + j bytes before the end, read 20
// bytes, compare 16, for j = 0..127, never seeking before the start of the file.
Lookup ReferenceLookup(const std::string& path) {
  Lookup result = {0, 0, 0};
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return result;
  _fseeki64(file, 0, SEEK_END);
  const long long length = _ftelli64(file);
  const long long last = length - 20;
  for (long long j = 0; j <= 127 && last >= 0; ++j) {
    if (j > 0 && j >= last) break;
    unsigned char trailer[20];
    if (_fseeki64(file, -20 - j, SEEK_END) != 0 || fread(trailer, 1, 20, file) != 20) break;
    if (memcmp(trailer, "BRAMTOLEPACKFILE", 16) == 0) {
      result.found = 1;
      result.slack = static_cast<unsigned>(j);
      memcpy(&result.count, trailer + 16, 4);
      break;
    }
  }
  fclose(file);
  return result;
}


// The stream of these tests' own cases, apart from the content streams of the same seeds.
struct Random : SeededNumbers {
  explicit Random(uint32_t seed) : SeededNumbers(seed, 7) {}
};

// A trailer with the given count, as a forger would put it.
std::vector<char> Trailer(int32_t count) {
  std::vector<char> trailer(kPackageMagic, kPackageMagic + 16);
  trailer.resize(20);
  PutU32(trailer, 16, static_cast<uint32_t>(count));
  return trailer;
}

class TrailerLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = folder_.Join("input.exe");
    // Packages of the real program whose lengths leave every remainder modulo 8.
    for (size_t extra = 0; extra < 8; ++extra) {
      packages_.push_back(WriteTestPackage(
          path_, LodkinExePath(),
          {{"setup.exe", PseudoRandomBytes(3000 + extra, 1)}, {"x.bin", PseudoRandomBytes(500, 2)}},
          folder_.path()));
    }
  }

  Lookup Locate(const std::vector<char>& bytes, PackageTrailerInfo* info) {
    WriteFileBytes(path_, bytes);
    BinaryFile file;
    EXPECT_EQ(file.OpenForReading(path_.c_str()), 1);
    *info = PackageTrailerInfo();
    Lookup result = {LocatePackageTrailer(file, info), info->slack, info->count};
    return result;
  }

  // The lookup must give exactly what the plain scan gives, on the whole file.
  void ExpectAsBefore(const std::vector<char>& bytes, const std::string& what) {
    PackageTrailerInfo info;
    const Lookup found = Locate(bytes, &info);
    const Lookup expected = ReferenceLookup(path_);
    EXPECT_EQ(found, expected) << what;
    if (found.found) {
      EXPECT_EQ(info.logicalEnd, bytes.size()) << what;
      EXPECT_EQ(info.signedPackage, 0) << what;
    }
    ++compared_;
    if (expected.found) ++foundByBoth_;
  }

  // A sound table after `package`: zero padding to a multiple of 8, then `size` bytes whose
  // first certificate is `size` long, ending at the end of the file.
  std::vector<char> WithTable(const std::vector<char>& package, uint32_t size, Random& random) {
    std::vector<char> table(size);
    for (char& byte : table) byte = static_cast<char>(random.Next());
    return WithCertificateTable(package, table);
  }

  TempFolder folder_;
  std::string path_;
  std::vector<std::vector<char>> packages_;
  int compared_ = 0;
  int foundByBoth_ = 0;
};

TEST_F(TrailerLookup, FilesWithoutACertificateTableAreScannedAsBefore) {
  // Random bytes of every kind of length, short files included.
  for (size_t length : {0u, 1u, 5u, 19u, 20u, 21u, 22u, 40u, 147u, 148u, 149u, 300u, 5000u, 70000u}) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
      ExpectAsBefore(PseudoRandomBytes(length, seed), "random " + std::to_string(length));
    }
  }
  // The magic at every tried position and just beyond, in long and in short files: near
  // the start of a file the scan stops before it reaches the first byte.
  for (size_t length : {2000u, 20u, 21u, 25u, 60u, 147u, 148u, 160u}) {
    for (size_t j = 0; j <= 131 && j + 20 <= length; ++j) {
      std::vector<char> bytes = PseudoRandomBytes(length, static_cast<uint32_t>(length + j));
      const std::vector<char> trailer = Trailer(static_cast<int32_t>(j * 7 - 300));
      std::copy(trailer.begin(), trailer.end(), bytes.end() - 20 - j);
      ExpectAsBefore(bytes, "magic at " + std::to_string(j) + " in " + std::to_string(length));
    }
  }
  // Two magics: the one nearest the end wins.
  std::vector<char> twice = PseudoRandomBytes(500, 4);
  for (size_t j : {5u, 60u}) {
    const std::vector<char> trailer = Trailer(static_cast<int32_t>(j));
    std::copy(trailer.begin(), trailer.end(), twice.end() - 20 - j);
  }
  ExpectAsBefore(twice, "two magics");
  // Real packages of the real program (its directory 4 is zero), cut short or with slack.
  for (const std::vector<char>& package : packages_) {
    for (size_t cut : {0u, 1u, 4u, 16u, 19u, 20u, 21u, 300u}) {
      ExpectAsBefore(std::vector<char>(package.begin(), package.end() - cut), "cut " + std::to_string(cut));
    }
    for (size_t slack : {1u, 7u, 127u, 128u}) {
      std::vector<char> longer = package;
      longer.insert(longer.end(), slack, 0);
      ExpectAsBefore(longer, "slack " + std::to_string(slack));
    }
  }
  EXPECT_GT(compared_, 500);
  EXPECT_GT(foundByBoth_, 100);
}

// Each file carries a table that breaks exactly one rule of a sound one; some of the
// tables are short enough for the real trailer to be found behind them, some end in a
// trailer of their own. None of them may change what is found.
TEST_F(TrailerLookup, ATableThatBreaksOneRuleChangesNothing) {
  const char* const kRules[] = {"misaligned", "ends before the end", "ends past the end",
                                "certificate too short", "certificate too long", "inside the headers",
                                "size zero", "offset zero", "four directories", "not a PE image"};
  const uint32_t kSizes[] = {8, 16, 40, 96, 120, 200, 1456};
  for (uint32_t seed = 0; seed < 300; ++seed) {
    Random random(seed);
    const std::vector<char>& package = packages_[seed % 8];
    const unsigned rule = seed % 10;
    const uint32_t size = kSizes[random.Below(7)];
    std::vector<char> bytes = WithTable(package, size, random);
    if (size >= 28 && random.Below(2)) {
      const std::vector<char> trailer = Trailer(static_cast<int32_t>(random.Below(5)));
      std::copy(trailer.begin(), trailer.end(), bytes.end() - 20 - random.Below(8));
    }
    const PeFields fields = PeFieldsOf(bytes);
    const uint32_t offset = GetU32(bytes, fields.directory4);
    switch (rule) {
      case 0: {  // the table moved off the 8-byte grid, still ending at the end
        const uint32_t shift = 1 + random.Below(7);
        bytes.resize(bytes.size() + shift, 0);
        memmove(&bytes[offset + shift], &bytes[offset], size);
        memset(&bytes[offset], 0, shift);
        PutU32(bytes, fields.directory4, offset + shift);
        break;
      }
      case 1: {  // shorter than the bytes after it, its certificate shortened alike
        const uint32_t shorter = size > 8 ? 8 + random.Below(size - 8) : random.Below(8);
        PutU32(bytes, fields.directory4 + 4, shorter);
        PutU32(bytes, offset, shorter);
        break;
      }
      case 2: PutU32(bytes, fields.directory4 + 4, size + 1 + random.Below(64)); break;
      case 3: PutU32(bytes, offset, random.Below(8)); break;
      case 4: PutU32(bytes, offset, size + 1 + random.Below(1000)); break;
      case 5: {  // ends at the end but starts within the headers
        const uint32_t start = (random.Below(fields.headersSize) & ~7u);
        PutU32(bytes, fields.directory4, start);
        PutU32(bytes, fields.directory4 + 4, static_cast<uint32_t>(bytes.size()) - start);
        break;
      }
      case 6:  // an empty table at the end
        PutU32(bytes, fields.directory4, static_cast<uint32_t>(bytes.size()));
        PutU32(bytes, fields.directory4 + 4, 0);
        break;
      case 7:  // the whole file
        PutU32(bytes, fields.directory4, 0);
        PutU32(bytes, fields.directory4 + 4, static_cast<uint32_t>(bytes.size()));
        break;
      case 8: PutU32(bytes, fields.rvaCount, random.Below(5)); break;
      case 9: {
        const size_t where[] = {0, GetU32(bytes, 0x3C), fields.optional};
        bytes[where[random.Below(3)]] ^= 0x20;
        break;
      }
    }
    ExpectAsBefore(bytes, std::string(kRules[rule]) + ", seed " + std::to_string(seed));
  }
  EXPECT_GT(foundByBoth_, 30) << "some tables are short enough for the old scan to reach past them";
}

// A sound table: the scan runs before it, exactly as on the file cut at its start, and
// never reads the table, whatever lies inside.
TEST_F(TrailerLookup, ASoundTableIsSkippedAndNeverSearched) {
  const uint32_t kSizes[] = {8, 16, 96, 1456, 4104};
  for (uint32_t seed = 0; seed < 60; ++seed) {
    Random random(1000 + seed);
    std::vector<char> package = packages_[seed % 8];
    const bool hidePackage = seed % 3 == 0;  // no trailer before the table at all
    if (hidePackage) package.resize(package.size() - 20 - random.Below(10));
    const uint32_t size = kSizes[seed % 5] + (seed % 5 == 0 ? 0 : 8 * random.Below(4));
    std::vector<char> bytes = WithTable(package, size, random);
    if (size >= 28) {  // a forged trailer at the end, inside the table
      const std::vector<char> trailer = Trailer(99);
      std::copy(trailer.begin(), trailer.end(), bytes.end() - 20 - random.Below(8));
    }
    const size_t tableStart = GetU32(bytes, PeFieldsOf(bytes).directory4);

    WriteFileBytes(path_, std::vector<char>(bytes.begin(), bytes.begin() + tableStart));
    const Lookup expected = ReferenceLookup(path_);
    PackageTrailerInfo info;
    const Lookup found = Locate(bytes, &info);
    const std::string what = "seed " + std::to_string(seed);
    EXPECT_EQ(found, expected) << what;
    EXPECT_EQ(found.found, hidePackage ? 0 : 1) << what;
    if (found.found) {
      EXPECT_EQ(info.signedPackage, 1) << what;
      EXPECT_EQ(info.logicalEnd, tableStart) << what;
      EXPECT_EQ(info.count, 2) << what << ": the real trailer, not the forged one";
      EXPECT_EQ(info.slack, tableStart - package.size()) << what;
      // The directory is read from before the table too.
      PackageReader reader;
      ASSERT_EQ(reader.Open(path_.c_str()), 1) << what;
      EXPECT_STREQ(reader.entry(1).name, "x.bin") << what;
      EXPECT_EQ(reader.entry(1).size, 500u) << what;
    }
  }
}

}  // namespace
