#include "cli/pack_operands.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli/console.h"
#include "cli/folder_walker.h"
#include "cli/paths.h"
#include "core/binary_file.h"
#include "core/pack_list_rules.h"
#include "core/pack_members.h"
#include "core/path_join.h"

namespace {

int IsAbsolute(const char* path) {
#ifdef _WIN32
  return path[0] == '\\' || path[0] == '/' || (path[0] != 0 && path[1] == ':');
#else
  return path[0] == '/';
#endif
}

struct StoredName {
  char bytes[2 * kMemberNameSize];
  int index;
};

int CompareStoredNames(const void* first, const void* second) {
  return strcmp(static_cast<const StoredName*>(first)->bytes, static_cast<const StoredName*>(second)->bytes);
}

// The name as the package will store it: through the encoder where it takes the name
// (a name it refuses is refused again, with the pack's words, when the tree is built).
void StoreName(const char* hostName, MemberNameEncoder* encoder, char (&bytes)[2 * kMemberNameSize]) {
  if (encoder == nullptr || !encoder->EncodePart(hostName, bytes, sizeof(bytes))) {
    memset(bytes, 0, sizeof(bytes));
    memcpy(bytes, hostName, strnlen(hostName, sizeof(bytes) - 1));
  }
}

}  // namespace

PackOperands::PackOperands(const ToolArguments& arguments) : arguments_(arguments), listed_(0) {
  memset(directory_, 0, sizeof(directory_));
}

int PackOperands::Collect(MemberNameEncoder* encoder) {
  const char* directory = arguments_.directory();
  if (directory == nullptr) return 1;
  if (!MakeFullPath(directory, directory_)) {
    PrintError("path too long: %s", directory);
    return 0;
  }
  DropClosingSeparators(directory_);
  if (!IsDirectory(directory_)) {
    PrintError("\"%s\" is not a folder", directory);
    return 0;
  }
  if (arguments_.operandCount() > 0) return 1;
  SystemFolderWalker walker;
  if (!walker.ListFolder(directory_, &listing_)) {
    PrintError("cannot read the folder \"%s\"", directory);
    return 0;
  }
  const int count = listing_.count();
  GrowableBlock<StoredName> names;
  if (!names.Allocate(static_cast<size_t>(count)) || !order_.Allocate(static_cast<size_t>(count))) {
    PrintError("out of memory");
    return 0;
  }
  for (int i = 0; i < count; ++i) {
    // What the tree rule refuses inside a folder is refused at its top as well.
    if (listing_.kind(i) == kFolderItemLink) {
      PrintError("\"%s\" is a link: a folder to pack must not hold links", listing_.name(i));
      return 0;
    }
    StoreName(listing_.name(i), encoder, names[i].bytes);
    names[i].index = i;
  }
  qsort(names.get(), static_cast<size_t>(count), sizeof(StoredName), CompareStoredNames);
  for (int k = 0; k < count; ++k) order_[k] = names[k].index;
  listed_ = 1;
  return 1;
}

const char* PackOperands::typedDirectory() const { return arguments_.directory(); }

int PackOperands::count() const { return listed_ ? listing_.count() : arguments_.operandCount(); }

const char* PackOperands::text(int index) const {
  return listed_ ? listing_.name(order_[index]) : arguments_.operand(index);
}

int PackOperands::GetPath(int index, char (&path)[kCorePathSize]) const {
  const char* operand = text(index);
  if (directory_[0] == 0 || IsAbsolute(operand)) return ConcatPath(path, operand, "");
  return JoinPath(path, directory_, operand);
}

void DropClosingSeparators(char (&path)[kCorePathSize]) {
  size_t length = strlen(path);
  const size_t root = path[0] != 0 && path[1] == ':' ? 3 : 1;
  while (length > root && path[length - 1] == kPathSeparator) path[--length] = 0;
}

void DescribeSetupInFolder(const PackOperands& operands, char (&line)[2 * kCorePathSize + 100]) {
  memset(line, 0, sizeof(line));
  int found = 0;
  char setupName[kMemberNameSize] = "";
  char folderShown[kCorePathSize] = "";
  SystemFolderWalker walker;
  for (int index = 0; index < operands.count(); ++index) {
    char given[kCorePathSize];
    char path[kCorePathSize];
    // Made full as the rows are: the runtime on Windows finds no folder "app/" by that name.
    if (!operands.GetPath(index, given) || !MakeFullPath(given, path)) continue;
    DropClosingSeparators(path);
    if (!IsDirectory(path)) continue;
    FolderListing listing;
    if (!walker.ListFolder(path, &listing)) continue;
    for (int i = 0; i < listing.count(); ++i) {
      if (listing.kind(i) != kFolderItemFile || !IsSetupProgramName(listing.name(i))) continue;
      if (++found > 1) return;
      snprintf(setupName, sizeof(setupName), "%s", listing.name(i));
      // The folder as the user names it, as -C would take it.
      const char* typed = operands.typedDirectory();
      const char* operand = operands.text(index);
      const int fits = typed == nullptr || IsAbsolute(operand) ? ConcatPath(folderShown, operand, "")
                                                               : JoinPath(folderShown, typed, operand);
      if (!fits) return;
      size_t length = strlen(folderShown);
      while (length > 1 && (folderShown[length - 1] == '/' || folderShown[length - 1] == kPathSeparator)) {
        folderShown[--length] = 0;
      }
    }
  }
  if (found != 1) return;
  const char* quote = strchr(folderShown, ' ') != nullptr ? "\"" : "";
  snprintf(line, sizeof(line), "%s is inside the folder \"%s\": to pack the folder's contents, use -C %s%s%s",
           setupName, folderShown, quote, folderShown, quote);
}
