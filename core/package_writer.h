// Writing a package: the module image, then each member in list order at the running
// offset, then the directory and the trailer. Every write is checked, and nothing is
// let past the 4 GiB that the 32-bit offsets and sizes can describe.
#pragma once
#include <stdint.h>

#include "core/binary_file.h"
#include "core/block_copy.h"
#include "core/growable_block.h"
#include "core/member_checksum.h"
#include "core/package_format.h"

enum PackageWriteStatus {
  kPackageWriteOk = 1,
  kPackageWriteFailed,     // the package took fewer bytes than it was given
  kPackageReadFailed,      // a source file reported a read error
  kPackageTooLarge,        // the package would grow past the greatest length allowed
  kPackageOutOfMemory,     // the directory buffer could not be had
};

class PackageWriter {
 public:
  // The writer does not own the file; the caller closes it after Finish.
  // `maxLength` is the greatest length the package may have (a package of exactly that
  // length is written); tests lower it to reach the limit without writing gigabytes.
  PackageWriter(BinaryFile& package, uint32_t memberCount, const CopyBuffer& buffer,
                uint64_t maxLength = kMaxPackageLength);
  ~PackageWriter();
  PackageWriter(const PackageWriter&) = delete;
  PackageWriter& operator=(const PackageWriter&) = delete;

  // Copies the program file, without a signature of its own: a signed program packs a
  // package that can be signed anew.
  PackageWriteStatus AppendModuleImage(BinaryFile& program);
  // The program part from memory (a program made anew, unsigned), with the offsets of its
  // PE checksum and security directory entry, which its checksum record counts as zeros.
  PackageWriteStatus AppendModuleBytes(const char* bytes, size_t length, uint64_t checksumAt, uint64_t directoryAt);
  // Copies the whole member file and records `name` (a member name) with its offset, size
  // and, where the name leaves room, its checksum record.
  PackageWriteStatus AppendMember(BinaryFile& source, const char* name);
  // Records an empty folder: `name` ends with '\'; no bytes, offset at the running
  // offset, and the checksum record of nothing, as an empty file gets.
  PackageWriteStatus AppendFolder(const char* name);
  // Writes a compressed group's stream and its entry; the group's members follow, each
  // added by AppendCompressedMember, stored ones among them by AppendMember or AppendFolder. The entry count given to the constructor counts the
  // group's entry too.
  PackageWriteStatus AppendGroupStream(const char* stream, size_t length, uint32_t memberCount,
                                       uint64_t originalSize);
  // The same in pieces, for a stream written as it is made: nothing before it in the file
  // depends on its length, which its entry (in the directory, at the end) records.
  PackageWriteStatus BeginGroupStream();
  PackageWriteStatus PutGroupBytes(const char* bytes, size_t length);
  PackageWriteStatus EndGroupStream(uint32_t memberCount, uint64_t originalSize);
  // Records a member of the group whose stream came last: its name (of at most
  // kMaxCompressedNameLength characters), its original size and checksum.
  PackageWriteStatus AppendCompressedMember(const char* name, uint32_t originalSize, uint32_t checksum);
  // Records a copy: a member whose bytes are those of the earlier member at directory entry
  // `original` (its name of at most kMaxCompressedNameLength characters). Only a directory
  // finished as a table may hold copies.
  PackageWriteStatus AppendCopy(const char* name, uint32_t original, uint32_t originalSize, uint32_t checksum);
  // The code page to record in the directory (0, the default: none), for a package whose
  // names are not all ASCII.
  void SetNameCodePage(uint32_t codePage) { codePage_ = codePage; }
  // Writes the directory and the trailer.
  PackageWriteStatus Finish();
  // The directory as it stands, its code page recorded, for a caller that compresses it
  // into a table; *length receives its bytes.
  const char* CompleteDirectory(size_t* length);
  // Writes `stream`, the directory compressed (see CompleteDirectory), then one entry that
  // holds it and the trailer.
  PackageWriteStatus FinishWithTable(const char* stream, size_t length);

  uint64_t runningOffset() const { return offset_; }
  // Entries recorded so far: the index of the next one.
  uint32_t entryCount() const { return written_; }
  // The checksum recorded for the member bytes of entry `index` (compressed or stored);
  // 0 when it carries none.
  int RecordedChecksum(uint32_t index, uint32_t* checksum) const;
  // 1 once a group or a copy was recorded: readers must then know compression.
  int holdsCompressedMembers() const { return compressed_; }
  // Sees every byte copied into the package from the sources (not the directory).
  void SetObserver(CopyObserver* observer) { observer_ = observer; }

 private:
  PackageWriteStatus AppendWholeFile(BinaryFile& source, CopyObserver* checksum);
  PackageDirEntry* NewEntry(const char* name, size_t longestName);
  PackageWriteStatus CloseEntryWithoutBytes(PackageDirEntry& entry);
  PackageWriteStatus WriteTrailer(uint32_t count);

  BinaryFile& package_;
  const CopyBuffer& buffer_;
  GrowableBlock<PackageDirEntry> entries_;
  uint32_t capacity_;
  uint32_t written_;
  uint64_t offset_;
  uint64_t maxLength_;
  CopyObserver* observer_;
  uint32_t moduleImageChecksum_;
  uint32_t lastGroup_;
  uint64_t groupStart_;          // where the stream being written began
  MemberChecksum groupChecksum_;  // of its bytes so far
  uint32_t codePage_;
  int compressed_;
  int codePageRecorded_;
};
