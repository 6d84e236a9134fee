#!/usr/bin/env python3
"""The checksums described in docs/format.md, written from that text alone, against
the tool: packages are packed by lodkin-cli from members of lengths around the block size
and behind program images of each kind the text names (PE32, PE32+, no PE file); every
member's checksum must be the one `lodkin-cli list` shows, and every record's own checksum
and module image checksum must be the ones stored in the package.

usage: checksum_from_format.py LODKIN_CLI
"""
import json
import os
import random
import struct
import subprocess
import sys
import tempfile

MASK = 0xFFFFFFFF


def mix(h):
    h ^= h >> 16
    h = (h * 0x85EBCA6B) & MASK
    h ^= h >> 13
    h = (h * 0xC2B2AE35) & MASK
    h ^= h >> 16
    return h


def checksum(data):
    n = len(data)
    sums = [0, 0, 0, 0]
    sums_of_sums = [0, 0, 0, 0]
    if n % 16:
        data = data + bytes(16 - n % 16)
    for block in range(0, len(data), 16):
        for j in range(4):
            word = struct.unpack_from("<I", data, block + 4 * j)[0]
            sums[j] = (sums[j] + word) & MASK
            sums_of_sums[j] = (sums_of_sums[j] + sums[j]) & MASK
    h = mix((n & MASK) ^ 0x9E3779B9) ^ mix(n >> 32)
    for j in range(4):
        h = mix(h ^ sums[j])
        h = mix(h ^ sums_of_sums[j])
    return h


def security_fields(image):
    """Where the PE checksum field and the security directory entry lie, or None."""
    if len(image) < 64 or image[:2] != b"MZ":
        return None
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0" or pe + 26 > len(image):
        return None
    optional_size = struct.unpack_from("<H", image, pe + 20)[0]
    magic = struct.unpack_from("<H", image, pe + 24)[0]
    if magic not in (0x10B, 0x20B):
        return None
    directories = 96 if magic == 0x10B else 112
    count = struct.unpack_from("<I", image, pe + 24 + directories - 4)[0]
    if optional_size < directories + 40 or count <= 4:
        return None
    return pe + 88, pe + (152 if magic == 0x10B else 168)


def module_image_checksum(image):
    image = bytearray(image)
    fields = security_fields(image)
    if fields:
        image[fields[0]:fields[0] + 4] = bytes(4)
        image[fields[1]:fields[1] + 8] = bytes(8)
    return checksum(bytes(image))


def pe_image(magic, length, rng):
    """Headers enough for the security directory to be found, then arbitrary bytes."""
    image = bytearray(rng.randbytes(length))
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    image[0x80:0x84] = b"PE\0\0"
    optional = 0x80 + 24
    struct.pack_into("<H", image, 0x80 + 20, 224 if magic == 0x10B else 240)
    struct.pack_into("<H", image, optional, magic)
    directories = 96 if magic == 0x10B else 112
    struct.pack_into("<I", image, optional + directories - 4, 16)
    # No table: a non-zero pair would be taken for a signature by the writer.
    struct.pack_into("<II", image, optional + directories + 32, 0, 0)
    return bytes(image)


def run(arguments):
    result = subprocess.run(arguments, capture_output=True, text=True)
    if result.returncode != 0:
        raise SystemExit("failed: %s\n%s" % (" ".join(arguments), result.stderr))
    return result.stdout


def check_package(cli, folder, stub, lengths, rng):
    files = []
    for index, length in enumerate(lengths):
        path = os.path.join(folder, "setup.exe" if index == 0 else "m%d.bin" % index)
        with open(path, "wb") as f:
            f.write(rng.randbytes(length))
        files.append(path)
    package = os.path.join(folder, "package.exe")
    run([cli, "pack", "-o", package, "--stub", stub] + files)
    with open(package, "rb") as f:
        data = bytearray(f.read())
    # What signing changes in the program part, done by hand: the PE checksum field and
    # the security directory entry get other bytes, which must not count.
    fields = security_fields(data)
    if fields:
        data[fields[0]:fields[0] + 4] = rng.randbytes(4)
        data[fields[1]:fields[1] + 8] = rng.randbytes(8)
        with open(package, "wb") as f:
            f.write(data)
    listed = json.loads(run([cli, "list", "--json", package]))
    image = bytes(data[:listed["moduleImageLength"]])
    count = struct.unpack_from("<i", data, len(data) - 4)[0]
    directory = len(data) - 20 - 268 * count
    failures = 0
    for index, member in enumerate(listed["members"]):
        with open(files[index], "rb") as f:
            content = f.read()
        entry = bytes(data[directory + 268 * index:directory + 268 * (index + 1)])
        checks = [
            ("member %d (%d bytes)" % (index, len(content)), member["checksum"], "%08x" % checksum(content)),
            ("record check of entry %d" % index, struct.unpack_from("<I", entry, 256)[0],
             checksum(entry[:256] + entry[260:268])),
            ("module image in entry %d" % index, struct.unpack_from("<I", entry, 252)[0],
             module_image_checksum(image)),
        ]
        for what, theirs, ours in checks:
            if theirs != ours:
                print("%s: %s: tool %s, format text %s" % (stub, what, theirs, ours))
                failures += 1
    return failures, len(listed["members"])


def main():
    cli = sys.argv[1]
    rng = random.Random(1218)
    lengths = [1, 0, 3, 4, 15, 16, 17, 31, 32, 33, 64, 1000, 300001]
    failures = checked = 0
    with tempfile.TemporaryDirectory() as folder:
        stubs = {
            "pe32.exe": pe_image(0x10B, 3001, rng),
            "pe32plus.exe": pe_image(0x20B, 2999, rng),
            "plain.bin": rng.randbytes(777),
        }
        for name, image in stubs.items():
            stub = os.path.join(folder, name)
            with open(stub, "wb") as f:
                f.write(image)
            work = os.path.join(folder, name + ".d")
            os.mkdir(work)
            rng.shuffle(lengths)
            found, count = check_package(cli, work, stub, lengths, rng)
            failures += found
            checked += count
    print("%d members behind 3 program images checked, %d differences" % (checked, failures))
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
