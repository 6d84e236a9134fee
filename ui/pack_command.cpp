#include "ui/pack_command.h"

#include <string.h>
#include <windows.h>

#include "package/package_format.h"
#include "package/package_writer.h"
#include "package/stream_file.h"

namespace {

const char* const kSetupProgramNames[] = {"setup.exe", "kvsetup.exe", "kvset.exe"};
const char kPackageMarker[] = "kvpack";

const char kErrorCaption[] = "error";
const char kSuccessCaption[] = "success";

const char kStatusNoSetup[] = "Error: add \"setup.exe\"";
const char kBoxNoSetup[] = "add \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\" ";
const char kStatusTooManySetups[] = "Error: too many \"setup.exe\"";
const char kBoxTooManySetups[] = "too many \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\" ";
const char kBoxAlreadyPacked[] = "Error: \"%s\" is already packed.";
const char kStatusCannotCreate[] = "Error: can not create packaging file";
const char kBoxCannotCreate[] = "can not create packaging file ";
const char kStatusCannotOpenModule[] = "Error: can not open module file";
const char kBoxCannotOpenModule[] = "can not open module file ";
const char kStatusCannotOpenFiles[] = "Error: can not open files";
const char kBoxCannotOpenFile[] = "can not open \"%s\" ";
const char kStatusCannotWrite[] = "Error: can not write packaging file";
const char kBoxCannotWrite[] = "can not write packaging file ";
const char kStatusTooLarge[] = "Error: package exceeds 4 GB";
const char kBoxTooLarge[] = "package exceeds 4 GB ";
const char kStatusCompleted[] = "Packaging is completed";
const char kBoxCompleted[] = "packaging is completed ";

// Only A to Z change, whatever the locale.
void LowerAscii(char* text) {
  for (; *text != 0; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
  }
}

// The lower-cased file-name part of a row.
void GetLowerFileName(const PackFileList& list, int row, char (&name)[260]) {
  char path[260];
  memset(path, 0, sizeof(path));
  list.GetRowText(row, path);
  memset(name, 0, sizeof(name));
  strcpy(name, path + GetFileNameOffset(path));
  LowerAscii(name);
}

void Report(PackReport& report, const char* status, const char* box, const char* caption) {
  if (status != nullptr) report.SetStatusText(status);
  report.ShowMessage(box, caption);
}

// Owns the open package stream and the temporary file behind it: whatever is not
// committed is closed and deleted when the command leaves.
class TemporaryPackage {
 public:
  TemporaryPackage() : stream_(nullptr) { memset(path_, 0, sizeof(path_)); }
  ~TemporaryPackage() { Discard(); }
  TemporaryPackage(const TemporaryPackage&) = delete;
  TemporaryPackage& operator=(const TemporaryPackage&) = delete;

  // A fresh file in the package's own folder, so that the final move stays on one volume.
  int Create(const char* packagePath, const char* mode) {
    char folder[260];
    memset(folder, 0, sizeof(folder));
    strcpy(folder, packagePath);
    folder[GetFileNameOffset(folder)] = 0;
    if (GetTempFileNameA(folder, "KVP", 0, path_) == 0) {
      path_[0] = 0;
      return 0;
    }
    stream_ = OpenStream(path_, mode);
    return stream_ != nullptr;
  }

  FILE* stream() const { return stream_; }

  // Closes the stream (a failed close is a failed write) and moves the file over the
  // package path, replacing an earlier package only now that the new one is whole.
  int CloseChecked() {
    int closed = fclose(stream_) == 0;
    stream_ = nullptr;
    return closed;
  }
  int MoveTo(const char* packagePath) {
    if (MoveFileExA(path_, packagePath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
      return 0;
    }
    path_[0] = 0;
    return 1;
  }

  void Discard() {
    if (stream_ != nullptr) fclose(stream_);
    stream_ = nullptr;
    if (path_[0] != 0) DeleteFileA(path_);
    path_[0] = 0;
  }

 private:
  FILE* stream_;
  char path_[260];
};

// Shows the outcome of a writer step that did not succeed. `name` is the file being read.
void ReportWriteStatus(PackReport& report, PackageWriteStatus status, int isModule,
                       const char* name) {
  if (status == kPackageTooLarge) {
    Report(report, kStatusTooLarge, kBoxTooLarge, kErrorCaption);
  } else if (status == kPackageReadFailed && isModule) {
    Report(report, kStatusCannotOpenModule, kBoxCannotOpenModule, kErrorCaption);
  } else if (status == kPackageReadFailed) {
    char text[300];
    memset(text, 0, sizeof(text));
    wsprintfA(text, kBoxCannotOpenFile, name);
    Report(report, kStatusCannotOpenFiles, text, kErrorCaption);
  } else {
    Report(report, kStatusCannotWrite, kBoxCannotWrite, kErrorCaption);
  }
}

}  // namespace

int GetFileNameOffset(const char* path) {
  for (int i = static_cast<int>(strlen(path)) - 1; i >= 1; --i) {
    if (path[i] == '\\') return i + 1;
  }
  return 0;
}

unsigned CountSetupPrograms(const PackFileList& list) {
  unsigned count = 0;
  char name[260];
  for (int row = 0; row < list.GetCount(); ++row) {
    GetLowerFileName(list, row, name);
    for (unsigned k = 0; k < sizeof(kSetupProgramNames) / sizeof(kSetupProgramNames[0]); ++k) {
      if (strcmp(name, kSetupProgramNames[k]) == 0) ++count;
    }
  }
  return count;
}

int IsAnyMemberPacked(const PackFileList& list, PackReport& report) {
  char name[260];
  for (int row = 0; row < list.GetCount(); ++row) {
    GetLowerFileName(list, row, name);
    if (strstr(name, kPackageMarker) != nullptr) {
      char text[300];
      memset(text, 0, sizeof(text));
      wsprintfA(text, kBoxAlreadyPacked, name);
      Report(report, nullptr, text, kErrorCaption);
      return 1;
    }
  }
  return 0;
}

int BuildPackagePath(const char* topEntry, char (&packagePath)[260]) {
  memset(packagePath, 0, sizeof(packagePath));
  const int length = static_cast<int>(strlen(topEntry));
  int last = length - 1;
  while (last >= 0 && topEntry[last] != '\\') --last;
  if (last < 0) return 0;

  char folderName[260];
  memset(folderName, 0, sizeof(folderName));
  int folderLength = 0;  // characters of the top entry's path kept, closing backslash included
  if (last > 3) {
    int before = last - 1;
    while (before >= 0 && topEntry[before] != '\\') --before;
    if (before < 0) return 0;
    memcpy(folderName, topEntry + before + 1, last - before - 1);
    folderLength = last + 1;
  } else if (last == 2 && topEntry[1] == ':') {
    // A drive root: the package is named after the drive letter.
    folderName[0] = topEntry[0];
    folderLength = 3;
  } else {
    return 0;
  }
  const size_t needed = folderLength + strlen("KVPACK_") + strlen(folderName) + strlen(".exe");
  if (needed > 259) return 0;
  memcpy(packagePath, topEntry, folderLength);
  strcat(packagePath, "KVPACK_");
  strcat(packagePath, folderName);
  strcat(packagePath, ".exe");
  return 1;
}

void RunPackCommand(const PackFileList& list, PackReport& report, const char* modulePath) {
  PackOptions options = {kMaxPackageLength, "wb"};
  RunPackCommandWith(list, report, modulePath, options);
}

void RunPackCommandWith(const PackFileList& list, PackReport& report, const char* modulePath,
                        const PackOptions& options) {
  const unsigned setupPrograms = CountSetupPrograms(list);
  if (setupPrograms == 0) {
    Report(report, kStatusNoSetup, kBoxNoSetup, kErrorCaption);
    return;
  }
  if (setupPrograms >= 2) {
    Report(report, kStatusTooManySetups, kBoxTooManySetups, kErrorCaption);
    return;
  }
  const int count = list.GetCount();

  char path[260];
  memset(path, 0, sizeof(path));
  list.GetRowText(0, path);
  char packagePath[260];
  // An unusable top entry is reported where creating the package would fail, after the
  // already-packed check, so that the order of the refusals stays the same.
  const int havePackagePath = BuildPackagePath(path, packagePath);

  if (IsAnyMemberPacked(list, report)) return;

  TemporaryPackage package;
  if (!havePackagePath || !package.Create(packagePath, options.packageOpenMode)) {
    Report(report, kStatusCannotCreate, kBoxCannotCreate, kErrorCaption);
    return;
  }

  FILE* module = OpenStream(modulePath, "rb");
  if (module == nullptr) {
    Report(report, kStatusCannotOpenModule, kBoxCannotOpenModule, kErrorCaption);
    return;
  }
  PackageWriter writer(package.stream(), static_cast<uint32_t>(count), options.maxPackageLength);
  PackageWriteStatus status = writer.AppendModuleImage(module);
  fclose(module);
  if (status != kPackageWriteOk) {
    ReportWriteStatus(report, status, 1, "");
    return;
  }

  for (int row = 0; row < count; ++row) {
    memset(path, 0, sizeof(path));
    list.GetRowText(row, path);
    const char* name = path + GetFileNameOffset(path);
    FILE* member = OpenStream(path, "rb");
    if (member == nullptr) {
      char text[300];
      memset(text, 0, sizeof(text));
      wsprintfA(text, kBoxCannotOpenFile, name);
      Report(report, kStatusCannotOpenFiles, text, kErrorCaption);
      return;
    }
    status = writer.AppendMember(member, name);
    fclose(member);
    if (status != kPackageWriteOk) {
      ReportWriteStatus(report, status, 0, name);
      return;
    }
  }

  status = writer.Finish();
  if (status != kPackageWriteOk) {
    ReportWriteStatus(report, status, 0, "");
    return;
  }
  if (!package.CloseChecked()) {
    Report(report, kStatusCannotWrite, kBoxCannotWrite, kErrorCaption);
    return;
  }
  if (!package.MoveTo(packagePath)) {
    Report(report, kStatusCannotCreate, kBoxCannotCreate, kErrorCaption);
    return;
  }
  Report(report, kStatusCompleted, kBoxCompleted, kSuccessCaption);
}
