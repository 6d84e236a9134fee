// What Windows reads of a program's version block and icon group, through its own calls.
// Usage: brand_probe FILE OUTPUT SIZE...  Writes to OUTPUT one line per version text
// (KEY=VALUE, as VerQueryValueA gives it), "fixed=FILE/PRODUCT" for the fixed part, and
// for each SIZE the image that LookupIconIdFromDirectoryEx picks from icon group 128:
// "icon SIZE: id N, W x H" with W and H from the image's own header, and "made" when
// CreateIconFromResourceEx makes an icon of it. Exits 0 when everything could be read.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const kKeys[] = {"FileDescription", "ProductName", "CompanyName", "LegalCopyright",
                             "FileVersion",     "ProductVersion"};

unsigned BigEndian(const BYTE* p) { return (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

bool WriteVersion(const char* file, FILE* out) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(file, &ignored);
  std::string block(size, '\0');
  if (size == 0 || !GetFileVersionInfoA(file, 0, size, &block[0])) return false;
  WORD* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(&block[0], "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length)) {
    return false;
  }
  for (const char* key : kKeys) {
    char path[128];
    snprintf(path, sizeof(path), "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], key);
    char* value = nullptr;
    if (VerQueryValueA(&block[0], path, reinterpret_cast<void**>(&value), &length)) fprintf(out, "%s=%s\n", key, value);
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  if (!VerQueryValueA(&block[0], "\\", reinterpret_cast<void**>(&fixed), &length)) return false;
  fprintf(out, "fixed=%u.%u.%u.%u/%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
          HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS), HIWORD(fixed->dwProductVersionMS),
          LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
  return true;
}

bool WriteIcon(HMODULE module, int size, FILE* out) {
  HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14));
  BYTE* directory = group ? static_cast<BYTE*>(LockResource(LoadResource(module, group))) : nullptr;
  if (directory == nullptr) return false;
  const int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
  HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3));
  BYTE* bytes = image ? static_cast<BYTE*>(LockResource(LoadResource(module, image))) : nullptr;
  if (bytes == nullptr) return false;
  const DWORD length = SizeofResource(module, image);
  const bool png = length > 24 && memcmp(bytes, "\x89PNG", 4) == 0;
  const unsigned width = png ? BigEndian(bytes + 16) : reinterpret_cast<BITMAPINFOHEADER*>(bytes)->biWidth;
  const unsigned height = png ? BigEndian(bytes + 20) : reinterpret_cast<BITMAPINFOHEADER*>(bytes)->biHeight / 2;
  HICON icon = CreateIconFromResourceEx(bytes, length, TRUE, 0x30000, 0, 0, LR_DEFAULTCOLOR);
  fprintf(out, "icon %d: id %d, %u x %u%s\n", size, id, width, height, icon ? ", made" : "");
  if (icon) DestroyIcon(icon);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  FILE* out = fopen(argv[2], "w");
  if (out == nullptr) return 2;
  bool read = WriteVersion(argv[1], out);
  HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  for (int i = 3; i < argc && module != nullptr; ++i) read = WriteIcon(module, atoi(argv[i]), out) && read;
  if (module) FreeLibrary(module);
  fclose(out);
  return read && module != nullptr ? 0 : 1;
}
