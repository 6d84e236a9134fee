// The FILE operands of pack as the user names them. With -C DIR they are named relative
// to DIR, as tar's -C takes them, and with none given every entry at DIR's top is one,
// in byte order of the names the package stores (the order a folder's tree gets), so
// that the setup program at DIR's top counts as the window's top-level file.
#pragma once
#include "cli/arguments.h"
#include "core/folder_walk.h"
#include "core/growable_block.h"
#include "core/path_limits.h"

class MemberNameEncoder;

class PackOperands {
 public:
  explicit PackOperands(const ToolArguments& arguments);
  PackOperands(const PackOperands&) = delete;
  PackOperands& operator=(const PackOperands&) = delete;

  // Makes DIR full and, without FILE operands, lists it. 1 when done; 0 with the error
  // printed (DIR is not a folder, cannot be read, or holds a link at its top).
  int Collect(MemberNameEncoder* encoder);

  int count() const;
  // The operand as the user names it (relative to DIR with -C).
  const char* text(int index) const;
  // The operand as a path that MakeFullPath takes: joined to DIR when it is relative.
  int GetPath(int index, char (&path)[kCorePathSize]) const;
  // DIR made full, without closing separators; empty without -C.
  const char* directory() const { return directory_; }
  // DIR as given; null without -C.
  const char* typedDirectory() const;

 private:
  const ToolArguments& arguments_;
  char directory_[kCorePathSize];
  FolderListing listing_;
  GrowableBlock<int> order_;  // listing_ indexes in byte order of the stored names
  int listed_;                // 1 when the operands come from the listing
};

// "lang\" names the folder "lang": the package names its tree after the last name.
void DropClosingSeparators(char (&path)[kCorePathSize]);

// The line added to a refusal for want of a setup program when the only one is at the top
// of a folder given as FILE: where it is and what to type. Empty when there is none.
void DescribeSetupInFolder(const PackOperands& operands, char (&line)[2 * kCorePathSize + 100]);
