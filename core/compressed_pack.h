// PackFiles' members when a compressor is given: each group's stream with its members'
// entries, and the members that stay stored copied as they are, all in list order.
#pragma once
#include <stdint.h>

#include "core/member_compressor.h"
#include "core/pack_list.h"
#include "core/pack_outcome.h"
#include "core/package_writer.h"

// Copies row `row` as it is, a stored member named `memberName` (an empty folder as an
// entry without bytes). A file whose length changes while it is copied is refused: it
// would be packed as no one wrote it. kPackCompleted, or the failure in *result.
PackOutcome StoreMember(const PackFileList& list, int row, const char* memberName, PackageWriter& writer,
                        PackResult* result);

// Lets the compressor divide the list; *entries receives the directory's entry count
// (the members and one entry per compressed group).
PackOutcome PlanCompressedPack(const PackFileList& list, MemberCompressor& compressor, uint32_t* entries,
                               PackResult* result);

// Writes every member after the module image.
PackOutcome WriteCompressedMembers(const PackFileList& list, MemberCompressor& compressor, PackageWriter& writer,
                                   PackResult* result);

// Writes the directory and the trailer: as a table when the package holds a group or a
// copy, so that only readers that know them read it.
PackOutcome FinishCompressedPackage(MemberCompressor& compressor, PackageWriter& writer, PackResult* result);

// The steps of a compressed pack. PackFiles reaches them through this interface alone, so
// that a program that never compresses (the window) does not carry them.
class CompressedPackSteps {
 public:
  virtual PackOutcome Plan(const PackFileList& list, uint32_t* entries, PackResult* result) = 0;
  virtual PackOutcome WriteMembers(const PackFileList& list, PackageWriter& writer, PackResult* result) = 0;
  virtual PackOutcome Finish(PackageWriter& writer, PackResult* result) = 0;

 protected:
  ~CompressedPackSteps() {}
};

// The steps above, with the given compressor.
class CompressedPackWriter : public CompressedPackSteps {
 public:
  explicit CompressedPackWriter(MemberCompressor& compressor) : compressor_(compressor) {}
  PackOutcome Plan(const PackFileList& list, uint32_t* entries, PackResult* result) override;
  PackOutcome WriteMembers(const PackFileList& list, PackageWriter& writer, PackResult* result) override;
  PackOutcome Finish(PackageWriter& writer, PackResult* result) override;

 private:
  MemberCompressor& compressor_;
};
