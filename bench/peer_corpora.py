"""The three corpora of the peers section, built from files that every machine set up by
scripts/install-deps.sh holds (Debian 12 with Wine, MinGW-w64, Python, their docs and
fonts), laid out in folders as an installation is.

The selection depends only on the files present: every source is walked in byte order of
the names, and a source takes files until its share is reached; sources that are missing
are skipped and the others then fill the corpus up to its minimum. A corpus is built once
into the build folder and reused while its record is there.
"""
import glob
import hashlib
import os
import shutil
import stat

MIB = 1 << 20
# Every corpus holds at least this much, whatever sources were missing.
MINIMUM = 50 * MIB
# Longest member name (below the corpus folder): the package's "-e" writes the members two
# folders below the package, and a Windows path stops at 259 characters.
LONGEST_NAME = 140
SETUP_NAMES = {"setup.exe", "kvsetup.exe", "kvset.exe"}
FORBIDDEN = set(':\\<>"|?*')
DEVICES = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}
ALREADY_COMPRESSED = (".png", ".jpg", ".jpeg", ".gif", ".svgz", ".gz", ".xz", ".bz2", ".zip", ".whl", ".jar")
FONTS = (".ttf", ".otf", ".ttc", ".pfb")


class Source:
    """Files below `root` whose names pass `accept`, at most `share` bytes of them, each at
    most `largest` bytes, placed under `folder` in the corpus."""

    def __init__(self, folder, root, share, accept=None, largest=None):
        self.folder, self.root, self.share = folder, root, share
        self.accept = accept or (lambda name: True)
        self.largest = largest

    def files(self):
        """(name below the source, path, size) of every candidate, in byte order of the
        names; links are not followed (a package refuses them)."""
        if not self.root or not os.path.isdir(self.root):
            return
        for top, folders, names in os.walk(self.root):
            folders.sort()
            for name in sorted(names):
                path = os.path.join(top, name)
                info = os.lstat(path)
                if not stat.S_ISREG(info.st_mode) or not self.accept(name):
                    continue
                if self.largest is not None and info.st_size > self.largest:
                    continue
                yield os.path.relpath(path, self.root).replace(os.sep, "/"), path, info.st_size


def windows_part_ok(part):
    """A name part that every reader of a package takes, written alike on Windows."""
    if not part or any(ord(c) < 32 or ord(c) > 126 or c in FORBIDDEN for c in part):
        return False
    if part[-1] in ". ":
        return False
    stem = part.split(".", 1)[0].rstrip(" ").upper()
    if stem in DEVICES or (len(stem) == 4 and stem[:3] in ("COM", "LPT") and stem[3].isdigit()):
        return False
    return True


class Selection:
    """The files of one corpus: member name -> source path, in the order they were taken.
    A selection of distinct files takes no file whose bytes it already holds."""

    def __init__(self, distinct=False):
        self.members = {}
        self.total = 0
        self._contents = set() if distinct else None
        # Windows takes names equal but for letter case as one: lower-case path -> the
        # folder's spelling, or None for a file, for every path taken and its folders.
        self._taken = {}

    def fits(self, name):
        parts = name.split("/")
        if len(name) > LONGEST_NAME or not all(windows_part_ok(p) for p in parts):
            return False
        if "kvpack" in parts[-1].lower() or (len(parts) > 1 and parts[-1].lower() in SETUP_NAMES):
            return False
        if name.lower() in self._taken:
            return False
        # Each folder on the way: not a file, and not a folder spelt otherwise.
        for depth in range(1, len(parts)):
            folder = "/".join(parts[:depth])
            if self._taken.get(folder.lower(), folder) != folder:
                return False
        return True

    def take(self, name, path, size):
        self.members[name] = path
        self.total += size
        parts = name.split("/")
        for depth in range(1, len(parts)):
            folder = "/".join(parts[:depth])
            self._taken[folder.lower()] = folder
        self._taken[name.lower()] = None

    def fill(self, sources, minimum):
        """Each source up to its share; then, when short of `minimum`, the sources again,
        past their shares, in the same order."""
        for source in sources:
            self._take_from(source, self.total + source.share)
        for source in sources:
            if self.total >= minimum:
                break
            self._take_from(source, minimum)

    def _take_from(self, source, until):
        for relative, path, size in source.files():
            if self.total >= until:
                return
            name = source.folder + "/" + relative
            if name in self.members or not self.fits(name) or not self.claim_content(path):
                continue
            self.take(name, path, size)

    def claim_content(self, path):
        """False when a selection of distinct files already holds these bytes; otherwise
        they count as held from now on."""
        if self._contents is None:
            return True
        with open(path, "rb") as source:
            digest = hashlib.sha256(source.read()).digest()
        if digest in self._contents:
            return False
        self._contents.add(digest)
        return True


def newest(pattern):
    """The last match of a glob in byte order (the newest version on a Debian machine)."""
    found = sorted(glob.glob(pattern))
    return found[-1] if found else None


def text_sources():
    small = 256 * 1024
    return [Source("doc", "/usr/share/doc", 20 * MIB, largest=small),
            Source("python", newest("/usr/lib/python3.[0-9]*"), 20 * MIB, largest=small),
            Source("man", "/usr/share/man", 24 * MIB, largest=small),
            Source("include", "/usr/include", 12 * MIB, largest=small)]


def wine_dlls():
    return "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"


def mingw_runtime_paths():
    """The C and C++ runtime DLLs that MinGW-w64 programs carry, of the newest gcc."""
    gcc = newest("/usr/lib/gcc/x86_64-w64-mingw32/*-posix") or newest("/usr/lib/gcc/x86_64-w64-mingw32/*")
    names = ["libgcc_s_seh-1.dll", "libstdc++-6.dll", "libatomic-1.dll", "libgomp-1.dll",
             "libquadmath-0.dll", "libssp-0.dll"]
    paths = [os.path.join(gcc, n) for n in names] if gcc else []
    paths += sorted(glob.glob("/usr/x86_64-w64-mingw32/lib/*.dll"))
    return [p for p in paths if os.path.isfile(p) and not os.path.islink(p)]


class ListSource(Source):
    """Named files, in the given order, each under `folder` by its own name."""

    def __init__(self, folder, paths, share):
        super().__init__(folder, None, share)
        self.paths = paths

    def files(self):
        for path in self.paths:
            yield os.path.basename(path), path, os.path.getsize(path)


def program_sources():
    fonts = lambda name: name.lower().endswith(FONTS)
    dlls = lambda name: name.lower().endswith(".dll")
    return [Source("wine", wine_dlls(), 32 * MIB, accept=dlls),
            ListSource("runtime", mingw_runtime_paths(), 32 * MIB),
            Source("fonts", "/usr/share/fonts", 16 * MIB, accept=fonts),
            Source("fonts/wine", "/usr/share/wine/fonts", 4 * MIB, accept=fonts)]



def media_sources():
    compressed = lambda name: name.lower().endswith(ALREADY_COMPRESSED)
    # The Debian changelogs are the files that the copies below repeat.
    doc_gz = lambda name: name.endswith(".gz") and name != "changelog.Debian.gz"
    dlls = lambda name: name.lower().endswith(".dll")
    return [Source("app/icons", "/usr/share/icons", 12 * MIB, accept=compressed),
            Source("doc", "/usr/share/doc", 28 * MIB, accept=doc_gz),
            Source("tools/wheels", "/usr/share/python-wheels", 8 * MIB, accept=compressed),
            Source("app/bin", wine_dlls(), 8 * MIB, accept=dlls)]


def repeated_candidates():
    """What installations carry several times: the MinGW runtime, then Debian changelogs."""
    for path in mingw_runtime_paths():
        yield "runtime/" + os.path.basename(path), path
    for path in sorted(glob.glob("/usr/share/doc/*/changelog.Debian.gz")):
        if os.path.isfile(path) and not os.path.islink(path):
            yield "changelogs/" + os.path.basename(os.path.dirname(path)) + "/changelog.Debian.gz", path


# The folders that each carry one copy of the repeated files.
REPEAT_FOLDERS = ("app", "plugins", "tools")


def select_media():
    """Already-compressed files and DLLs, with a set of files copied into three folders so
    that about a fifth of the bytes are repeats. With B bytes of other files and R bytes in
    the set, the repeats are 2R of B + 3R bytes: a fifth when R is B / 7."""
    # Debian's documentation holds many byte-identical files already (the packages of one
    # source share their changelogs): left out, so that the copies below are the repeats.
    selection = Selection(distinct=True)
    selection.fill(media_sources(), (MINIMUM * 7) // 10)
    goal, repeated_bytes = selection.total // 7, 0
    for name, path in repeated_candidates():
        size = os.path.getsize(path)
        # A file that would take the set past its goal is left out (libstdc++ alone is
        # more than the whole set should be); smaller ones after it still fit.
        if repeated_bytes + size > goal:
            continue
        names = [folder + "/" + name for folder in REPEAT_FOLDERS]
        if all(selection.fits(n) for n in names) and selection.claim_content(path):
            for n in names:
                selection.take(n, path, size)
            repeated_bytes += size
    return selection, 2 * repeated_bytes


def select_corpus(name):
    """The selection and the bytes that are repeats of other members."""
    if name == "media":
        return select_media()
    selection = Selection()
    selection.fill(text_sources() if name == "text" else program_sources(), MINIMUM)
    return selection, 0


def build_corpus(name, folder, setup_program):
    """Builds the corpus into `folder` unless its record says it is there; returns
    (file count, bytes, repeated bytes), SETUP.EXE at the top included."""
    record = folder + ".complete"
    if os.path.isdir(folder) and os.path.exists(record):
        with open(record) as source:
            count, total, repeated = (int(v) for v in source.read().split())
        return count, total, repeated
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    selection, repeated = select_corpus(name)
    shutil.copyfile(setup_program, os.path.join(folder, "SETUP.EXE"))
    for member, path in selection.members.items():
        target = os.path.join(folder, *member.split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(path, target)
    count = len(selection.members) + 1
    total = selection.total + os.path.getsize(setup_program)
    with open(record, "w") as out:
        out.write(f"{count} {total} {repeated}\n")
    return count, total, repeated


def corpus_files(folder):
    """Every file of a built corpus, relative to it, in byte order of the names."""
    found = []
    for top, folders, names in os.walk(folder):
        folders.sort()
        found += [os.path.relpath(os.path.join(top, n), folder) for n in names]
    return sorted(found)
