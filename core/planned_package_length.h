// The package's length foreseen before a byte is copied: for the progress total, and to
// refuse a package past the 4 GiB limit before gigabytes are copied only to be thrown away.
#pragma once
#include <stdint.h>

#include "core/binary_file.h"
#include "core/pack_list.h"

// The program part, the files in list order up to the first one that cannot be opened
// (whose refusal then comes from the copy), and, when every file opened, the directory
// and the trailer. The copy checks again, for files that change meanwhile.
uint64_t PlannedPackageLength(const PackFileList& list, BinaryFile& module);
