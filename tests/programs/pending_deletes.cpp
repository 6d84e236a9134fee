// The paths recorded for deletion at restart, for the native tests that cannot read the
// prefix's registry themselves: usage pending_deletes [clear]. Prints the source of each
// deletion record (its destination is empty), one a line, as stored ("\??\C:\..."), in
// UTF-8. "clear" deletes the whole value instead: the tests' private prefix never
// restarts, so its records only pile up and slow every later run that extends them.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <vector>

int main(int argc, char** argv) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
    return 2;
  }
  const wchar_t* name = L"PendingFileRenameOperations";
  if (argc > 1 && strcmp(argv[1], "clear") == 0) {
    RegDeleteValueW(key, name);
    return 0;
  }
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return 0;
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 2, 0);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS) {
    return 2;
  }
  const size_t count = bytes / sizeof(wchar_t);
  for (size_t at = 0; at < count && text[at] != 0;) {
    const wchar_t* source = &text[at];
    at += wcslen(source) + 1;
    const wchar_t* destination = at < count ? &text[at] : L"";
    at += wcslen(destination) + 1;
    if (destination[0] != 0) continue;
    char line[4096];
    if (WideCharToMultiByte(CP_UTF8, 0, source, -1, line, sizeof(line), nullptr, nullptr) > 0) printf("%s\n", line);
  }
  return 0;
}
