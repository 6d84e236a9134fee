// How a pack ended, and the file that the ending names. Every step of a pack reports
// through these, so that the window and the command-line tool say the same thing.
#pragma once
#include "core/package_writer.h"
#include "core/path_limits.h"

enum PackOutcome {
  kPackCompleted = 0,
  kPackNoSetupProgram,
  kPackTooManySetupPrograms,
  kPackAlreadyPacked,        // names the lower-cased file name
  kPackUnsafeMemberName,     // names the file name, which no reader would accept
  kPackCannotCreate,
  kPackCannotOpenModule,
  kPackCannotOpenFile,       // names the member (a file, or a folder that cannot be listed)
  kPackCannotWrite,
  kPackTooLarge,
  kPackFileChanged,          // names the file name: its length changed while it was copied
  kPackLinkInFolder,         // names the member: a symbolic link or junction inside a folder
  kPackFileBesideFolder,     // names the file: a folder of the same name is packed too
  kPackNameNotEncoded,       // names the member: the package's code page cannot hold it
};

struct PackResult {
  PackOutcome outcome;
  char name[kMemberNameSize];  // the file the outcome names, or empty
};

// Records the outcome and the name (cut to fit) and returns the outcome.
PackOutcome SetPackOutcome(PackResult* result, PackOutcome outcome, const char* name = "");

// Records what a failed write of the package means: a source that could not be read is
// `onReadFailure` (naming `name`), the 4 GiB limit is kPackTooLarge, and anything else
// a failed write.
PackOutcome SetWriteFailure(PackResult* result, PackageWriteStatus status, PackOutcome onReadFailure,
                            const char* name = "");
