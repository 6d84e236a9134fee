// Reading a package: the trailer lookup at the end of the file and the directory before
// it. A directory that the writer could not have produced is refused whole, so that a
// damaged package is treated as no package and nothing of it is ever extracted.
#pragma once
#include <stdint.h>

#include "core/binary_file.h"
#include "core/block_copy.h"
#include "core/group_source.h"
#include "core/growable_block.h"
#include "core/member_map.h"
#include "core/member_name.h"
#include "core/package_format.h"
#include "core/worker_threads.h"

struct PackageTrailerInfo {
  uint64_t logicalEnd;   // the file's length, or where its certificate table starts
  int signedPackage;     // 1 when a certificate table follows the package
  unsigned slack;        // bytes between the trailer and the logical end, 0..127
  int32_t count;         // entry count as stored
};

// Looks for the magic at the 128 positions from 20 to 147 bytes before the logical end
// of the file. Returns 1 and fills *info when found. A signed file is searched before
// its certificate table only: bytes inside the signature are never taken for a trailer.
int LocatePackageTrailer(BinaryFile& file, PackageTrailerInfo* info);

// Why a file is not a well-formed package.
enum PackageStatus {
  kPackageOk = 0,
  kPackageCannotOpen,          // the file cannot be opened for reading
  kPackageNoTrailer,           // no trailer at the end: a plain program
  kPackageCutShort,            // no trailer, but bytes after the program: a damaged package
  kPackageNegativeCount,       // the trailer's count is below zero
  kPackageBeyondFormatLimit,   // the package would end at or past 4 GiB
  kPackageDirectoryOutside,    // the directory would start before the file does
  kPackageDirectoryUnreadable,  // the directory cannot be read
  kPackageNoMemory,             // no room for the directory
  kPackageUnsafeName,          // an entry's name could leave its folder (nameProblem() says how)
  kPackageMemberOutside,       // an entry's bytes reach past the member data
  kPackageFileBesideFolder,    // a file's name is also a folder's (letter case ignored)
  kPackageEqualNames,          // two entries' names are equal (letter case ignored)
  kPackageFolderWithBytes,     // a folder's entry ("name\") holds bytes
  kPackageTableDamaged,        // the directory's table does not decode to what was packed
  kPackageGroupOverrun,        // a group counts more members than follow it before a record
};

// Where a reader that writes members finds one it wrote before, so that a later copy of
// its bytes is read back rather than decoded again.
class WrittenMembers {
 public:
  // Opens member `index`'s written file for reading; 0 when it cannot.
  virtual int OpenWritten(int index, BinaryFile& file) = 0;

 protected:
  ~WrittenMembers() {}
};

// An open package: its file, its validated directory, and where the regions begin. Its
// members are the directory's entries less the entries of compressed groups' streams;
// a compressed member is decoded as it is copied (by its group source), so that its users
// see original bytes.
class PackageReader {
 public:
  PackageReader();
  ~PackageReader();
  PackageReader(const PackageReader&) = delete;
  PackageReader& operator=(const PackageReader&) = delete;

  // The code page in which a package that records one has its names read, when it is
  // known on this side: the Windows programs give the system's, whose rules the names
  // meet when they are written. Without it such names are read in the recorded code
  // page; a package that records none has its names read byte by byte.
  void SetHostCodePage(const NameCodePage& codePage);
  // The code page the names were checked in, as Open found it.
  const NameCodePage& nameCodePage() const { return codePage_; }

  // Opens the file and reads its directory. Returns 1 for a well-formed package; 0 for
  // a file that cannot be opened, is not a package, or carries a malformed directory
  // (status() and badEntry() then say why).
  int Open(const char* path);

  PackageStatus status() const { return status_; }
  int badEntry() const { return badEntry_; }  // the entry that was refused, or -1
  // With kPackageUnsafeName: what is wrong with the refused entry's name.
  MemberNameProblem nameProblem() const { return nameProblem_; }
  // The refused entry's name field (terminated; cut where the name has no terminator).
  void GetBadName(char (&name)[260]) const;

  BinaryFile& file() { return file_; }
  // Members, in directory order. A member whose name ends with '\' is an empty folder
  // (size 0, never compressed).
  int count() const { return count_; }
  // The member's directory entry as stored (a compressed member's size there is 0).
  const PackageDirEntry& entry(int index) const { return entries_[slots_[index].entry]; }
  // The size of the member's bytes once decoded (a stored member's size).
  uint32_t originalSize(int index) const { return slots_[index].originalSize; }
  // 1 when the member is compressed in a group.
  int isCompressed(int index) const { return slots_[index].group >= 0; }
  // The directory index of the member's group entry, or -1 for a stored member.
  int groupEntry(int index) const { return slots_[index].group; }
  // For a copy, the earlier member whose bytes it repeats; otherwise -1.
  int copyOf(int index) const { return slots_[index].copyOf; }
  // Copies are read back from here when their earlier member is compressed (the caller
  // keeps it alive while it copies); without it, that member is decoded again.
  void SetWrittenMembers(WrittenMembers* written) { written_ = written; }
  // Threads on which the groups that come next are decoded while the caller writes the
  // members before them (set before Open; the threads outlive the reader). The bytes
  // handed out and their order are the same with threads or without.
  void SetWorkerThreads(WorkerThreads* threads) { source_.SetWorkerThreads(threads); }
  const PackageTrailerInfo& trailer() const { return trailer_; }
  // Length of the module image: the offset of member 0, or with no members everything
  // before the directory.
  uint64_t moduleImageLength() const;

  // Copies member `index` to the destination's current position: kMemberIntact when
  // every byte was read and written and, where the entry carries a checksum record, the
  // bytes match it; kMemberDamaged when they do not.
  MemberCopyResult CopyMember(int index, BinaryFile& destination, const CopyBuffer& buffer,
                              CopyObserver* observer = nullptr);

  // Reads member `index` through its checksum without writing it anywhere (a member
  // without a record is not read and counts as intact).
  MemberCopyResult CheckMember(int index, const CopyBuffer& buffer);
  // 1 when entry `index` carries a checksum record.
  int HasChecksum(int index) const;
  // The checksum the member's bytes must have; 0 when the entry carries no record.
  int ExpectedChecksum(int index, uint32_t* checksum) const;
  // The checksum the module image must have (as ModuleImageChecksum counts it); 0 when
  // entry 0 carries no record.
  int ExpectedModuleImageChecksum(uint32_t* checksum) const;
  // Reads the module image through its checksum: kMemberIntact when it matches the
  // record of entry 0, or there is none; kMemberDamaged when it does not.
  MemberCopyResult CheckModuleImage(const CopyBuffer& buffer);

 private:
  int Refuse(PackageStatus status, int entry = -1);
  // Replaces the one entry that holds the directory's table by the table's entries.
  PackageStatus ReadTable();
  // The directory's entries as read: names and bounds, then the members and their layout.
  int CheckDirectory(int copiesAllowed);
  MemberCopyResult CopyDuplicate(int index, BinaryFile* destination, const CopyBuffer& buffer,
                                 CopyObserver* observer);
  // The rules across entries: names, folder entries, files beside folders.
  int CheckLayout();

  BinaryFile file_;
  GrowableBlock<PackageDirEntry> entries_;
  GrowableBlock<MemberSlot> slots_;
  int entryCount_;
  int count_;
  GroupSource source_;
  WrittenMembers* written_;
  uint64_t directoryStart_;
  PackageTrailerInfo trailer_;
  PackageStatus status_;
  int badEntry_;
  MemberNameProblem nameProblem_;
  char badName_[260];
  NameCodePage hostCodePage_;
  int haveHostCodePage_;
  NameCodePage codePage_;
};

// A sentence that says what is wrong with a package that Open refused.
const char* DescribePackageStatus(PackageStatus status);
