// The members a list of rows packs into: a file row is one member named after its file;
// a folder row adds its whole tree, named relative to the folder's parent with '\'
// between the parts, depth-first in byte order of the stored names, files and folders
// interleaved in that order, and an empty folder as a "name\" member of its own.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/folder_walk.h"
#include "core/pack_list.h"
#include "core/pack_outcome.h"

// Turns one part of a host file name into the package's bytes (the code page of the
// Windows machines that run it). Without an encoder, names are stored as they are.
class MemberNameEncoder {
 public:
  // 0 when the package's code page cannot hold the name (nothing is ever replaced).
  virtual int EncodePart(const char* hostPart, char* out, size_t capacity) = 0;

 protected:
  ~MemberNameEncoder() {}
};

// Why a member's name cannot be stored; reported with the other name checks, after the
// setup-program and already-packed rules.
enum MemberNameFault {
  kMemberNameFits = 0,
  kMemberNameTooLong,      // kMemberNameSize bytes or more (kept cut, for the message)
  kMemberNameNotEncoded,   // the encoder refused a part
  kMemberNameSeparator,    // a part holds '\' (a host file name, or a code page's byte)
};

class PackMemberList : public PackFileList {
 public:
  PackMemberList();
  ~PackMemberList();
  PackMemberList(const PackMemberList&) = delete;
  PackMemberList& operator=(const PackMemberList&) = delete;

  // Expands the rows. Folder rows are walked only with a walker (without one a folder
  // is a row like any other, which cannot be opened). kPackCompleted when built;
  // otherwise the failure, in *result.
  PackOutcome Build(const PackFileList& rows, FolderWalker* walker, MemberNameEncoder* encoder,
                    PackResult* result);

  int GetCount() const override { return count_; }
  // The file or folder the member is made from.
  void GetRowText(int row, char (&text)[kCorePathSize]) const override;
  void GetMemberName(int row, char (&name)[kMemberNameSize]) const override;
  int IsFolderRow(int row) const override { return members_[row].folder; }
  const char* memberName(int row) const { return pool_ + members_[row].name; }
  MemberNameFault nameFault(int row) const { return members_[row].fault; }

 private:
  struct Member {
    size_t path;  // offsets in the pool
    size_t name;
    int folder;
    MemberNameFault fault;
  };
  // The name being built while the tree is walked; room for a name too long to store.
  struct NameBuffer {
    char text[2 * kMemberNameSize];
    size_t length;
    MemberNameFault fault;
  };
  int Append(const char* path, const NameBuffer& name, int folder);
  int AppendEmptyFolder(const char* path, const NameBuffer& name);
  size_t Store(const char* text);
  PackOutcome AddFolder(char (&path)[kCorePathSize], const NameBuffer& name, PackResult* result);
  PackOutcome AddItem(char (&path)[kCorePathSize], const NameBuffer& name, FolderItemKind kind,
                      PackResult* result);
  void AppendPart(NameBuffer& name, const char* hostPart);
  static void AddBytes(NameBuffer& name, const char* bytes, size_t length);

  FolderWalker* walker_;
  MemberNameEncoder* encoder_;
  char* pool_;
  size_t poolLength_;
  size_t poolCapacity_;
  Member* members_;
  int count_;
  int capacity_;
};
