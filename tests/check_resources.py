#!/usr/bin/env python3
"""Reads the resources of the built Lodkin.exe with pefile and checks them."""
import struct
import sys

import pefile

KOREAN = 0x412
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def resources(pe):
    found = {}
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name_entry in type_entry.directory.entries:
            for lang_entry in name_entry.directory.entries:
                data = lang_entry.data.struct
                blob = pe.get_data(data.OffsetToData, data.Size)
                found[(type_entry.id, name_entry.id)] = (lang_entry.id, blob)
    return found


def read_sz(blob, pos):
    end = pos
    while blob[end:end + 2] != b"\0\0":
        end += 2
    return blob[pos:end].decode("utf-16-le"), end + 2


def read_sz_or_ord(blob, pos):
    if blob[pos:pos + 2] == b"\xff\xff":
        return struct.unpack_from("<H", blob, pos + 2)[0], pos + 4
    return read_sz(blob, pos)


def align4(pos):
    return (pos + 3) & ~3


def parse_dialog(blob):
    """Returns (header dict, controls list) for classic and extended templates."""
    extended = struct.unpack_from("<HH", blob, 0) == (1, 0xFFFF)
    if extended:
        _, _, _, ex_style, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", blob, 0)
        pos = 26
    else:
        style, ex_style, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", blob, 0)
        pos = 18
    menu, pos = read_sz_or_ord(blob, pos)
    window_class, pos = read_sz_or_ord(blob, pos)
    caption, pos = read_sz(blob, pos)
    font = None
    if style & 0x40:
        size = struct.unpack_from("<H", blob, pos)[0]
        pos += 2
        charset = None
        if extended:
            _, _, charset = struct.unpack_from("<HBB", blob, pos)
            pos += 4
        face, pos = read_sz(blob, pos)
        font = (size, face, charset)
    header = dict(extended=extended, style=style, ex_style=ex_style, rect=(x, y, cx, cy),
                  menu=menu, window_class=window_class, caption=caption, font=font)
    controls = []
    for _ in range(count):
        pos = align4(pos)
        if extended:
            _, ex, st, cx_, cy_, w, h, ident = struct.unpack_from("<IIIhhhhI", blob, pos)
            pos += 24
        else:
            st, ex, cx_, cy_, w, h, ident = struct.unpack_from("<IIhhhhH", blob, pos)
            pos += 18
        cls, pos = read_sz_or_ord(blob, pos)
        text, pos = read_sz_or_ord(blob, pos)
        extra = struct.unpack_from("<H", blob, pos)[0]
        pos += 2 + extra
        if ident in (0xFFFF, 0xFFFFFFFF):
            ident = -1
        controls.append(dict(id=ident, cls=cls, text=text, style=st, rect=(cx_, cy_, w, h)))
    return header, controls


def main(exe):
    pe = pefile.PE(exe)
    found = resources(pe)

    lang, blob = found[(5, 102)]
    check(lang == KOREAN, "dialog 102 language %#x" % lang)
    header, controls = parse_dialog(blob)
    check(header["extended"], "dialog 102 is an extended template")
    check(header["style"] == 0x90CF0040, "dialog 102 style %#x" % header["style"])
    check(header["ex_style"] == 0x40000, "dialog 102 extended style %#x" % header["ex_style"])
    check(header["rect"] == (0, 0, 254, 199), "dialog 102 rect %s" % (header["rect"],))
    check(header["caption"] == "Lodkin", "dialog 102 caption %r" % header["caption"])
    check(header["menu"] == "" and header["window_class"] == "", "dialog 102 menu or class")
    check(header["font"] == (9, "굴림", 1), "dialog 102 font %r" % (header["font"],))
    expected = [
        (1000, "syslistview32", "List1", 0x50810001, (7, 7, 240, 157)),
        (1004, 0x80, "Compress", 0x50010003, (105, 178, 36, 14)),
        (1001, 0x80, "Pack", 0x50010000, (143, 178, 50, 14)),
        (1002, 0x80, "Delete", 0x50010000, (197, 178, 50, 14)),
        (1003, 0x82, "Drag and drop files into list box", 0x50020000, (7, 184, 119, 8)),
    ]
    actual = [(c["id"], c["cls"], c["text"], c["style"], c["rect"]) for c in controls]
    # Class names are case-insensitive, and "button" and "static" may be written as atoms.
    names = {"button": 0x80, "static": 0x82}
    actual = [(i, names.get(c.lower(), c.lower()) if isinstance(c, str) else c, t, s, r)
              for i, c, t, s, r in actual]
    check(actual == expected, "dialog 102 controls %r" % (actual,))

    lang, blob = found[(5, 100)]
    check(lang == KOREAN, "dialog 100 language %#x" % lang)
    header, controls = parse_dialog(blob)
    check(not header["extended"], "dialog 100 is a classic template")
    check(header["style"] == 0x80C800C0, "dialog 100 style %#x" % header["style"])
    check(header["rect"] == (0, 0, 235, 55), "dialog 100 rect %s" % (header["rect"],))
    check(header["caption"] == "Lodkin 정보", "dialog 100 caption %r" % header["caption"])
    check(header["font"] == (9, "굴림", None), "dialog 100 font %r" % (header["font"],))
    actual = [(c["id"], c["text"], c["style"], c["rect"]) for c in controls]
    check(len(actual) == 4, "dialog 100 has four controls")
    if len(actual) == 4:
        check(actual[0] == (-1, 128, 0x50000003, (11, 17, 20, 20)), "about icon %r" % (actual[0],))
        check(actual[1] == (-1, "Lodkin 버전 1.0", 0x50020080, (40, 10, 119, 8)),
              "about version %r" % (actual[1],))
        check(actual[2][0] == -1 and actual[2][1] and actual[2][2:] == (0x50020000, (40, 25, 119, 8)),
              "about second line %r" % (actual[2],))
        check(actual[3] == (1, "확인", 0x50030001, (178, 7, 50, 14)), "about OK %r" % (actual[3],))

    # String 101 is the sixth string of block 7.
    lang, blob = found[(6, 7)]
    check(lang == KOREAN, "string table language %#x" % lang)
    pos = 0
    strings = []
    for _ in range(16):
        length = struct.unpack_from("<H", blob, pos)[0]
        strings.append(blob[pos + 2:pos + 2 + 2 * length].decode("utf-16-le"))
        pos += 2 + 2 * length
    check(strings[101 - 96] == "Lodkin 정보(&A)...", "string 101 %r" % strings[5])

    lang, blob = found[(14, 128)]
    check(lang == KOREAN, "icon group language %#x" % lang)
    _, kind, count = struct.unpack_from("<HHH", blob, 0)
    images = set()
    for i in range(count):
        w, h, _, _, _, bits, _, ident = struct.unpack_from("<BBBBHHIH", blob, 6 + 14 * i)
        image_lang, image = found[(3, ident)]
        _, bw, bh2, _, bbits = struct.unpack_from("<IiiHH", image, 0)
        check(image_lang == KOREAN and (bw, bh2 // 2, bbits) == (w, h, bits),
              "icon image %d does not match its entry" % ident)
        images.add((w, h, bits))
    check(kind == 1 and images == {(16, 16, 4), (32, 32, 4), (16, 16, 8), (32, 32, 8)},
          "icon images %r" % (images,))

    lang, blob = found[(24, 1)]
    manifest = blob.decode("utf-8")
    check(lang == 0x409, "manifest language %#x" % lang)
    architecture = {0x14C: "X86", 0x8664: "amd64"}.get(pe.FILE_HEADER.Machine, "?")
    for part in ('name="Lodkin"', 'version="1.0.0.0"', 'processorArchitecture="%s"' % architecture,
                 'type="win32"', 'level="requireAdministrator"', 'uiAccess="false"',
                 "<description>Description of your application</description>"):
        check(part in manifest, "manifest lacks %s" % part)
    check("dependentAssembly" not in manifest, "manifest names a dependent assembly")

    lang, _ = found[(16, 1)]
    check(lang == KOREAN, "version block language %#x" % lang)
    fixed = pe.VS_FIXEDFILEINFO[0]
    check((fixed.FileVersionMS, fixed.FileVersionLS) == (0x30005, 4), "numeric file version")
    check((fixed.ProductVersionMS, fixed.ProductVersionLS) == (0x30005, 3), "numeric product version")
    check(fixed.FileFlags & fixed.FileFlagsMask == 0x8, "file flags %#x" % fixed.FileFlags)
    check(fixed.FileOS == 0x4 and fixed.FileType == 1, "file os or type")
    tables = [t for info in pe.FileInfo[0] if info.Key == b"StringFileInfo" for t in info.StringTable]
    check(len(tables) == 1 and tables[0].LangID.lower() == b"041204b0", "string file info language")
    values = {k.decode(): v.decode("utf-8") for k, v in tables[0].entries.items()} if tables else {}
    wanted = {"FileVersion": "3, 5, 0, 4", "ProductVersion": "3, 5, 0, 3",
              "FileDescription": "Lodkin" + " " * 51, "ProductName": "Lodkin",
              "OriginalFilename": "Lodkin.exe", "Comments": "Packaging Tool",
              "PrivateBuild": " " * 51}
    for key, value in wanted.items():
        check(values.get(key) == value, "version %s %r" % (key, values.get(key)))
    translations = [v for info in pe.FileInfo[0] if info.Key == b"VarFileInfo" for v in info.Var]
    check(translations and translations[0].entry.get(b"Translation") == "0x0412 0x04b0",
          "translation %r" % ([t.entry for t in translations],))

    for failure in failures:
        print("FAIL:", failure)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
