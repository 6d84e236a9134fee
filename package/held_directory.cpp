#include "package/held_directory.h"

#include <string.h>
#include <winternl.h>

#include "core/path_limits.h"
#include "package/reboot_deletion.h"

typedef NTSTATUS(NTAPI* CreateFileFunction)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                            PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
typedef ULONG(NTAPI* StatusToErrorFunction)(NTSTATUS);

// The NT form of a path of up to 519 characters.
static const int kNtPathCapacity = 540;

DWORD CreateHeldDirectory(const char* path, SECURITY_ATTRIBUTES* security, UniqueHandle* held) {
  // The system call takes longer paths than the Win32 calls do; a folder that those
  // could not reach could never be removed again.
  if (strlen(path) > kLongestFolderPath) return ERROR_FILENAME_EXCED_RANGE;
  wchar_t ntPath[kNtPathCapacity];
  const int length = MakeNtPath(path, ntPath, kNtPathCapacity);
  if (length == 0) return ERROR_FILENAME_EXCED_RANGE;
  // The one system call that creates a folder and hands back an open handle to it; the
  // Win32 calls create it and leave the opening to a second call.
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const CreateFileFunction create = reinterpret_cast<CreateFileFunction>(GetProcAddress(ntdll, "NtCreateFile"));
  const StatusToErrorFunction toError =
      reinterpret_cast<StatusToErrorFunction>(GetProcAddress(ntdll, "RtlNtStatusToDosError"));
  if (create == NULL || toError == NULL) return ERROR_PROC_NOT_FOUND;
  UNICODE_STRING name;
  name.Buffer = ntPath;
  name.Length = static_cast<USHORT>(length * sizeof(wchar_t));
  name.MaximumLength = static_cast<USHORT>(name.Length + sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, NULL,
                             security != NULL ? security->lpSecurityDescriptor : NULL);
  IO_STATUS_BLOCK status;
  HANDLE handle = NULL;
  const NTSTATUS result = create(&handle, FILE_LIST_DIRECTORY | SYNCHRONIZE, &attributes, &status, NULL,
                                 FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                                 FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT,
                                 NULL, 0);
  if (result < 0) return toError(result);
  held->reset(handle);
  return 0;
}
