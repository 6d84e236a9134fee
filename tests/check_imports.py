#!/usr/bin/env python3
"""Lists the DLLs that Lodkin.exe imports (read with pefile) and fails for any that is not
one of the system's known DLLs: Windows looks for any other one beside the program first,
and a package is started elevated from wherever it was saved."""
import sys

import pefile

# The known DLLs that every supported system maps from its own folder.
KNOWN_DLLS = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "kernel32.dll", "msvcrt.dll",
    "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "setupapi.dll", "shell32.dll",
    "shlwapi.dll", "user32.dll", "ws2_32.dll",
}


def main(exe):
    pe = pefile.PE(exe, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
                                           pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]])
    imported = [entry.dll.decode("ascii").lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    delayed = [entry.dll.decode("ascii").lower() for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    print("imports:", ", ".join(imported), "| delay-loaded:", ", ".join(delayed) or "none")
    unknown = [name for name in imported + delayed if name not in KNOWN_DLLS]
    if not imported:
        print("FAIL: no import table read")
        return 1
    if unknown:
        print("FAIL: not known DLLs:", ", ".join(unknown))
        return 1
    print("OK")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
