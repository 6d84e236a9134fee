// The rule for a member name read from a package directory, and for the names a writer
// may store. Portable: the package core is built for the host as well as for Windows.
#pragma once

#include "core/name_code_page.h"

// A member name is a path relative to the folder it is written into: parts separated by
// '\', and a name that ends with '\' stands for an (empty) folder.
const char kMemberSeparator = '\\';

// Why a name could not be joined to a folder and written there as itself.
enum MemberNameProblem {
  kNameSafe = 0,
  kNameUnterminated,         // no terminator inside the 260 bytes of the field
  kNameEmpty,
  kNameStartsWithSeparator,  // "\x": a path from the root of a drive
  kNameEmptyPart,            // "a\\b": two separators together
  kNameForbiddenCharacter,   // ':' (a drive or a stream), '/', < > " | ? * or bytes 1 to 31
  kNameDotPart,              // a part "." or "..", which would leave its folder
  kNameEndsWithDotOrBlank,   // Windows drops them, so the part would name another file
  kNameDevice,               // a part Windows opens as a device wherever it lies
};

// Checks every part of the name. The device names are CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, COM0 to COM9 and LPT0 to LPT9, and COM and LPT followed by the bytes B9, B2
// or B3 (superscript 1, 2, 3), in any letter case and with any extension.
// Parts are split, and checked, character by character in `codePage`: the second byte
// of a double-byte character is never a separator nor a forbidden character.
MemberNameProblem CheckMemberName(const char (&name)[260], const NameCodePage& codePage);

// 1 when a (safe) name stands for a folder: it ends with the separator, and in
// `codePage` a last character that is double-byte is no separator.
int IsFolderMemberName(const char* name, const NameCodePage& codePage);

// A sentence for the problem ("a part of the name is \".\" or \"..\"").
const char* DescribeMemberNameProblem(MemberNameProblem problem);
