#include "core/program_end.h"

#include "core/pe_image.h"

namespace {

const unsigned kSectionHeaderSize = 40;
const unsigned kSymbolSize = 18;

uint64_t Larger(uint64_t a, uint64_t b) { return a > b ? a : b; }

// The raw data of every section; 0 when the table does not lie inside the file.
int SectionsEnd(BinaryFile& file, uint64_t length, uint64_t tableAt, unsigned sections, uint64_t* end) {
  if (tableAt + static_cast<uint64_t>(sections) * kSectionHeaderSize > length) return 0;
  for (unsigned i = 0; i < sections; ++i) {
    unsigned char header[kSectionHeaderSize];
    if (!file.ReadAt(tableAt + i * kSectionHeaderSize, header, sizeof(header))) return 0;
    const uint32_t rawSize = PeU32(header + 16);
    if (rawSize > 0) *end = Larger(*end, static_cast<uint64_t>(PeU32(header + 20)) + rawSize);
  }
  return 1;
}

// COFF symbols (left in by an unstripped build) and the string table right after them,
// whose first four bytes give its length.
uint64_t SymbolsEnd(BinaryFile& file, uint64_t length, uint32_t symbolsAt, uint32_t symbols) {
  if (symbolsAt == 0) return 0;
  const uint64_t tableEnd = symbolsAt + static_cast<uint64_t>(symbols) * kSymbolSize;
  unsigned char stringsLength[4];
  if (tableEnd + 4 > length || !file.ReadAt(tableEnd, stringsLength, 4)) return tableEnd;
  return tableEnd + PeU32(stringsLength);
}

}  // namespace

int FindProgramImageEnd(BinaryFile& file, uint64_t length, uint64_t* end) {
  PeHeaders headers;
  if (!ReadPeHeaders(file, length, &headers)) return 0;
  uint64_t imageEnd = headers.security.headersSize;
  if (!SectionsEnd(file, length, headers.sectionTableOffset, headers.sectionCount, &imageEnd)) return 0;
  imageEnd = Larger(imageEnd, SymbolsEnd(file, length, headers.symbolTableOffset, headers.symbolCount));
  uint64_t tableStart = 0;
  // A signature is appended after everything else and ends the file.
  if (FindCertificateTable(file, length, headers, &tableStart)) imageEnd = Larger(imageEnd, length);
  *end = imageEnd;
  return 1;
}

int GoesOnPastProgram(BinaryFile& file) {
  uint64_t length = 0;
  uint64_t end = 0;
  return file.GetLength(&length) && FindProgramImageEnd(file, length, &end) && end < length ? 1 : 0;
}
