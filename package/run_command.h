// Starting the programs of a package run, each with its path in quotes so that a blank
// in the path can never make the system start a shorter prefix of it as a program.
#pragma once
#include <windows.h>

#include "core/package_reader.h"
#include "package/member_tree.h"

// 1 when HKEY_LOCAL_MACHINE\<keyPath> opens and its "UninstallString" can be read.
int IsProductInstalled(const char* keyPath);

// The member that the text after "-run" names: the longest directory entry name that
// the text begins with (ignoring case) followed by a blank or the end. Returns the
// length of the name within `text`, or 0 when the text names no member: only a member
// of the package is ever started, never a path that leads out of the work directory.
// *index, when given, receives the member's index (-1 for none).
int RunMemberNameLength(const char* text, const PackageReader& package, int* index = nullptr);

// Writes "\"<directory>\\<name>\"<arguments>" where name is the first nameLength bytes
// of text and arguments the rest of it. Returns 0 when it does not fit.
int FormatQuotedCommand(char* command, int commandSize, const char* directory, const char* text,
                        int nameLength);

// CreateProcess with the parent's environment and current directory; waits for the
// program without a time limit. Returns 1 when it ran, with its exit code in
// *exitCode; 0 when it could not be started, with the system error code there. The
// files and folders of `heldUntilStarted` are let go of once the program has started.
int StartAndWait(char* command, DWORD* exitCode, MemberTree* heldUntilStarted = nullptr);

// Waits for the process without a time limit and returns its exit code (a failure's
// system error code when the code cannot be read).
DWORD WaitForExitCode(HANDLE process);

// Starts `file` through the shell with the verb "open" and waits for it without a time
// limit. Returns 1 when it ran, with its exit code in *exitCode; 0 when it could not be
// started, with the system error code there. `quiet` asks the shell to show no box of
// its own when the start fails (a silent run). `heldUntilStarted` as for StartAndWait.
int ShellStartAndWait(const char* file, const char* parameters, int quiet, DWORD* exitCode,
                      MemberTree* heldUntilStarted = nullptr);
