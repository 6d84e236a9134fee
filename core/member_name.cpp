#include "core/member_name.h"

#include <string.h>

namespace {

const char* const kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
// COM and LPT followed by one digit, 0 included, or by a superscript one, two or three
// (the bytes of code page 1252), which Windows reserves as well.
const char* const kNumberedDevices[] = {"COM", "LPT"};
const char kDeviceDigits[] = "0123456789\xB9\xB2\xB3";

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

int IsForbiddenCharacter(char c) {
  return static_cast<unsigned char>(c) < 32 || strchr(":/<>\"|?*", c) != nullptr;
}

int EqualsIgnoringAsciiCase(const char* part, const char* upper, size_t length) {
  size_t i = 0;
  while (i < length && UpperAscii(part[i]) == upper[i]) ++i;
  return i == length;
}

// Windows takes the part before the first '.', less trailing blanks, as the device:
// "nul.txt", "Lpt1.tar.gz" and "con .log" all name a device.
int IsDeviceName(const char* part, size_t length) {
  size_t stem = 0;
  while (stem < length && part[stem] != '.') ++stem;
  while (stem > 0 && part[stem - 1] == ' ') --stem;
  for (const char* device : kDeviceNames) {
    if (strlen(device) == stem && EqualsIgnoringAsciiCase(part, device, stem)) return 1;
  }
  if (stem != 4 || part[3] == 0 || strchr(kDeviceDigits, part[3]) == nullptr) return 0;
  for (const char* device : kNumberedDevices) {
    if (EqualsIgnoringAsciiCase(part, device, 3)) return 1;
  }
  return 0;
}

MemberNameProblem CheckPart(const NameCodePage& codePage, const char* part, size_t length) {
  if (length == 0) return kNameEmptyPart;
  // The second byte of a double-byte character is no character of its own.
  for (size_t i = 0; i < length; i += static_cast<size_t>(CharacterLength(codePage, part + i))) {
    if (IsForbiddenCharacter(part[i])) return kNameForbiddenCharacter;
  }
  if (part[0] == '.' && (length == 1 || (length == 2 && part[1] == '.'))) return kNameDotPart;
  // A trailing dot or blank is never the second byte of a character: both are below 0x40.
  if (part[length - 1] == '.' || part[length - 1] == ' ') return kNameEndsWithDotOrBlank;
  return IsDeviceName(part, length) ? kNameDevice : kNameSafe;
}

// The end of the part that starts at `part`: its terminator or its separator.
const char* PartEnd(const NameCodePage& codePage, const char* part) {
  const char* end = part;
  while (*end != 0 && *end != kMemberSeparator) end += CharacterLength(codePage, end);
  return end;
}

}  // namespace

MemberNameProblem CheckMemberName(const char (&name)[260], const NameCodePage& codePage) {
  if (memchr(name, 0, sizeof(name)) == nullptr) return kNameUnterminated;
  if (name[0] == 0) return kNameEmpty;
  if (name[0] == kMemberSeparator) return kNameStartsWithSeparator;
  const char* part = name;
  for (;;) {
    const char* end = PartEnd(codePage, part);
    // A separator at the very end marks a folder: no part follows it.
    if (*end == 0 && end == part && part != name) return kNameSafe;
    const MemberNameProblem problem = CheckPart(codePage, part, static_cast<size_t>(end - part));
    if (problem != kNameSafe || *end == 0) return problem;
    part = end + 1;
  }
}

int IsFolderMemberName(const char* name, const NameCodePage& codePage) {
  const char* last = nullptr;
  for (const char* p = name; *p != 0; p += CharacterLength(codePage, p)) last = p;
  return last != nullptr && *last == kMemberSeparator ? 1 : 0;
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
