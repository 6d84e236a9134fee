// The Pack rules, apart from whoever shows them: the checks on the list of files, the
// package path, the writing through a temporary file, and the words of every outcome.
// The packaging window and the command-line tool both pack through this, so that they
// write the same bytes and refuse the same lists with the same words.
#pragma once
#include <stdint.h>

#include "core/block_copy.h"
#include "core/member_compressor.h"
#include "core/name_code_page.h"
#include "core/package_format.h"

class FolderWalker;
class MemberNameEncoder;

// The files (and folders) to pack, top row (member 0) first, each as a full path.
class PackFileList {
 public:
  virtual int GetCount() const = 0;
  // The row's text, cut to fit and always terminated.
  virtual void GetRowText(int row, char (&text)[kCorePathSize]) const = 0;
  // The name the row is stored under: by default its file-name part, cut to fit.
  virtual void GetMemberName(int row, char (&name)[260]) const;
  // 1 for a row that stands for an empty folder: a member without bytes.
  virtual int IsFolderRow(int row) const;

 protected:
  ~PackFileList() {}
};

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
  kPackEqualNames,           // names the member: another one has the same name, letter case ignored
};

struct PackResult {
  PackOutcome outcome;
  char name[260];  // the file the outcome names, or empty
};

// Told where the temporary package is while it exists, so that a job that is
// interrupted from outside (a signal, a console break) can remove it.
class TemporaryFileWatch {
 public:
  // Called just before the file is made, then with the file once it is made (`path`
  // null when none could be made).
  virtual void Creating() = 0;
  virtual void Created(const char* path, const BinaryFile* file) = 0;
  // Called once the file has been moved into place or removed.
  virtual void Released() = 0;

 protected:
  ~TemporaryFileWatch() {}
};

// Sees every byte copied into the package, after being told how many to expect.
class PackObserver : public CopyObserver {
 public:
  // The package's length as its files are now (folders walked), once before the first
  // byte is copied; a compressed package ends up shorter.
  virtual void Expect(uint64_t bytes) = 0;

 protected:
  ~PackObserver() {}
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
  // compressor's groups.
  MemberCompressor* compressor;
  // Reads folders, so that a folder row packs its tree; null: a folder cannot be packed.
  FolderWalker* walker;
  // Turns host names into the package's code page; null: names are stored as they are.
  MemberNameEncoder* encoder;
  // The code page of the stored names, in which they are split and compared, and which a
  // package with names that are not all ASCII records; null: names are taken byte by
  // byte and no code page is recorded.
  const NameCodePage* codePage;
};

// Options of a plain pack: the derived package path, the 4 GiB limit.
PackOptions DefaultPackOptions();

// Index of the first character of the file-name part: one past the last separator,
// or 0 when no separator stands after index 0.
int GetFileNameOffset(const char* path);
// The same, walking the path by characters of `codePage`: the second byte of a
// double-byte character is no separator.
int GetFileNameOffset(const char* path, const NameCodePage& codePage);

// Number of rows, files at the top of the package only, whose lower-cased name is a
// setup program name.
unsigned CountSetupPrograms(const PackFileList& list);

// The first file row, from the top, whose own lower-cased name contains "kvpack":
// its row, with the lower-cased name in `lowerName`; -1 when there is none.
int FindPackedMember(const PackFileList& list, char (&lowerName)[260]);

// The package path for the top entry: its folder, then "KVPACK_", the folder's name and
// ".exe"; X:\KVPACK_X.exe for an entry in a drive root. 0 when the entry has no folder
// name to take or the path would not fit the buffer.
int BuildPackagePath(const char* topEntry, char (&packagePath)[kCorePathSize]);

// The whole command. The package appears at its path only once it is whole; on every
// failure an earlier package there is left as it was and nothing else remains.
PackOutcome PackFiles(const PackFileList& list, const char* modulePath, const PackOptions& options,
                      PackResult* result);

// What the outcome says: the status-line text (null where the status line stays as it
// is), the box text, and the box's caption.
const char* PackStatusText(PackOutcome outcome);
void FormatPackMessage(const PackResult& result, char (&text)[300]);
const char* PackCaption(PackOutcome outcome);
