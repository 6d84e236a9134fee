// The rules a list must pass before anything is created: exactly one setup program at
// the top of the package, no member that already is a package, and member names that
// every reader accepts and that do not clash.
#pragma once
#include "core/pack_list.h"
#include "core/pack_outcome.h"

class PackMemberList;

// Number of rows, files at the top of the package only, whose lower-cased name is a
// setup program name.
unsigned CountSetupPrograms(const PackFileList& list);

// The first file row, from the top, whose own lower-cased name contains "kvpack":
// its row, with the lower-cased name in `lowerName`; -1 when there is none.
int FindPackedMember(const PackFileList& list, char (&lowerName)[kMemberNameSize]);

// A name that no reader would take would make a package that never runs; a name the
// package's code page cannot hold would be stored as another name; a file where a folder
// of the same name lies would land in it or fail. kPackCompleted when every name passes.
PackOutcome CheckMemberNames(const PackMemberList& list, PackResult* result);
