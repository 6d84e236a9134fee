// What the package core needs to know of a program file's PE headers: where its
// checksum and its security directory (the certificate table of a signature) lie.
// A signature is appended after everything else and covers all but the checksum, that
// directory and the table itself, so a signed package is still laid out as unsigned
// up to the table's start.
#pragma once
#include <stdint.h>

#include "core/binary_file.h"
#include "core/block_copy.h"

// The optional header's magic: PE32 (32-bit programs) and PE32+ (64-bit programs).
const uint16_t kPe32Magic = 0x10B;
const uint16_t kPe32PlusMagic = 0x20B;

// Little-endian fields of the headers, whatever the host's byte order.
inline uint16_t PeU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t PeU32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct PeSecurityLayout {
  uint64_t checksumOffset;   // the optional header's 4-byte CheckSum
  uint64_t directoryOffset;  // the 8-byte security directory entry: table offset, table size
  uint32_t headersSize;      // SizeOfHeaders
  uint32_t tableOffset;      // as stored in the directory
  uint32_t tableSize;
};

// The headers of a PE image (PE32 or PE32+), read and checked in one place: every field
// filled here was read from inside the bytes given, so what reads on from them takes them
// as they are. The section table itself is not read: whoever walks it checks that it lies
// in the file.
struct PeHeaders {
  uint64_t sectionTableOffset;  // right after the optional header, by its declared size
  unsigned sectionCount;
  uint32_t symbolTableOffset;   // the COFF symbols of an unstripped build: 0 when there are none
  uint32_t symbolCount;
  int hasSecurityDirectory;     // the optional header holds the security directory's entry
  // The checksum's offset and SizeOfHeaders always; the directory's offset and what it
  // holds only when hasSecurityDirectory.
  PeSecurityLayout security;
};

// Reads the headers of the first `length` bytes of the file: 1 when they are a PE
// image's, as far as SizeOfHeaders at least, inside those bytes (*headers is filled only
// then).
int ReadPeHeaders(BinaryFile& file, uint64_t length, PeHeaders* headers);

// Reads the headers of the first `length` bytes of the file. Returns 1 when they are a
// PE image with a security directory that lies inside those bytes.
int ReadPeSecurityLayout(BinaryFile& file, uint64_t length, PeSecurityLayout* layout);

// 1 when the file of `length` bytes carries a certificate table at its end that can be
// trusted as one: the directory is non-zero, 8-byte aligned, past the headers, ends
// exactly at the end of the file, and its first certificate's length lies between 8 and
// the table's size. *tableStart is then where the table begins.
int FindCertificateTable(BinaryFile& file, uint64_t length, uint64_t* tableStart);
// The same for headers read already from those `length` bytes.
int FindCertificateTable(BinaryFile& file, uint64_t length, const PeHeaders& headers, uint64_t* tableStart);

// How the first `length` bytes of a file become a clean, signable program: copied as
// they are, or with the security directory zeroed and the checksum made anew.
struct ProgramImagePlan {
  uint64_t length;         // bytes taken from the file
  int rewriteHeaders;      // zero the directory and recompute the checksum
  PeSecurityLayout layout;
};

// The module image of a package written from this program file: without a signature
// that ends at the file's end, and without a directory that points at none.
void PlanUnsignedProgram(BinaryFile& program, uint64_t programLength, ProgramImagePlan* plan);

// The bare program of a package, the `imageLength` bytes before member 0: unchanged,
// unless its directory describes a table that does not end exactly there (the signature
// of the package, not of the program), which is then dropped.
void PlanBareProgram(BinaryFile& package, uint64_t imageLength, ProgramImagePlan* plan);

// Copies the planned bytes from the source's start to the destination's current
// position (which must be its start when headers are rewritten). With a rewrite the
// source is read twice: once for the checksum, once for the copy.
CopyResult CopyProgramImage(BinaryFile& source, BinaryFile& destination, const ProgramImagePlan& plan,
                            const CopyBuffer& buffer, uint64_t* copied, CopyObserver* observer = nullptr);

// The PE checksum: 16-bit little-endian words added with end-around carry, then the
// file length. The CheckSum field itself must be passed in as zero bytes.
class PeChecksum : public CopyObserver {
 public:
  PeChecksum() : sum_(0), odd_(0), haveOdd_(0), length_(0) {}
  void Observe(const char* bytes, size_t length) override { Add(bytes, length); }
  void Add(const char* bytes, size_t length);
  uint32_t Finish() const;

 private:
  uint32_t sum_;
  unsigned char odd_;
  int haveOdd_;
  uint64_t length_;
};
