#include "core/icon_file.h"

#include <string.h>

#include "core/pe_image.h"

namespace {

const size_t kHeaderBytes = 6;
const size_t kEntryBytes = 16;
const uint32_t kBitmapHeaderBytes = 40;
const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

uint32_t BigEndian32(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// A directory's width or height: 0 stands for 256.
uint32_t Pixels(unsigned char stored) { return stored == 0 ? 256 : stored; }

// A PNG image: its header chunk comes first and gives the real width and height.
int PngAgrees(const IconImage& image) {
  if (image.size < 8 + 8 + 13 + 4 || memcmp(image.bytes + 12, "IHDR", 4) != 0) return 0;
  return BigEndian32(image.bytes + 16) == Pixels(image.width) &&
         BigEndian32(image.bytes + 20) == Pixels(image.height);
}

// A bitmap image: its header, its colour table and both masks (the height counts the
// two) must be what the entry says and lie inside the image.
int BitmapAgrees(IconImage& image) {
  if (image.size < kBitmapHeaderBytes) return 0;
  const unsigned char* header = image.bytes;
  const uint32_t headerBytes = PeU32(header);
  const uint32_t width = PeU32(header + 4), height = PeU32(header + 8);
  const uint16_t planes = PeU16(header + 12), bits = PeU16(header + 14);
  const uint32_t coloursUsed = PeU32(header + 32);
  if (headerBytes < kBitmapHeaderBytes || headerBytes > image.size || planes != 1) return 0;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return 0;
  if (width != Pixels(image.width) || height != 2 * Pixels(image.height)) return 0;
  if (image.bitCount != 0 && image.bitCount != bits) return 0;
  const uint64_t palette = coloursUsed != 0 ? coloursUsed : (bits <= 8 ? 1u << bits : 0);
  const uint64_t colourRow = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
  const uint64_t maskRow = ((static_cast<uint64_t>(width) + 31) / 32) * 4;
  const uint64_t needed = headerBytes + 4 * palette + (colourRow + maskRow) * Pixels(image.height);
  if (needed > image.size) return 0;
  image.bitCount = bits;
  return 1;
}

}  // namespace

IconFileStatus IconFile::ReadImage(const unsigned char* file, size_t length, uint32_t index) {
  const unsigned char* entry = file + kHeaderBytes + kEntryBytes * index;
  IconImage& image = images_[index];
  image.width = entry[0];
  image.height = entry[1];
  image.colours = entry[2];
  image.planes = 1;
  image.bitCount = PeU16(entry + 6);
  image.size = PeU32(entry + 8);
  const uint32_t offset = PeU32(entry + 12);
  const size_t imagesStart = kHeaderBytes + kEntryBytes * count_;
  if (offset < imagesStart || offset > length || length - offset < image.size) return kIconFilePastEnd;
  image.bytes = file + offset;
  if (image.size >= sizeof(kPngSignature) && memcmp(image.bytes, kPngSignature, sizeof(kPngSignature)) == 0) {
    if (!PngAgrees(image)) return kIconFileDisagrees;
    if (image.bitCount == 0) image.bitCount = 32;
    return kIconFileOk;
  }
  return BitmapAgrees(image) ? kIconFileOk : kIconFileDisagrees;
}

IconFileStatus IconFile::Read(const unsigned char* file, size_t length) {
  count_ = 0;
  badImage_ = 0;
  if (length < kHeaderBytes || PeU16(file) != 0 || PeU16(file + 2) != 1) return kIconFileBadHeader;
  const uint32_t count = PeU16(file + 4);
  if (count == 0) return kIconFileNoImage;
  if ((length - kHeaderBytes) / kEntryBytes < count) return kIconFilePastEnd;
  if (!images_.Allocate(count)) return kIconFileNoMemory;
  count_ = count;
  for (uint32_t i = 0; i < count; ++i) {
    const IconFileStatus status = ReadImage(file, length, i);
    if (status != kIconFileOk) {
      badImage_ = i + 1;
      count_ = 0;
      return status;
    }
  }
  return kIconFileOk;
}

void IconFile::WriteGroup(const uint16_t* ids, ByteBuilder& out) const {
  out.Append16(0);
  out.Append16(1);
  out.Append16(static_cast<uint16_t>(count_));
  for (uint32_t i = 0; i < count_; ++i) {
    const IconImage& image = images_[i];
    const unsigned char sizes[4] = {image.width, image.height, image.colours, 0};
    out.Append(sizes, sizeof(sizes));
    out.Append16(image.planes);
    out.Append16(image.bitCount);
    out.Append32(image.size);
    out.Append16(ids[i]);
  }
}
