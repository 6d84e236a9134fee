// The Pack command apart from whoever shows it: the rules on the list, the package path,
// the writing through a temporary package, and the outcome. The packaging window and the
// command-line tool both pack through this, so that they write the same bytes and refuse
// the same lists with the same words.
#pragma once
#include <stdint.h>

#include "core/block_copy.h"
#include "core/name_code_page.h"
#include "core/pack_list.h"
#include "core/pack_outcome.h"
#include "core/package_writer.h"
#include "core/temporary_package.h"

class FolderWalker;
class MemberNameEncoder;

// Sees every byte copied into the package, after being told how many to expect.
class PackObserver : public CopyObserver {
 public:
  // The package's length as its files are now (folders walked), once before the first
  // byte is copied; a compressed package ends up shorter.
  virtual void Expect(uint64_t bytes) = 0;

 protected:
  ~PackObserver() {}
};

class CompressedPackSteps;

// The program part of a package made in memory (a branded copy of the module file),
// written in place of the module file's own bytes. Only the tool fills it in, so that
// the window's program links none of it.
class ProgramImageSource {
 public:
  virtual PackageWriteStatus AppendTo(PackageWriter& writer) = 0;

 protected:
  ~ProgramImageSource() {}
};

struct PackOptions {
  // Where the package goes; null or empty: KVPACK_<folder>.exe beside the top entry.
  const char* packagePath;
  // The greatest package length allowed (a package of exactly this length is written);
  // tests lower it to reach the limit without writing gigabytes.
  uint64_t maxPackageLength;
  // Sees every byte copied into the package (progress); may be null.
  PackObserver* observer;
  // Knows the temporary package while it exists; may be null.
  TemporaryFileWatch* temporaryWatch;
  // Null: every member is stored as it is. Otherwise the members are written in the
  // compressor's groups (a CompressedPackWriter).
  CompressedPackSteps* compressor;
  // Reads folders, so that a folder row packs its tree; null: a folder cannot be packed.
  FolderWalker* walker;
  // Turns host names into the package's code page; null: names are stored as they are.
  MemberNameEncoder* encoder;
  // The code page of the stored names, in which they are split and compared, and which a
  // package with names that are not all ASCII records; null: names are taken byte by
  // byte and no code page is recorded.
  const NameCodePage* codePage;
  // Null: the module file is the program part.
  ProgramImageSource* program;
};

// Options of a plain pack: the derived package path, the 4 GiB limit.
PackOptions DefaultPackOptions();

// The whole command. The package appears at its path only once it is whole; on every
// failure an earlier package there is left as it was and nothing else remains.
PackOutcome PackFiles(const PackFileList& list, const char* modulePath, const PackOptions& options,
                      PackResult* result);
