// PackFiles' members when a compressor is given: each group's stream with its members'
// entries, and the members that stay stored copied as they are, all in list order.
#pragma once
#include <stdint.h>

#include "core/member_compressor.h"
#include "core/pack_job.h"
#include "core/package_writer.h"

// The outcome of a failure and the file it names, as the rest of the pack reports it.
typedef PackResult CompressedPackFailure;

// Copies row `row` as it is, a stored member named `memberName` (an empty folder as an
// entry without bytes). A file whose length changes while it is copied is refused: it
// would be packed as no one wrote it. 0 on failure.
int StoreMember(const PackFileList& list, int row, const char* memberName, PackageWriter& writer,
                CompressedPackFailure* failure);

// Lets the compressor divide the list; *entries receives the directory's entry count
// (the members and one entry per compressed group). 0 on failure.
int PlanCompressedPack(const PackFileList& list, MemberCompressor& compressor, uint32_t* entries,
                       CompressedPackFailure* failure);

// Writes every member after the module image. 0 on failure.
int WriteCompressedMembers(const PackFileList& list, MemberCompressor& compressor, PackageWriter& writer,
                           CompressedPackFailure* failure);
