#!/usr/bin/env python3
"""Packages under real Authenticode signatures.

Runs on the build machine: packages are written by the product's own Pack code
(pack_list.exe under Wine), signed and verified with osslsigncode, then started with
the real program under Wine, where the stand-in setup program records its run.
Usage: signed_package_test.py BIN_FOLDER  (needs WINEPREFIX and a running wineserver)
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

import pefile

BIN = ""
# The loader of the build under test (64-bit Wine is not on PATH).
WINE = os.environ.get("LODKIN_WINE", "wine")
ENTRY = 268    # one directory entry
TRAILER = 20   # magic and count
MAGIC = b"BRAMTOLEPACKFILE"


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def unix_path(path):
    return subprocess.run([WINE, "winepath", "-u", path], check=True, capture_output=True,
                          stdin=subprocess.DEVNULL, text=True).stdout.strip()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def wine(program, *arguments, env=None):
    """Runs a Windows program and waits for it. A file that is taken for no package opens
    the packaging window and would wait for ever: after 30 s it is ended and the case fails."""
    # Output to nowhere: Wine's desktop process may inherit the handles and outlive the run.
    try:
        return subprocess.run([WINE, program, *arguments], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              env=env, timeout=30).returncode
    except subprocess.TimeoutExpired:
        raise AssertionError("%s %s still running after 30 s" % (program, " ".join(arguments)))


def security_directory(path):
    """(file offset, size) of the certificate table, read with an independent PE reader."""
    pe = pefile.PE(path, fast_load=True)
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[4]
    return entry.VirtualAddress, entry.Size


def with_checksum(data, checksum):
    """The bytes with the optional header's CheckSum field set."""
    at = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 64
    return data[:at] + struct.pack("<I", checksum) + data[at + 4:]


def pe_checksum(data, scratch):
    write(scratch, data)
    return pefile.PE(scratch, fast_load=True).generate_checksum()


def without_security_directory(data, scratch):
    """What a clean program looks like: directory 4 zero and a checksum made anew."""
    pe = pefile.PE(data=data, fast_load=True)
    at = pe.OPTIONAL_HEADER.DATA_DIRECTORY[4].__file_offset__
    cleared = data[:at] + bytes(8) + data[at + 8:]
    return with_checksum(cleared, pe_checksum(cleared, scratch))


def grown_table(data, payload):
    """The signed file with `payload` appended inside its certificate table: the table
    and its first certificate grow to cover it (and up to 7 zero bytes after it), so the
    table still ends at the end of the file and still looks sound."""
    payload += bytes(-len(payload) % 8)
    grown = bytearray(data + payload)
    entry = pefile.PE(data=data, fast_load=True).OPTIONAL_HEADER.DATA_DIRECTORY[4]
    offset, size = entry.VirtualAddress, entry.Size
    struct.pack_into("<II", grown, entry.__file_offset__, offset, size + len(payload))
    struct.pack_into("<I", grown, offset, size + len(payload))
    return bytes(grown)


def module_image(package):
    """The bytes before member 0 of an unsigned package, from its own trailer."""
    data = read(package)
    assert data[-TRAILER:-4] == MAGIC
    count = struct.unpack_from("<i", data, len(data) - 4)[0]
    first = struct.unpack_from("<I", data, len(data) - TRAILER - count * ENTRY + 260)[0]
    return data[:first]


class SignedPackages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory(prefix="lodkin-signing-")
        cls.root = cls.scratch.name
        cls.lodkin = os.path.join(BIN, "Lodkin.exe")
        cls.stand_in = read(os.path.join(BIN, "stand_in_setup.exe"))
        cls.certs = {}
        for name, bits in (("first", 2048), ("second", 2048), ("large", 4096)):
            key, cert = cls.file(name + ".key"), cls.file(name + ".pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:%d" % bits, "-nodes",
                            "-keyout", key, "-out", cert, "-days", "30", "-subj", "/CN=" + name,
                            "-addext", "extendedKeyUsage=codeSigning"],
                           check=True, capture_output=True, stdin=subprocess.DEVNULL)
            cls.certs[name] = (cert, key)
        cls.trusted = cls.file("trusted.pem")
        write(cls.trusted, b"".join(read(cls.certs[n][0]) for n in cls.certs))
        cls.counter = 0

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    @classmethod
    def file(cls, name):
        return os.path.join(cls.root, name)

    def folder(self):
        SignedPackages.counter += 1
        path = self.file("case%d" % SignedPackages.counter)
        os.mkdir(path)
        return path

    # --- the product's side, under Wine ---

    def pack(self, folder, members, module=None):
        """Writes app/setup.exe (the stand-in) and the members, and packs them in that
        order with `module` as the running program. Returns the package's path."""
        app = os.path.join(folder, "app")
        os.mkdir(app)
        rows = [os.path.join(app, "setup.exe")]
        write(rows[0], self.stand_in)
        for name, data in members:
            rows.append(os.path.join(app, name))
            write(rows[-1], data)
        code = wine(os.path.join(BIN, "pack_list.exe"), windows_path(module or self.lodkin),
                    *map(windows_path, rows))
        self.assertEqual(code, 0, "pack_list failed")
        return os.path.join(app, "KVPACK_app.exe")

    def run_package(self, package):
        """Starts the package with an empty command line; the stand-in's records."""
        record = package + ".record"
        env = dict(os.environ, LODKIN_STAND_IN_RECORD=windows_path(record))
        wine(package, env=env)
        records = []
        if os.path.exists(record):
            for block in read(record).decode("latin-1").split("\n\n"):
                if block.strip():
                    records.append(dict(line.split("=", 1) for line in block.split("\n")))
            os.remove(record)
        for r in records:  # the work directory would otherwise stay until a restart
            work = unix_path(r["self"].rsplit("\\", 1)[0])
            subprocess.run(["rm", "-rf", work], check=True)
        return records

    def extract(self, package):
        """Runs "-e"; the extraction folder beside the package."""
        wine(package, "-e")
        return package[:-len(".exe")]

    # --- osslsigncode ---

    def sign(self, source, target, signer="first", nest=False):
        cert, key = self.certs[signer]
        command = ["osslsigncode", "sign", "-certs", cert, "-key", key]
        if nest:
            command.append("-nest")
        subprocess.run(command + ["-in", source, "-out", target], check=True,
                       capture_output=True, stdin=subprocess.DEVNULL)

    def verify(self, path):
        """(exit code, digests as stored, digests as calculated) of `osslsigncode verify`."""
        done = subprocess.run(["osslsigncode", "verify", "-CAfile", self.trusted, path],
                              capture_output=True, stdin=subprocess.DEVNULL, text=True)
        current, calculated = [], []
        for line in done.stdout.splitlines():
            if line.startswith("Current message digest"):
                current.append(line.split(":", 1)[1].split()[0])
            elif line.startswith("Calculated message digest"):
                calculated.append(line.split(":", 1)[1].split()[0])
        return done.returncode, current, calculated

    def assert_verifies(self, path, signatures=1):
        code, current, calculated = self.verify(path)
        self.assertEqual(code, 0, path)
        self.assertEqual(len(current), signatures)
        self.assertEqual(current, calculated)

    def signed_package(self, folder, members, signer="first", nested=None):
        """A package of the stand-in and `members`, signed by `signer`, then by `nested`
        as a second signature; checks where the table went."""
        package = self.pack(folder, members)
        unsigned = read(package)
        signed = os.path.join(folder, "app", "KVPACK_signed.exe")
        self.sign(package, signed, signer=signer)
        if nested:
            once = signed + ".once"
            os.rename(signed, once)
            self.sign(once, signed, signer=nested, nest=True)
        offset, size = security_directory(signed)
        data = read(signed)
        self.assertEqual(offset + size, len(data), "the table ends at the end of the file")
        self.assertEqual(struct.unpack_from("<I", data, offset)[0], size)
        self.assertEqual(offset % 8, 0)
        padding = offset - len(unsigned)
        self.assertEqual(padding, -len(unsigned) % 8)
        self.assertEqual(data[len(unsigned):offset], bytes(padding))
        return signed, unsigned, padding, size

    def assert_runs_and_extracts(self, package, members):
        records = self.run_package(package)
        self.assertEqual(len(records), 1, "the setup program ran once")
        names = sorted(["setup.exe"] + [name for name, _ in members], key=str.lower)
        self.assertEqual(records[0]["files"], "|".join(names))
        self.assertEqual(records[0]["caller"].lower(), windows_path(package).lower())

        folder = self.extract(package)
        inner = os.path.join(folder, os.path.basename(folder))
        self.assertEqual(sorted(os.listdir(inner), key=str.lower), names)
        self.assertEqual(read(os.path.join(inner, "setup.exe")), self.stand_in)
        for name, data in members:
            self.assertEqual(read(os.path.join(inner, name)), data, name)
        return os.path.join(folder, "Lodkin.exe")

    def assert_clean_program(self, path, expected):
        """A bare program without a dangling directory 4, with a valid checksum."""
        self.assertEqual(security_directory(path), (0, 0))
        data = read(path)
        self.assertEqual(pefile.PE(path, fast_load=True).OPTIONAL_HEADER.CheckSum,
                         pe_checksum(data, self.file("checksum.tmp")))
        self.assertEqual(data, expected)

    # --- the cases ---

    def data_for_padding(self, wanted):
        """data.bin, sized so that the package of setup.exe and data.bin needs `wanted`
        alignment bytes before its certificate table."""
        base = os.path.getsize(self.lodkin) + len(self.stand_in) + 2 * ENTRY + TRAILER + 1000
        return ("data.bin", os.urandom(1000 + (-base - wanted) % 8))

    def test_signed_package_runs_and_extracts_with_every_padding(self):
        module = read(self.lodkin)
        clean = with_checksum(module, pe_checksum(module, self.file("checksum.tmp")))
        for wanted in range(8):
            with self.subTest(padding=wanted):
                members = [self.data_for_padding(wanted)]
                signed, _, padding, table = self.signed_package(self.folder(), members)
                self.assertEqual(padding, wanted)
                print("padding %d, table %d bytes" % (padding, table), file=sys.stderr)
                self.assert_verifies(signed)
                bare = self.assert_runs_and_extracts(signed, members)
                self.assert_clean_program(bare, clean)

    def test_nested_large_and_resigned_packages_run(self):
        module = read(self.lodkin)
        clean = with_checksum(module, pe_checksum(module, self.file("checksum.tmp")))
        cases = [("nested", dict(nested="second"), 2),
                 ("RSA-4096", dict(signer="large"), 1),
                 ("RSA-4096 nested over RSA-2048", dict(nested="large"), 2)]
        for name, signing, signatures in cases:
            with self.subTest(name):
                members = [("a.txt", b"alpha"), ("b.bin", os.urandom(3333))]
                signed, _, padding, table = self.signed_package(self.folder(), members, **signing)
                print("%s: padding %d, table %d bytes" % (name, padding, table), file=sys.stderr)
                self.assert_verifies(signed, signatures)
                bare = self.assert_runs_and_extracts(signed, members)
                self.assert_clean_program(bare, clean)
        with self.subTest("signed again over the first signature"):
            members = [("c.txt", b"gamma")]
            signed, _, _, first_table = self.signed_package(self.folder(), members)
            again = signed + ".again.exe"
            self.sign(signed, again, signer="second")
            offset, size = security_directory(again)
            self.assertEqual(offset, security_directory(signed)[0], "the table is replaced")
            self.assertEqual(offset + size, os.path.getsize(again))
            self.assert_verifies(again)
            self.assert_runs_and_extracts(again, members)

    def test_changed_byte_after_signing_fails_verification(self):
        members = [self.data_for_padding(5)]
        signed, unsigned, padding, _ = self.signed_package(self.folder(), members)
        self.assertEqual(padding, 5)
        good = read(signed)
        places = {"setup.exe member": os.path.getsize(self.lodkin) + 100,
                  "data.bin member": len(unsigned) - TRAILER - 2 * ENTRY - 1,
                  "directory name": len(unsigned) - TRAILER - ENTRY,
                  "trailer count": len(unsigned) - 4,
                  "alignment padding": len(unsigned)}
        for place, at in places.items():
            with self.subTest(place):
                damaged = self.file("damaged.exe")
                write(damaged, good[:at] + bytes([good[at] ^ 0x01]) + good[at + 1:])
                code, current, calculated = self.verify(damaged)
                self.assertNotEqual(code, 0)
                self.assertNotEqual(current, calculated)

    def test_forged_trailer_inside_the_certificate_table_is_ignored(self):
        members = [("data.bin", b"genuine")]
        signed, unsigned, _, _ = self.signed_package(self.folder(), members)
        data = read(signed)
        # A forged member, directory and trailer appended inside the table.
        forged_member = b"forged content"
        forged_at = len(data)
        setup_entry = unsigned[len(unsigned) - TRAILER - 2 * ENTRY:len(unsigned) - TRAILER - ENTRY]
        forged_entry = b"forged.txt".ljust(260, b"\0") + struct.pack("<II", forged_at, len(forged_member))
        forged = forged_member + setup_entry + forged_entry + MAGIC + struct.pack("<i", 2)
        forged_path = self.file("forged.exe")
        write(forged_path, grown_table(bytes(data), forged))
        # The genuine directory is read: no forged.txt is started beside setup.exe or unpacked.
        self.assert_runs_and_extracts(forged_path, members)

        # A signed plain program with a package hidden in its table stays a plain program.
        folder = self.folder()
        plain = os.path.join(folder, "plain.exe")
        self.sign(self.lodkin, plain + ".signed")
        signed_plain = read(plain + ".signed")
        os.remove(plain + ".signed")
        hidden_at = len(signed_plain)
        hidden = forged_member + forged_entry[:260] + struct.pack("<II", hidden_at, len(forged_member))
        write(plain, grown_table(signed_plain, hidden + MAGIC + struct.pack("<i", 1)))
        self.extract(plain)
        self.assertEqual(os.listdir(folder), ["plain.exe"])

    def test_program_packs_a_module_image_without_its_signature(self):
        program = read(self.lodkin)
        signed, nested = self.file("signed-lodkin.exe"), self.file("nested-lodkin.exe")
        self.sign(self.lodkin, signed)
        self.sign(signed, nested, signer="second", nest=True)
        odd = self.file("odd-lodkin.exe")   # 3 bytes of overlay: signing adds 5 zero bytes
        write(odd, program + b"abc")
        signed_odd = self.file("signed-odd-lodkin.exe")
        self.sign(odd, signed_odd)
        dangling = self.file("dangling-lodkin.exe")   # a table that no longer ends at the end
        write(dangling, read(signed) + b"appended")
        pointing = self.file("pointing-lodkin.exe")   # directory 4 set, no table, odd length
        at = pefile.PE(self.lodkin, fast_load=True).OPTIONAL_HEADER.DATA_DIRECTORY[4].__file_offset__
        write(pointing, program[:at] + struct.pack("<II", 0x10000, 0x200) + program[at + 8:] + b"abc")

        def removed(path):
            out = path + ".removed"
            subprocess.run(["osslsigncode", "remove-signature", "-in", path, "-out", out],
                           check=True, capture_output=True, stdin=subprocess.DEVNULL)
            return read(out)

        scratch = self.file("checksum.tmp")
        cases = [("unsigned", self.lodkin, lambda: program),
                 ("signed", signed, lambda: removed(signed)),
                 ("nested signatures", nested, lambda: removed(nested)),
                 ("signed after alignment bytes", signed_odd, lambda: removed(signed_odd)),
                 ("table not at the end", dangling,
                  lambda: without_security_directory(read(dangling), scratch)),
                 ("directory without a table", pointing,
                  lambda: without_security_directory(read(pointing), scratch))]
        for name, module, expected in cases:
            with self.subTest(name):
                folder = self.folder()
                members = [("data.bin", os.urandom(777))]
                package = self.pack(folder, members, module=module)
                image = module_image(package)
                self.assertEqual(image, expected())
                self.assert_runs_and_extracts(package, members)

                resigned = package[:-len(".exe")] + "_signed.exe"
                self.sign(package, resigned)
                self.assert_verifies(resigned)
                bare = self.assert_runs_and_extracts(resigned, members)
                self.assertEqual(read(bare), image)


if __name__ == "__main__":
    BIN = sys.argv.pop(1)
    unittest.main(verbosity=2)
