// The four commands of the tool. Each returns its exit status.
#pragma once
#include "cli/arguments.h"
#include "core/binary_file.h"

int RunPackTool(const ToolArguments& arguments);
int RunListTool(const ToolArguments& arguments);
int RunVerifyTool(const ToolArguments& arguments);
int RunExtractTool(const ToolArguments& arguments);

class PackageReader;
// Opens and validates the package named on the command line, as the program does before
// it extracts anything; on a refusal prints the one line that says why.
int OpenPackageOrReport(const char* argument, PackageReader& reader, char (&path)[kCorePathSize]);

// A name from a package as an error message shows it: bytes other than printable ASCII
// (and the quote) as \xNN, whatever the terminal's encoding.
void EscapeName(const char* name, char (&shown)[4 * kMemberNameSize]);
