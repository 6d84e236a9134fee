#include "package/unfollowed_file.h"

#include <string.h>
#include <winternl.h>

#include "package/reboot_deletion.h"
#include "win32/unique_resource.h"

typedef DWORD(WINAPI* FinalPathFunction)(HANDLE, LPSTR, DWORD, DWORD);
typedef NTSTATUS(NTAPI* SetInformationFunction)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);

// Looked up at run time: older systems lack it (and have no file links).
static FinalPathFunction FinalPathCall() {
  return reinterpret_cast<FinalPathFunction>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA"));
}

int FinalPathOfHandle(HANDLE file, char (&finalPath)[kFinalPathSize]) {
  const FinalPathFunction finalPathOf = FinalPathCall();
  if (finalPathOf == NULL) return 0;
  const DWORD length = finalPathOf(file, finalPath, sizeof(finalPath), 0);
  return length > 0 && length < sizeof(finalPath) ? 1 : 0;
}

int GetFinalPath(const char* path, char (&finalPath)[kFinalPathSize]) {
  finalPath[0] = 0;
  if (FinalPathCall() == NULL) return 1;
  const UniqueFile file(CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL));
  return file.valid() && FinalPathOfHandle(file.get(), finalPath);
}

int IsAtItsName(const char* folderFinal, const char* entryFinal, const char* name) {
  const size_t folderLength = strlen(folderFinal);
  if (_strnicmp(entryFinal, folderFinal, folderLength) != 0) return 0;
  const char* rest = entryFinal + folderLength;
  // "C:\a" is not the folder of "C:\ab"; a drive's root ends with its separator.
  if (folderFinal[folderLength - 1] != '\\' && *rest++ != '\\') return 0;
  return _stricmp(rest, name) == 0 ? 1 : 0;
}

HANDLE OpenUnfollowed(const char* path, DWORD access, DWORD disposition) {
  return CreateFileA(path, access, FILE_SHARE_READ, NULL, disposition,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
}

// Whether `file` lies at `name` in the folder whose resolved path is `folderFinal`.
static int IsOpenedAtItsName(HANDLE file, const char* folderFinal, const char* name) {
  char fileFinal[kFinalPathSize];
  return folderFinal[0] == 0 || (FinalPathOfHandle(file, fileFinal) && IsAtItsName(folderFinal, fileFinal, name));
}

int IsOpenedPlainFile(HANDLE file, const char* folderFinal, const char* name) {
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileInformationByHandle(file, &information) &&
         IsPlainOneNameFile(information, IsOpenedAtItsName(file, folderFinal, name));
}

// The native call: present on every system, where the Win32 one came later.
static int SetInformation(HANDLE file, void* information, ULONG size, FILE_INFORMATION_CLASS kind) {
  const SetInformationFunction set = reinterpret_cast<SetInformationFunction>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetInformationFile"));
  IO_STATUS_BLOCK status;
  return set != NULL && set(file, &status, information, size, kind) >= 0 ? 1 : 0;
}

int DeleteThroughHandle(HANDLE file) {
  FILE_DISPOSITION_INFORMATION disposition;
  disposition.DoDeleteFile = TRUE;
  return SetInformation(file, &disposition, sizeof(disposition), FileDispositionInformation);
}

int RenameThroughHandle(HANDLE file, const char* path) {
  const int kNameCapacity = 2 * kPathBufferSize + 16;
  struct {
    FILE_RENAME_INFORMATION header;
    wchar_t more[kNameCapacity];
  } rename;
  const int length = MakeNtPath(path, rename.header.FileName, kNameCapacity);
  if (length == 0) return 0;
  rename.header.ReplaceIfExists = TRUE;
  rename.header.RootDirectory = NULL;
  rename.header.FileNameLength = static_cast<ULONG>(length * sizeof(wchar_t));
  return SetInformation(file, &rename, sizeof(rename), FileRenameInformation);
}

int DeleteUnfollowed(const char* path, const char* folderFinal, const char* name) {
  const UniqueFile file(OpenUnfollowed(path, DELETE | FILE_READ_ATTRIBUTES, OPEN_EXISTING));
  return file.valid() && IsOpenedAtItsName(file.get(), folderFinal, name) && DeleteThroughHandle(file.get());
}
