// The code page of a package's names, so that a reader knows how to split them into
// characters: in a double-byte code page the second byte of a character may be '\'. A
// package whose names are all ASCII needs none and carries none. The record lies in the
// name field's slack of the first entry whose name leaves room for it, before the
// compression and checksum records (whose self-checks then cover it):
//
//   offset 208  4 bytes  tag "KVN1"
//   offset 212  4 bytes  the ANSI code page of every name in the directory
//   offset 216  4 bytes  checksum of the entry's bytes 0..215 followed by its offset and size
//
// A name of up to 207 characters leaves room for it.
#pragma once
#include <stdint.h>

#include "core/package_format.h"

const unsigned kCodePageRecordOffset = 208;

// Puts the record into an entry whose name, offset and size are set; 0, with the entry
// as it was, when the name leaves no room.
int WriteCodePageRecord(PackageDirEntry& entry, uint32_t codePage);
// 1 when the entry carries the record and it checks out.
int ReadCodePageRecord(const PackageDirEntry& entry, uint32_t* codePage);
// The code page recorded in the first entry that carries the record; 0 when none does.
uint32_t FindRecordedCodePage(const PackageDirEntry* entries, int count);

// 1 when every byte of the name is ASCII (below 0x80).
int IsAsciiName(const char* name);
