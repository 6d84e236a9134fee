// An icon file (.ico) as the images of a program's icon group: a 6-byte header (0, type 1,
// the image count), a 16-byte directory entry per image, then the images, each a bitmap
// (a BITMAPINFOHEADER, the colours, the XOR and AND masks) or a PNG file. Every entry is
// checked against the file and against its image's own header before it is used.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/byte_builder.h"
#include "core/growable_block.h"

struct IconImage {
  const unsigned char* bytes;  // into the file's bytes
  uint32_t size;
  unsigned char width;         // as in the directory: 0 for 256
  unsigned char height;
  unsigned char colours;
  uint16_t planes;
  uint16_t bitCount;
};

enum IconFileStatus {
  kIconFileOk = 0,
  kIconFileBadHeader,      // not an icon file: too short, wrong reserved word or type
  kIconFileNoImage,        // the count is 0
  kIconFilePastEnd,        // a directory entry or an image reaches past the file's end
  kIconFileDisagrees,      // an entry's size or depth is not its image's
  kIconFileNoMemory,
};

class IconFile {
 public:
  IconFile() : count_(0), badImage_(0) {}
  IconFile(const IconFile&) = delete;
  IconFile& operator=(const IconFile&) = delete;

  IconFileStatus Read(const unsigned char* file, size_t length);

  uint32_t count() const { return count_; }
  const IconImage& image(uint32_t index) const { return images_[index]; }
  // The image (from 1) that a failure is about.
  uint32_t badImage() const { return badImage_; }

  // The icon group resource: the header, then one 14-byte entry per image, naming image
  // i by the resource number ids[i].
  void WriteGroup(const uint16_t* ids, ByteBuilder& out) const;

 private:
  IconFileStatus ReadImage(const unsigned char* file, size_t length, uint32_t index);

  GrowableBlock<IconImage> images_;
  uint32_t count_;
  uint32_t badImage_;
};
