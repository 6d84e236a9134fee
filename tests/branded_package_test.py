#!/usr/bin/env python3
"""Branded packages (lodkin-cli pack --icon/--description/...) as Windows reads them
(brand_probe.exe: GetFileVersionInfoA, VerQueryValueA, LookupIconIdFromDirectoryEx) and
as pefile reads them; run, "-e", packed again from the extracted program, signed with
osslsigncode and run. And the programs themselves: no link time, no build path.
Usage: branded_package_test.py BIN_FOLDER  (needs WINEPREFIX and a running wineserver)
"""
import os
import struct
import subprocess
import sys
import unittest
import zlib

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import signed_package_test as signed  # noqa: E402  (its Wine, packing and signing helpers)

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEXTS = {"FileDescription": "Acme Widgets Setup", "ProductName": "Acme Widgets",
         "CompanyName": "Acme Corp.", "LegalCopyright": "(C) 2026 Acme Corp."}


def brand_options(description=TEXTS["FileDescription"], version="7.1.65535.0"):
    return ["--description", description, "--product-name", TEXTS["ProductName"], "--company",
            TEXTS["CompanyName"], "--copyright", TEXTS["LegalCopyright"], "--version", version]


OPTIONS = brand_options()


def png_image(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes((40, 120, 200, 255)) * size for _ in range(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def bitmap_image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + bytes((200, 60, 30, 255)) * size * size + bytes((size + 31) // 32 * 4 * size)


def icon_file(images):
    """images: (width byte, height byte, colours, planes, bits, bytes), in file order."""
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for w, h, colours, planes, bits, image in images:
        data += struct.pack("<BBBBHHII", w, h, colours, 0, planes, bits, len(image), offset)
        offset += len(image)
    return data + b"".join(image[5] for image in images)


def own_icon_images():
    data = signed.read(os.path.join(SOURCE, "res", "lodkin.ico"))
    images = []
    for i in range(struct.unpack_from("<H", data, 4)[0]):
        w, h, colours, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images.append((w, h, colours, planes, bits, data[offset:offset + size]))
    return images


class BrandedPackages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        signed.SignedPackages.setUpClass.__func__(cls)
        signed.SignedPackages.counter = 0  # folder() counts on the class it comes from
        # A 256-pixel PNG first, then a 48-pixel bitmap, then the program's own four.
        cls.images = [(0, 0, 0, 1, 32, png_image(256)), (48, 48, 0, 1, 32, bitmap_image(48))] + own_icon_images()
        cls.icon = cls.file("product.ico")
        signed.write(cls.icon, icon_file(cls.images))

    tearDownClass = classmethod(signed.SignedPackages.tearDownClass.__func__)
    file = classmethod(signed.SignedPackages.file.__func__)
    folder = signed.SignedPackages.folder
    run_package = signed.SignedPackages.run_package
    extract = signed.SignedPackages.extract
    sign = signed.SignedPackages.sign
    verify = signed.SignedPackages.verify
    assert_verifies = signed.SignedPackages.assert_verifies

    def app(self):
        folder = self.folder()
        os.mkdir(os.path.join(folder, "app"))
        signed.write(os.path.join(folder, "app", "setup.exe"), self.stand_in)
        signed.write(os.path.join(folder, "app", "data.bin"), bytes(range(256)) * 64)
        return folder

    def pack(self, folder, name, *options, tool="native"):
        """Packs folder/app with lodkin-cli ("exe": lodkin-cli.exe under Wine) into folder/name."""
        output = os.path.join(folder, name)
        if tool == "exe":
            options = [signed.windows_path(o) if o.startswith("/") else o for o in options]
            command = [signed.WINE, os.path.join(BIN, "lodkin-cli.exe"), "pack", *options,
                       "-o", signed.windows_path(output)]
        else:
            command = [os.path.join(BIN, "lodkin-cli"), "pack", *options, "-o", output]
        errors = output + ".stderr"
        with open(errors, "w") as stderr:  # a file, not a pipe: Wine's services may inherit it
            code = subprocess.run(command + ["-C", "app"], cwd=folder, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=stderr,
                                  env=dict(os.environ, LC_ALL="C.UTF-8")).returncode
        self.assertEqual(code, 0, signed.read(errors))
        return output

    def probe(self, path):
        out = path + ".probe"
        sizes = ["16", "32", "48", "256"]
        code = signed.wine(os.path.join(BIN, "brand_probe.exe"), signed.windows_path(path),
                           signed.windows_path(out), *sizes)
        self.assertEqual(code, 0, "brand_probe could not read %s" % path)
        return signed.read(out).decode("latin-1").splitlines()

    def test_windows_reads_the_brand_of_the_package_and_of_its_program(self):
        folder = self.app()
        package = self.pack(folder, "branded.exe", "--icon", self.icon, *OPTIONS, "--compress")
        expected = ["%s=%s" % (key, TEXTS[key]) for key in ("FileDescription", "ProductName", "CompanyName",
                                                           "LegalCopyright")]
        expected += ["FileVersion=7.1.65535.0", "ProductVersion=7.1.65535.0", "fixed=7.1.65535.0/7.1.65535.0"]
        # Image i of the file is icon number i + 1; a size picks the image of that size
        # (of the program's own 16 and 32, the 256-colour one on this display).
        expected += ["icon 16: id 6, 16 x 16, made", "icon 32: id 5, 32 x 32, made",
                     "icon 48: id 2, 48 x 48, made", "icon 256: id 1, 256 x 256, made"]
        seen = self.probe(package)
        print("\n".join(["read back from " + package] + seen))
        self.assertEqual(seen, expected)
        extracted = self.extract(package)
        self.assertEqual(self.probe(os.path.join(extracted, "Lodkin.exe")), seen)

    def test_pefile_reads_exactly_the_brand_and_a_whole_program(self):
        folder = self.app()
        package = self.pack(folder, "branded.exe", "--icon", self.icon,
                            *brand_options(description="Café 設置", version="0.0.0.1"))
        image = signed.module_image(package)
        pe = pefile.PE(data=image)
        strings = {k.decode(): v.decode("utf-8") for info in pe.FileInfo[0] if hasattr(info, "StringTable")
                   for table in info.StringTable for k, v in table.entries.items()}
        self.assertEqual(strings["FileDescription"], "Café 設置")
        self.assertEqual((strings["ProductName"], strings["FileVersion"]), ("Acme Widgets", "0.0.0.1"))
        self.assertEqual(strings["OriginalFilename"], "Lodkin.exe")  # the rest as it was
        fixed = pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionLS), (0, 1, 1))
        resources = {(t.id, n.id): pe.get_data(n.directory.entries[0].data.struct.OffsetToData,
                                               n.directory.entries[0].data.struct.Size)
                     for t in pe.DIRECTORY_ENTRY_RESOURCE.entries for n in t.directory.entries}
        group = resources[(14, 128)]
        self.assertEqual(struct.unpack_from("<HHH", group), (0, 1, len(self.images)))
        for i, (w, h, colours, _, bits, data) in enumerate(self.images):
            entry = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            self.assertEqual(entry, (w, h, colours, 0, 1, bits, len(data), i + 1))
            self.assertEqual(resources[(3, i + 1)], data)
        self.assertEqual(pe.OPTIONAL_HEADER.CheckSum, pe.generate_checksum())
        last = pe.sections[-1]
        self.assertEqual(pe.OPTIONAL_HEADER.SizeOfImage, (last.VirtualAddress + last.Misc_VirtualSize + 0xFFF) & ~0xFFF)
        self.assertEqual(len(image), last.PointerToRawData + last.SizeOfRawData)

    def test_branded_package_runs_extracts_packs_again_and_signs(self):
        folder = self.app()
        package = self.pack(folder, "branded.exe", "--icon", self.icon, *OPTIONS)
        self.assertEqual(len(self.run_package(package)), 1)
        extracted = os.path.join(self.extract(package), "Lodkin.exe")
        self.assertEqual(signed.read(extracted), signed.module_image(package))
        # The extracted program packs from its own Pack command, and that package runs.
        repacked = self.pack_with_window(extracted, folder)
        self.assertEqual(signed.module_image(repacked), signed.read(extracted))
        self.assertEqual(len(self.run_package(repacked)), 1)
        signed_package = package[:-4] + "-signed.exe"
        self.sign(package, signed_package)
        self.assert_verifies(signed_package)
        check = subprocess.run([os.path.join(BIN, "lodkin-cli"), "verify", signed_package], capture_output=True)
        self.assertEqual(check.returncode, 0, check.stderr)
        self.assertEqual(len(self.run_package(signed_package)), 1)

    def pack_with_window(self, module, folder):
        rows = [os.path.join(folder, "app", "setup.exe"), os.path.join(folder, "app", "data.bin")]
        code = signed.wine(os.path.join(BIN, "pack_list.exe"), signed.windows_path(module),
                           *map(signed.windows_path, rows))
        self.assertEqual(code, 0, "pack_list failed")
        return os.path.join(folder, "app", "KVPACK_app.exe")

    def test_same_inputs_make_the_same_bytes_with_either_tool(self):
        folder = self.app()
        for options in ([], ["--compress"], ["--icon", self.icon] + OPTIONS,
                        ["--icon", self.icon, "--compress"] + OPTIONS):
            made = [signed.read(self.pack(folder, "%s.exe" % tool, *options, tool=tool))
                    for tool in ("native", "native-again", "exe")]
            self.assertEqual(made[0], made[1], options)
            self.assertEqual(made[0], made[2], options)

    def test_programs_hold_no_link_time_and_no_build_path(self):
        for name in ("Lodkin.exe", "lodkin-cli.exe"):
            data = signed.read(os.path.join(BIN, name))
            self.assertEqual(pefile.PE(data=data, fast_load=True).FILE_HEADER.TimeDateStamp, 0, name)
            for path in (SOURCE, os.path.dirname(os.path.abspath(BIN))):
                self.assertNotIn(path.encode(), data, name)


if __name__ == "__main__":
    BIN = os.path.abspath(sys.argv.pop(1))
    signed.BIN = BIN
    unittest.main(verbosity=2)
