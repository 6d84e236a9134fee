#include "package/failure_log.h"

#include <stdio.h>
#include <string.h>

#include "core/path_join.h"
#include "core/path_limits.h"
#include "package/unfollowed_file.h"
#include "package/work_directory.h"
#include "win32/unique_resource.h"

namespace {

const char kLogName[] = "Lodkin.log";
// Two runs that fail at the same moment take turns: the log is opened by one writer.
const int kOpenAttempts = 20;
// 0 for a file that opened but is a link, a folder or a file of several names.
const char* const kNotLoggedFormat = "Not logged: [%s] is not a plain file of one name or can not be opened.[%d]";
const DWORD kOpenRetryMilliseconds = 50;

// Says on the debugger output why the line stays out of the log.
void SayNotLogged(const char* path, DWORD code) {
  char line[kPathBufferSize + 80];
  _snprintf(line, sizeof(line) - 1, kNotLoggedFormat, path, static_cast<int>(code));
  line[sizeof(line) - 1] = 0;
  OutputDebugStringA(line);
}

// Opens the log, `name` in the folder whose resolved path is `folderFinal`, without
// following a link: the file at its name as it is, else a new one (CREATE_NEW, which a
// link at the name makes fail on every system), and keeps it only when it is a plain
// file of one name. An invalid handle once it has said why not.
UniqueFile OpenLog(const char* path, const char* folderFinal, const char* name) {
  for (int attempt = 0;; ++attempt) {
    UniqueFile file(OpenUnfollowed(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING));
    DWORD error = GetLastError();
    if (!file.valid() && error == ERROR_FILE_NOT_FOUND) {
      file.reset(OpenUnfollowed(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW));
      error = GetLastError();
    }
    if (file.valid()) {
      if (!IsOpenedPlainFile(file.get(), folderFinal, name)) {
        SayNotLogged(path, 0);
        file.reset();
      }
      return file;
    }
    // A name taken between the two opens is another run's new log.
    if (attempt + 1 >= kOpenAttempts || (error != ERROR_SHARING_VIOLATION && error != ERROR_FILE_EXISTS)) {
      SayNotLogged(path, error);
      return file;
    }
    Sleep(kOpenRetryMilliseconds);
  }
}

int WriteAll(HANDLE file, const void* bytes, DWORD length) {
  DWORD written = 0;
  return WriteFile(file, bytes, length, &written, NULL) && written == length;
}

// Appends at the end; a write that the disk takes only in part is cut away again.
int AppendWhole(HANDLE file, uint32_t length, const char* line, DWORD lineLength) {
  LARGE_INTEGER end;
  end.QuadPart = length;
  if (!SetFilePointerEx(file, end, NULL, FILE_BEGIN)) return 0;
  if (WriteAll(file, line, lineLength)) return 1;
  SetFilePointerEx(file, end, NULL, FILE_BEGIN);
  SetEndOfFile(file);
  return 0;
}

// Writes the newest whole lines and the new one to a new file beside the log, then gives
// it the log's name: the log is replaced whole or stays as it was. `tail` holds the log's
// bytes from `tailStart` on. The new file is made fresh and renamed through its own
// handle, so what a link at either name leads to is neither written nor moved.
int RewriteWithNewestLines(const char* logPath, const char* folderFinal, const char* tail, uint32_t tailStart,
                           uint32_t length, const char* line, DWORD lineLength) {
  char newPath[kPathBufferSize];
  if (!ConcatPath(newPath, logPath, ".new")) return 0;
  const char* newName = strrchr(newPath, '\\') + 1;
  // What a rotation cut short left behind; a link goes as itself or not at all.
  DeleteUnfollowed(newPath, folderFinal, newName);
  UniqueFile fresh(OpenUnfollowed(newPath, GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE, CREATE_NEW));
  if (!fresh.valid()) {
    SayNotLogged(newPath, GetLastError());
    return 0;
  }
  const uint32_t kept = FirstKeptByte(length, lineLength, kFailureLogLimit, tail, tailStart);
  // Made just now, so only ever not plain when another name was given to it meanwhile.
  const int done = IsOpenedPlainFile(fresh.get(), folderFinal, newName) &&
                   WriteAll(fresh.get(), tail + (kept - tailStart), length - kept) &&
                   WriteAll(fresh.get(), line, lineLength) && RenameThroughHandle(fresh.get(), logPath);
  if (!done) DeleteThroughHandle(fresh.get());
  return done;
}

// Reads the last `limit` bytes of the open log into a new heap block; empty when they
// cannot be read whole.
UniqueHeapBlock<char> ReadTail(HANDLE log, uint32_t length, uint32_t* tailStart) {
  *tailStart = length > kFailureLogLimit ? length - kFailureLogLimit : 0;
  const DWORD tailLength = length - *tailStart;
  UniqueHeapBlock<char> tail = AllocateHeapBlock<char>(tailLength + 1);
  if (!tail.valid()) return tail;
  LARGE_INTEGER start;
  start.QuadPart = *tailStart;
  DWORD got = 0;
  if (!SetFilePointerEx(log, start, NULL, FILE_BEGIN) || !ReadFile(log, tail.get(), tailLength, &got, NULL) ||
      got != tailLength) {
    tail.reset();
  }
  return tail;
}

}  // namespace

int FormatFailureLine(char* line, int size, const SYSTEMTIME& time, const char* packagePath,
                      DWORD exitCode, const char* text) {
  const int length = _snprintf(line, size, "%04u-%02u-%02u %02u:%02u:%02u\t%s\t%lu\t%s\r\n", time.wYear,
                               time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                               packagePath, static_cast<unsigned long>(exitCode), text);
  if (length < 0 || length >= size) {
    if (size > 0) line[0] = 0;
    return 0;
  }
  return length;
}

uint32_t FirstKeptByte(uint32_t length, uint32_t lineLength, uint32_t limit, const char* tail,
                       uint32_t tailStart) {
  if (static_cast<uint64_t>(length) + lineLength <= limit) return 0;
  const uint64_t cut = static_cast<uint64_t>(length) + lineLength - limit;
  if (cut >= length) return length;
  // The kept part starts right after a line end, at the cut at the earliest.
  for (uint64_t i = cut; i <= length; ++i) {
    if (i >= tailStart + 1 && tail[i - 1 - tailStart] == '\n') return static_cast<uint32_t>(i);
  }
  return length;
}

int AppendFailureLine(const char* logPath, const char* packagePath, DWORD exitCode, const char* text) {
  OutputDebugStringA(text);
  SYSTEMTIME now;
  GetLocalTime(&now);
  char line[2 * kPathBufferSize + 600];
  const int lineLength = FormatFailureLine(line, sizeof(line), now, packagePath, exitCode, text);
  if (lineLength == 0) return 0;
  // The folder's resolved path, once: the log and the rotation's file must lie in it under
  // their own names. A path without a folder is never the log's.
  char folder[kPathBufferSize];
  char folderFinal[kFinalPathSize];
  lstrcpynA(folder, logPath, sizeof(folder));
  char* separator = strrchr(folder, '\\');
  if (separator == NULL) return 0;
  *separator = 0;
  if (!GetFinalPath(folder, folderFinal)) return 0;
  UniqueFile log = OpenLog(logPath, folderFinal, logPath + (separator + 1 - folder));
  if (!log.valid()) return 0;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(log.get(), &size) || size.QuadPart > 0xFFFFFFFFll) return 0;
  const uint32_t length = static_cast<uint32_t>(size.QuadPart);
  if (static_cast<uint64_t>(length) + lineLength <= kFailureLogLimit) {
    return AppendWhole(log.get(), length, line, lineLength);
  }
  uint32_t tailStart = 0;
  const UniqueHeapBlock<char> tail = ReadTail(log.get(), length, &tailStart);
  // The log is closed before it is replaced: an open file cannot be renamed over.
  log.reset();
  if (!tail.valid()) return 0;
  return RewriteWithNewestLines(logPath, folderFinal, tail.get(), tailStart, length, line, lineLength);
}

int LogRunFailure(const char* packagePath, DWORD exitCode, const char* text) {
  char folder[kPathBufferSize];
  char logPath[kPathBufferSize];
  if (!GetTemporaryFolder(folder) || !JoinPath(logPath, folder, kLogName)) {
    OutputDebugStringA(text);
    return 0;
  }
  return AppendFailureLine(logPath, packagePath, exitCode, text);
}
