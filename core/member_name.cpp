#include "core/member_name.h"

#include <string.h>

namespace {

const char* const kDeviceNames[] = {"CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$",
                                    "COM1", "COM2", "COM3", "COM4", "COM5",   "COM6",
                                    "COM7", "COM8", "COM9", "LPT1", "LPT2",   "LPT3",
                                    "LPT4", "LPT5", "LPT6", "LPT7", "LPT8",   "LPT9"};

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

int IsForbiddenCharacter(char c) {
  return static_cast<unsigned char>(c) < 32 || strchr(":/<>\"|?*", c) != nullptr;
}

// Windows takes the part before the first '.', less trailing blanks, as the device:
// "nul.txt", "Lpt1.tar.gz" and "con .log" all name a device.
int IsDeviceName(const char* part, size_t length) {
  size_t stem = 0;
  while (stem < length && part[stem] != '.') ++stem;
  while (stem > 0 && part[stem - 1] == ' ') --stem;
  for (const char* device : kDeviceNames) {
    const size_t deviceLength = strlen(device);
    if (deviceLength != stem) continue;
    size_t i = 0;
    while (i < deviceLength && UpperAscii(part[i]) == device[i]) ++i;
    if (i == deviceLength) return 1;
  }
  return 0;
}

MemberNameProblem CheckPart(const char* part, size_t length) {
  if (length == 0) return kNameEmptyPart;
  for (size_t i = 0; i < length; ++i) {
    if (IsForbiddenCharacter(part[i])) return kNameForbiddenCharacter;
  }
  if (part[0] == '.' && (length == 1 || (length == 2 && part[1] == '.'))) return kNameDotPart;
  if (part[length - 1] == '.' || part[length - 1] == ' ') return kNameEndsWithDotOrBlank;
  return IsDeviceName(part, length) ? kNameDevice : kNameSafe;
}

}  // namespace

MemberNameProblem CheckMemberName(const char (&name)[260]) {
  if (memchr(name, 0, sizeof(name)) == nullptr) return kNameUnterminated;
  if (name[0] == 0) return kNameEmpty;
  if (name[0] == kMemberSeparator) return kNameStartsWithSeparator;
  const char* part = name;
  for (;;) {
    const char* end = part;
    while (*end != 0 && *end != kMemberSeparator) ++end;
    // A separator at the very end marks a folder: no part follows it.
    if (*end == 0 && end == part && part != name) return kNameSafe;
    const MemberNameProblem problem = CheckPart(part, static_cast<size_t>(end - part));
    if (problem != kNameSafe || *end == 0) return problem;
    part = end + 1;
  }
}

int IsSafeMemberName(const char (&name)[260]) { return CheckMemberName(name) == kNameSafe ? 1 : 0; }

int IsFolderMemberName(const char* name) {
  const size_t length = strlen(name);
  return length > 0 && name[length - 1] == kMemberSeparator ? 1 : 0;
}

const char* DescribeMemberNameProblem(MemberNameProblem problem) {
  switch (problem) {
    case kNameSafe: return "a safe name";
    case kNameUnterminated: return "the name fills its whole field";
    case kNameEmpty: return "the name is empty";
    case kNameStartsWithSeparator: return "the name starts with \"\\\"";
    case kNameEmptyPart: return "the name has an empty part";
    case kNameForbiddenCharacter: return "the name holds a character that Windows does not allow in a file name";
    case kNameDotPart: return "a part of the name is \".\" or \"..\"";
    case kNameEndsWithDotOrBlank: return "a part of the name ends with a dot or a blank";
    case kNameDevice: return "a part of the name is a device name";
  }
  return "unsafe name";
}
