// The rule for a directory entry's name: a plain file name that can be joined to a
// folder without leaving it.
#pragma once

// Terminated inside its 260 bytes, not empty, free of '\', '/' and ':', and neither "."
// nor "..".
int IsSafeMemberName(const char (&name)[260]);
