// The rule for a member name read from a package directory. Portable: the package
// core is built for the host as well as for Windows.
#pragma once

// A name field can be joined to a folder and written as one file of that name:
// terminated inside its 260 bytes, not empty, free of '\', '/' and ':', neither "."
// nor "..", free of the characters Windows does not allow in a file name
// (< > " | ? * and bytes 1 to 31), and not a device name (CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, COM1 to COM9, LPT1 to LPT9, in any letter case and with any
// extension), which Windows would open as that device wherever the file lies.
int IsSafeMemberName(const char (&name)[260]);
