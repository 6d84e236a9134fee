#!/usr/bin/env python3
"""Reads the built lodkin-cli.exe with pefile: a large-address-aware console program for the build's architecture,
linked without runtime DLLs of the compiler, whose manifest runs it with its caller's rights."""
import sys

import pefile

RT_MANIFEST = 24
SUBSYSTEM_WINDOWS_CUI = 3
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


pe = pefile.PE(sys.argv[1])
MACHINES = {0x14C: "X86", 0x8664: "amd64"}
check(pe.FILE_HEADER.Machine in MACHINES, "machine %#x is neither i386 nor x86-64" % pe.FILE_HEADER.Machine)
architecture = MACHINES.get(pe.FILE_HEADER.Machine, "?")
# Packages of groups that decode to hundreds of MiB need more than a 32-bit program's 2 GiB.
check(pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_LARGE_ADDRESS_AWARE"],
      "not large-address aware")
check(pe.OPTIONAL_HEADER.Subsystem == SUBSYSTEM_WINDOWS_CUI,
      "subsystem %d, not the console" % pe.OPTIONAL_HEADER.Subsystem)

imports = [entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
for dll in imports:
    check(not dll.startswith(("libgcc", "libstdc++", "libwinpthread")), "needs %s beside it" % dll)

manifests = []
resource_types = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
for type_entry in resource_types:
    if type_entry.id != RT_MANIFEST:
        continue
    for name_entry in type_entry.directory.entries:
        for lang_entry in name_entry.directory.entries:
            data = lang_entry.data.struct
            manifests.append(pe.get_data(data.OffsetToData, data.Size).decode("utf-8", "replace"))
check(len(manifests) == 1, "%d manifests" % len(manifests))
for text in manifests:
    check("requireAdministrator" not in text, "the manifest asks for administrator rights")
    check("highestAvailable" not in text, "the manifest asks for the highest rights available")
    check('level="asInvoker"' in text, "the manifest does not say asInvoker")
    check('processorArchitecture="%s"' % architecture in text, "the manifest names another architecture")

if failures:
    for failure in failures:
        print("FAIL:", failure)
    sys.exit(1)
print("lodkin-cli.exe: console, imports %s, asInvoker" % ", ".join(sorted(imports)))
