#include "package/silent_run.h"

#include <string.h>

int IsSilentRun(int startsWithSilentOption, int haveStationFlags, const USEROBJECTFLAGS& stationFlags) {
  if (startsWithSilentOption) return 1;
  return !haveStationFlags || (stationFlags.dwFlags & WSF_VISIBLE) == 0;
}

int GetStationFlags(HWINSTA station, USEROBJECTFLAGS* flags) {
  memset(flags, 0, sizeof(*flags));
  if (station == NULL) return 0;
  DWORD needed = 0;
  return GetUserObjectInformationA(station, UOI_FLAGS, flags, sizeof(*flags), &needed) ? 1 : 0;
}

int IsSilentProcess(int startsWithSilentOption) {
  if (startsWithSilentOption) return 1;
  // Wine marks its station visible only once the station's desktop window exists, and a
  // package run makes no window before it fails; asking for the desktop window first is
  // harmless where the station says it from the start.
  GetDesktopWindow();
  USEROBJECTFLAGS flags;
  // The process's station handle belongs to the process and is not closed.
  const int haveFlags = GetStationFlags(GetProcessWindowStation(), &flags);
  return IsSilentRun(startsWithSilentOption, haveFlags, flags);
}

void QuietSystemBoxesWhenSilent(int startsWithSilentOption) {
  if (IsSilentProcess(startsWithSilentOption)) SetErrorMode(kSilentErrorMode);
}
