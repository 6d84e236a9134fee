#include "core/pack_members.h"

#include <stdlib.h>
#include <string.h>

#include "core/binary_file.h"
#include "core/bounded_format.h"
#include "core/member_name.h"
#include "core/path_join.h"

namespace {

// A separator among the part's characters (not as the second byte of one).
int HoldsSeparator(const NameCodePage& codePage, const char* part) {
  for (const char* p = part; *p != 0; p += CharacterLength(codePage, p)) {
    if (*p == kMemberSeparator) return 1;
  }
  return 0;
}

// The code page of the rows' paths: on Windows the system's, which is the package's;
// elsewhere the locale's encoding, in which no byte of a character is a separator.
NameCodePage HostPathCodePage(const NameCodePage& packageCodePage) {
#ifdef _WIN32
  return packageCodePage;
#else
  (void)packageCodePage;
  return ByteNameCodePage();
#endif
}

struct SortedItem {
  const char* stored;  // the name as the package stores it
  int index;           // in the listing
};

int CompareStored(const void* first, const void* second) {
  return strcmp(static_cast<const SortedItem*>(first)->stored, static_cast<const SortedItem*>(second)->stored);
}

}  // namespace

PackMemberList::PackMemberList()
    : walker_(nullptr), encoder_(nullptr), codePage_(ByteNameCodePage()), poolLength_(0), count_(0) {}

size_t PackMemberList::Store(const char* text) {
  const size_t length = strlen(text) + 1;
  if (!pool_.Reserve(poolLength_ + length, 1u << 16)) return static_cast<size_t>(-1);
  memcpy(pool_.get() + poolLength_, text, length);
  poolLength_ += length;
  return poolLength_ - length;
}

int PackMemberList::Append(const char* path, const NameBuffer& name, int folder) {
  if (!members_.Reserve(static_cast<size_t>(count_) + 1)) return 0;
  Member& member = members_[count_];
  member.path = Store(path);
  member.name = Store(name.text);
  if (member.path == static_cast<size_t>(-1) || member.name == static_cast<size_t>(-1)) return 0;
  member.folder = folder;
  member.fault = name.length >= kMemberNameSize && name.fault == kMemberNameFits ? kMemberNameTooLong : name.fault;
  ++count_;
  return 1;
}

// The length counts every byte, the text keeps what fits: a name longer than the buffer
// is refused as too long anyway.
void PackMemberList::AddBytes(NameBuffer& name, const char* bytes, size_t length) {
  const size_t used = name.length < sizeof(name.text) - 1 ? name.length : sizeof(name.text) - 1;
  const size_t room = sizeof(name.text) - 1 - used;
  const size_t taken = length < room ? length : room;
  memcpy(name.text + used, bytes, taken);
  name.text[used + taken] = 0;
  name.length += length;
}

// An empty folder is kept as a member of its own, named with a closing separator.
int PackMemberList::AppendEmptyFolder(const char* path, const NameBuffer& name) {
  NameBuffer folder = name;
  AddBytes(folder, &kMemberSeparator, 1);
  return Append(path, folder, 1);
}

// Adds a part, and before any but the first the separator.
void PackMemberList::AppendPart(NameBuffer& name, const char* hostPart) {
  char stored[2 * kMemberNameSize];
  const char* part = hostPart;
  MemberNameFault fault = kMemberNameFits;
#ifndef _WIN32
  // On Windows '\' separates names; here it is a character that would become one.
  if (strchr(hostPart, kMemberSeparator) != nullptr) fault = kMemberNameSeparator;
#endif
  if (encoder_ != nullptr) {
    if (encoder_->EncodePart(hostPart, stored, sizeof(stored))) {
      part = stored;
      if (HoldsSeparator(codePage_, stored)) fault = kMemberNameSeparator;
    } else {
      fault = kMemberNameNotEncoded;
    }
  }
  if (name.fault == kMemberNameFits) name.fault = fault;
  if (name.length > 0) AddBytes(name, &kMemberSeparator, 1);
  AddBytes(name, part, strlen(part));
}

PackOutcome PackMemberList::Build(const PackFileList& rows, FolderWalker* walker, MemberNameEncoder* encoder,
                                  PackResult* result) {
  walker_ = walker;
  encoder_ = encoder;
  char path[kCorePathSize];
  for (int row = 0; row < rows.GetCount(); ++row) {
    memset(path, 0, sizeof(path));
    rows.GetRowText(row, path);
    NameBuffer name;
    name.length = 0;
    name.fault = kMemberNameFits;
    name.text[0] = 0;
    AppendPart(name, path + GetFileNameOffset(path, HostPathCodePage(codePage_)));
    if (walker_ != nullptr && IsDirectory(path)) {
      const int before = count_;
      const PackOutcome outcome = AddFolder(path, name, result);
      if (outcome != kPackCompleted) return outcome;
      if (count_ == before && !AppendEmptyFolder(path, name)) return SetPackOutcome(result, kPackCannotWrite);
    } else if (!Append(path, name, 0)) {
      return SetPackOutcome(result, kPackCannotWrite);
    }
  }
  result->outcome = kPackCompleted;
  return kPackCompleted;
}

// The folder's entries, sorted by the names the package stores, each added in turn.
PackOutcome PackMemberList::AddFolder(char (&path)[kCorePathSize], const NameBuffer& name, PackResult* result) {
  FolderListing listing;
  if (!walker_->ListFolder(path, &listing)) return SetPackOutcome(result, kPackCannotOpenFile, name.text);
  const int count = listing.count();
  GrowableBlock<NameBuffer> names;
  GrowableBlock<SortedItem> order;
  PackOutcome outcome = kPackCompleted;
  if (!names.Allocate(static_cast<size_t>(count)) || !order.Allocate(static_cast<size_t>(count))) {
    outcome = SetPackOutcome(result, kPackCannotWrite);
  }
  for (int i = 0; i < count && outcome == kPackCompleted; ++i) {
    names[i] = name;
    AppendPart(names[i], listing.name(i));
    order[i].stored = names[i].text;
    order[i].index = i;
  }
  if (outcome == kPackCompleted) qsort(order.get(), static_cast<size_t>(count), sizeof(SortedItem), CompareStored);
  const size_t pathLength = strlen(path);
  for (int k = 0; k < count && outcome == kPackCompleted; ++k) {
    const int i = order[k].index;
    if (!JoinPathIn(path, path, listing.name(i), HostPathCodePage(codePage_))) {
      outcome = SetPackOutcome(result, kPackCannotOpenFile, names[i].text);
      break;
    }
    outcome = AddItem(path, names[i], listing.kind(i), result);
    path[pathLength] = 0;
  }
  return outcome;
}

PackOutcome PackMemberList::AddItem(char (&path)[kCorePathSize], const NameBuffer& name, FolderItemKind kind,
                                    PackResult* result) {
  // A link would pack what lies elsewhere, or the same folder again without end.
  if (kind == kFolderItemLink) return SetPackOutcome(result, kPackLinkInFolder, name.text);
  if (kind == kFolderItemOther) return SetPackOutcome(result, kPackCannotOpenFile, name.text);
  if (kind == kFolderItemFile) {
    return Append(path, name, 0) ? kPackCompleted : SetPackOutcome(result, kPackCannotWrite);
  }
  const int before = count_;
  const PackOutcome outcome = AddFolder(path, name, result);
  if (outcome != kPackCompleted) return outcome;
  if (count_ == before && !AppendEmptyFolder(path, name)) return SetPackOutcome(result, kPackCannotWrite);
  return kPackCompleted;
}

void PackMemberList::GetRowText(int row, char (&text)[kCorePathSize]) const {
  memset(text, 0, sizeof(text));
  const char* path = pool_.get() + members_[row].path;
  memcpy(text, path, BoundedLength(path, sizeof(text) - 1));
}

void PackMemberList::GetMemberName(int row, char (&name)[kMemberNameSize]) const {
  memset(name, 0, sizeof(name));
  const char* stored = memberName(row);
  memcpy(name, stored, BoundedLength(stored, sizeof(name) - 1));
}
