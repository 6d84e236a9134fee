#include "core/pe_image.h"

#include <string.h>

namespace {

const unsigned kSecurityDirectoryIndex = 4;
// The optional header's offset from the signature: "PE\0\0" and the 20-byte file header.
const unsigned kOptionalAt = 4 + 20;

// Zeroes the part of [at, at + width) that falls into the block at `blockStart`.
void ZeroRange(char* block, uint64_t blockStart, size_t blockLength, uint64_t at, unsigned width) {
  const uint64_t blockEnd = blockStart + blockLength;
  const uint64_t from = at > blockStart ? at : blockStart;
  const uint64_t to = at + width < blockEnd ? at + width : blockEnd;
  if (from < to) memset(block + (from - blockStart), 0, static_cast<size_t>(to - from));
}

// Zeroes the checksum field and the security directory as the bytes pass, then puts
// the checksum into its field once it is known (zero until then).
class HeaderRewrite : public BlockEditor {
 public:
  explicit HeaderRewrite(const PeSecurityLayout& layout) : layout_(layout), checksum_(0) {}
  void SetChecksum(uint32_t checksum) { checksum_ = checksum; }
  void Edit(char* bytes, size_t length, uint64_t at) override {
    ZeroRange(bytes, at, length, layout_.directoryOffset, 8);
    for (unsigned i = 0; i < 4; ++i) {
      const uint64_t position = layout_.checksumOffset + i;
      if (position >= at && position < at + length) bytes[position - at] = static_cast<char>(checksum_ >> (8 * i));
    }
  }

 private:
  const PeSecurityLayout& layout_;
  uint32_t checksum_;
};

}  // namespace

int ReadPeHeaders(BinaryFile& file, uint64_t length, PeHeaders* headers) {
  unsigned char dos[64];
  if (length < sizeof(dos) || !file.ReadAt(0, dos, sizeof(dos))) return 0;
  if (dos[0] != 'M' || dos[1] != 'Z') return 0;
  const uint64_t peOffset = PeU32(dos + 0x3C);
  if (peOffset >= length) return 0;
  // Signature, file header, and the optional header up to the end of its directories;
  // nothing past `length` is looked at.
  unsigned char bytes[kOptionalAt + 240];
  const uint64_t remaining = length - peOffset;
  const size_t available = remaining < sizeof(bytes) ? static_cast<size_t>(remaining) : sizeof(bytes);
  if (available < kOptionalAt + 64 || !file.ReadAt(peOffset, bytes, available)) return 0;
  if (memcmp(bytes, "PE\0\0", 4) != 0) return 0;
  const unsigned char* optional = bytes + kOptionalAt;
  const uint16_t magic = PeU16(optional);
  const unsigned directoriesAt = magic == kPe32Magic ? 96 : (magic == kPe32PlusMagic ? 112 : 0);
  if (directoriesAt == 0) return 0;
  const unsigned optionalSize = PeU16(bytes + 20);
  headers->sectionTableOffset = peOffset + kOptionalAt + optionalSize;
  headers->sectionCount = PeU16(bytes + 6);
  headers->symbolTableOffset = PeU32(bytes + 12);
  headers->symbolCount = PeU32(bytes + 16);
  PeSecurityLayout& security = headers->security;
  security.checksumOffset = peOffset + kOptionalAt + 64;
  security.headersSize = PeU32(optional + 60);
  const unsigned entryAt = directoriesAt + 8 * kSecurityDirectoryIndex;
  // The entry must lie inside the optional header and the bytes read, and the header must
  // count it among its directories (NumberOfRvaAndSizes).
  headers->hasSecurityDirectory = optionalSize >= entryAt + 8 && kOptionalAt + entryAt + 8 <= available &&
                                  PeU32(optional + directoriesAt - 4) > kSecurityDirectoryIndex;
  if (headers->hasSecurityDirectory) {
    security.directoryOffset = peOffset + kOptionalAt + entryAt;
    security.tableOffset = PeU32(optional + entryAt);
    security.tableSize = PeU32(optional + entryAt + 4);
  }
  return 1;
}

int ReadPeSecurityLayout(BinaryFile& file, uint64_t length, PeSecurityLayout* layout) {
  PeHeaders headers;
  if (!ReadPeHeaders(file, length, &headers) || !headers.hasSecurityDirectory) return 0;
  *layout = headers.security;
  return 1;
}

int FindCertificateTable(BinaryFile& file, uint64_t length, uint64_t* tableStart) {
  PeHeaders headers;
  return ReadPeHeaders(file, length, &headers) && FindCertificateTable(file, length, headers, tableStart);
}

int FindCertificateTable(BinaryFile& file, uint64_t length, const PeHeaders& headers, uint64_t* tableStart) {
  if (!headers.hasSecurityDirectory) return 0;
  const PeSecurityLayout& layout = headers.security;
  if (layout.tableOffset == 0 || layout.tableSize == 0) return 0;
  if (layout.tableOffset % 8 != 0) return 0;
  if (layout.tableOffset < layout.headersSize ||
      layout.tableOffset < layout.directoryOffset + 8) {
    return 0;
  }
  if (static_cast<uint64_t>(layout.tableOffset) + layout.tableSize != length) return 0;
  unsigned char firstLength[4];
  if (!file.ReadAt(layout.tableOffset, firstLength, sizeof(firstLength))) return 0;
  const uint32_t certificateLength = PeU32(firstLength);
  if (certificateLength < 8 || certificateLength > layout.tableSize) return 0;
  *tableStart = layout.tableOffset;
  return 1;
}

void PlanUnsignedProgram(BinaryFile& program, uint64_t programLength, ProgramImagePlan* plan) {
  memset(plan, 0, sizeof(*plan));
  plan->length = programLength;
  PeSecurityLayout& layout = plan->layout;
  if (!ReadPeSecurityLayout(program, programLength, &layout)) return;
  if (layout.tableOffset == 0 && layout.tableSize == 0) return;
  plan->rewriteHeaders = 1;
  const uint64_t tableEnd = static_cast<uint64_t>(layout.tableOffset) + layout.tableSize;
  // Only a table that leaves the headers whole is cut off; any other is just forgotten.
  if (tableEnd == programLength && layout.tableOffset >= layout.directoryOffset + 8) {
    plan->length = layout.tableOffset;
  }
}

void PlanBareProgram(BinaryFile& package, uint64_t imageLength, ProgramImagePlan* plan) {
  memset(plan, 0, sizeof(*plan));
  plan->length = imageLength;
  PeSecurityLayout& layout = plan->layout;
  if (!ReadPeSecurityLayout(package, imageLength, &layout)) return;
  if (layout.tableOffset == 0 && layout.tableSize == 0) return;
  if (static_cast<uint64_t>(layout.tableOffset) + layout.tableSize == imageLength) return;
  plan->rewriteHeaders = 1;
}

CopyResult CopyProgramImage(BinaryFile& source, BinaryFile& destination, const ProgramImagePlan& plan,
                            const CopyBuffer& buffer, uint64_t* copied, CopyObserver* observer) {
  *copied = 0;
  HeaderRewrite rewrite(plan.layout);
  if (plan.rewriteHeaders) {
    // A first pass over the cleaned headers, for the checksum that goes into them.
    PeChecksum checksum;
    uint64_t summed = 0;
    if (!source.Seek(0)) return kCopyReadFailed;
    const CopyResult result = MoveBlocks(source, nullptr, plan.length, buffer, &summed, &checksum, &rewrite);
    if (result != kCopyDone) return result;
    rewrite.SetChecksum(checksum.Finish());
  }
  if (!source.Seek(0)) return kCopyReadFailed;
  return MoveBlocks(source, &destination, plan.length, buffer, copied, observer,
                    plan.rewriteHeaders ? &rewrite : nullptr);
}

void PeChecksum::Add(const char* bytes, size_t length) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
  length_ += length;
  size_t i = 0;
  if (haveOdd_ && length > 0) {
    sum_ += static_cast<uint32_t>(odd_ | (p[0] << 8));
    sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
    haveOdd_ = 0;
    i = 1;
  }
  for (; i + 1 < length; i += 2) {
    sum_ += static_cast<uint32_t>(p[i] | (p[i + 1] << 8));
    sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
  }
  if (i < length) {
    odd_ = p[i];
    haveOdd_ = 1;
  }
}

uint32_t PeChecksum::Finish() const {
  uint32_t sum = sum_;
  if (haveOdd_) {
    sum += odd_;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + length_);
}
