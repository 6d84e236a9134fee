#include "package/reboot_deletion.h"

#include <string.h>

#include "core/path_limits.h"

const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingOperationsValue[] = L"PendingFileRenameOperations";

// A member path is at most a 260-byte directory, a backslash and a 260-byte name.
static const int kWidePathSize = 2 * kPathBufferSize + 16;
// Its NT form adds at most "\??\UNC\" less the share's two backslashes.
static const int kNtPathSize = kWidePathSize + 8;
// The first block holds the records of a few hundred members without growing.
static const size_t kFirstCapacity = 32 * 1024;

PendingDeleteValue::PendingDeleteValue() : length_(0) {}

// Keeps room for `characters` more and the list's final terminator.
int PendingDeleteValue::Reserve(size_t characters) {
  return text_.Reserve(length_ + characters + 1, kFirstCapacity);
}

int PendingDeleteValue::Append(const wchar_t* text, size_t characters) {
  if (!Reserve(characters)) return 0;
  memcpy(text_.get() + length_, text, characters * sizeof(wchar_t));
  length_ += characters;
  text_.get()[length_] = 0;
  return 1;
}

void* PendingDeleteValue::ReserveForEarlierValue(DWORD bytes) {
  length_ = 0;
  return Reserve(bytes / sizeof(wchar_t) + 1) ? text_.get() : nullptr;
}

int PendingDeleteValue::Start(int present, DWORD type, const void* data, DWORD bytes) {
  length_ = 0;
  if (!present) {
    if (!Reserve(0)) return 0;
    text_.get()[0] = 0;
    return 1;
  }
  // The system drops the list's final terminator and appends after the rest; anything
  // else is not a list it would extend that way.
  if (type != REG_MULTI_SZ || bytes < sizeof(wchar_t) || bytes % sizeof(wchar_t) != 0) return 0;
  const size_t characters = bytes / sizeof(wchar_t);
  if (static_cast<const wchar_t*>(data)[characters - 1] != 0) return 0;
  if (data != text_.get()) {
    if (!Reserve(characters)) return 0;
    memcpy(text_.get(), data, bytes);
  }
  length_ = characters - 1;
  text_.get()[length_] = 0;
  return 1;
}

int PendingDeleteValue::AddDeletion(const char* path) {
  wchar_t ntPath[kNtPathSize];
  const int length = MakeNtPath(path, ntPath, kNtPathSize);
  if (length == 0) return 0;
  // The source with its terminator, then the empty destination that means "delete".
  static const wchar_t kNoDestination[1] = {0};
  return Append(ntPath, length + 1) && Append(kNoDestination, 1);
}

int PendingDeleteValue::AppendRecordsOf(const PendingDeleteValue& other) {
  return other.length_ == 0 || Append(other.text_.get(), other.length_);
}

static int IsBackslash(wchar_t c) { return c == L'\\' || c == L'/'; }

int MakeNtPath(const char* path, wchar_t* ntPath, int capacity) {
  // The calls convert the path with the code page of the file functions.
  wchar_t wide[kWidePathSize];
  const UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  if (MultiByteToWideChar(codePage, 0, path, -1, wide, kWidePathSize) == 0) return 0;
  wchar_t full[kWidePathSize];
  const DWORD fullLength = GetFullPathNameW(wide, kWidePathSize, full, nullptr);
  if (fullLength == 0 || fullLength >= static_cast<DWORD>(kWidePathSize)) return 0;

  const wchar_t* prefix = L"\\??\\";
  const wchar_t* rest = full;
  if (IsBackslash(full[0]) && IsBackslash(full[1])) {
    // "\\.\" and "\\?\" (devices, such as a file named "nul") are recorded in forms of
    // their own: left to the calls.
    if (full[2] == L'.' || full[2] == L'?') return 0;
    prefix = L"\\??\\UNC\\";
    rest = full + 2;
  } else if (!(full[0] != 0 && full[1] == L':' && IsBackslash(full[2]))) {
    return 0;
  }
  const size_t prefixLength = wcslen(prefix);
  const size_t restLength = wcslen(rest);
  if (prefixLength + restLength + 1 > static_cast<size_t>(capacity)) return 0;
  memcpy(ntPath, prefix, prefixLength * sizeof(wchar_t));
  memcpy(ntPath + prefixLength, rest, (restLength + 1) * sizeof(wchar_t));
  return static_cast<int>(prefixLength + restLength);
}

namespace {

class ValueRecorder : public DeletionRecorder {
 public:
  explicit ValueRecorder(PendingDeleteValue& value) : value_(value) {}
  int Record(const char* path) override { return value_.AddDeletion(path); }

 private:
  PendingDeleteValue& value_;
};

class CallRecorder : public DeletionRecorder {
 public:
  // The calls' results are not looked at: a path that cannot be recorded stays until
  // someone removes it, as before.
  int Record(const char* path) override {
    MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    return 1;
  }
};

// The value as it stands, read straight into the new value's block. The W form keeps
// other programs' paths exactly as they are, whatever their characters.
int StartFromRegistry(HKEY key, PendingDeleteValue& value) {
  DWORD type = 0;
  DWORD bytes = 0;
  const LONG status = RegQueryValueExW(key, kPendingOperationsValue, nullptr, &type, nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return value.Start(0, 0, nullptr, 0);
  if (status != ERROR_SUCCESS) return 0;
  void* room = value.ReserveForEarlierValue(bytes);
  if (room == nullptr) return 0;
  DWORD got = bytes;
  // A value that changed in between is left to the calls.
  if (RegQueryValueExW(key, kPendingOperationsValue, nullptr, &type, static_cast<BYTE*>(room), &got) !=
          ERROR_SUCCESS ||
      got != bytes) {
    return 0;
  }
  return value.Start(1, type, room, got);
}

}  // namespace

int RecordDeletionsInOneWrite(const PathsToDelete& paths) {
  UniqueKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) !=
      ERROR_SUCCESS) {
    return 0;
  }
  // The records are made first, so that the value is read and written back within
  // moments: another program's record written in between would be lost.
  PendingDeleteValue records;
  ValueRecorder recorder(records);
  PendingDeleteValue value;
  return records.Start(0, 0, nullptr, 0) && paths.ForEach(recorder) &&
         StartFromRegistry(key.get(), value) && value.AppendRecordsOf(records) &&
         RegSetValueExW(key.get(), kPendingOperationsValue, 0, REG_MULTI_SZ, value.data(), value.size()) ==
             ERROR_SUCCESS;
}

void RecordDeletionsOneByOne(const PathsToDelete& paths) {
  CallRecorder recorder;
  paths.ForEach(recorder);
}

void ScheduleDeletionsAtReboot(const PathsToDelete& paths) {
  // One update of the pending-operations value instead of one rewrite of it per file;
  // the calls remain for a value that cannot be extended that way.
  if (!RecordDeletionsInOneWrite(paths)) RecordDeletionsOneByOne(paths);
}
