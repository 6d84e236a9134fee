#include "core/pack_outcome_text.h"

#include <stdio.h>
#include <string.h>

#include "core/bounded_format.h"

const char* PackStatusText(PackOutcome outcome) {
  switch (outcome) {
    case kPackCompleted: return "Packaging is completed";
    case kPackNoSetupProgram: return "Error: add \"setup.exe\"";
    case kPackTooManySetupPrograms: return "Error: too many \"setup.exe\"";
    case kPackAlreadyPacked: return nullptr;
    case kPackUnsafeMemberName: return "Error: can not pack files";
    case kPackCannotCreate: return "Error: can not create packaging file";
    case kPackCannotOpenModule: return "Error: can not open module file";
    case kPackCannotOpenFile: return "Error: can not open files";
    case kPackCannotWrite: return "Error: can not write packaging file";
    case kPackTooLarge: return "Error: package exceeds 4 GB";
    case kPackFileChanged: return "Error: can not pack files";
    case kPackLinkInFolder: return "Error: can not pack files";
    case kPackFileBesideFolder: return "Error: can not pack files";
    case kPackNameNotEncoded: return "Error: can not pack files";
    case kPackEqualNames: return "Error: can not pack files";
  }
  return nullptr;
}

void FormatPackMessage(const PackResult& result, char (&text)[300]) {
  memset(text, 0, sizeof(text));
  const char* format = "%s";
  const char* fixed = "";
  switch (result.outcome) {
    case kPackCompleted: fixed = "packaging is completed "; break;
    case kPackNoSetupProgram: fixed = "add \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\" "; break;
    case kPackTooManySetupPrograms:
      fixed = "too many \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\" ";
      break;
    case kPackAlreadyPacked: format = "Error: \"%s\" is already packed."; break;
    case kPackUnsafeMemberName: format = "\"%s\" is not a valid member name "; break;
    case kPackCannotCreate: fixed = "can not create packaging file "; break;
    case kPackCannotOpenModule: fixed = "can not open module file "; break;
    case kPackCannotOpenFile: format = "can not open \"%s\" "; break;
    case kPackCannotWrite: fixed = "can not write packaging file "; break;
    case kPackTooLarge: fixed = "package exceeds 4 GB "; break;
    case kPackFileChanged: format = "\"%s\" changed while it was packed "; break;
    case kPackLinkInFolder: format = "\"%s\" is a link: a folder to pack must not hold links "; break;
    case kPackFileBesideFolder: format = "\"%s\" is packed both as a file and as a folder "; break;
    case kPackNameNotEncoded: format = "\"%s\" cannot be written in the package's code page "; break;
    case kPackEqualNames:
      format = "\"%s\" is packed twice: Windows takes names equal but for letter case as one ";
      break;
  }
  FormatBounded(text, sizeof(text), format, fixed[0] != 0 ? fixed : result.name);
}

const char* PackCaption(PackOutcome outcome) { return outcome == kPackCompleted ? "success" : "error"; }
