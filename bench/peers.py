"""The peers section: `lodkin-cli pack --compress` against a makensis installer with solid
LZMA and against `7zz a -mx=9`, on three corpora (see peer_corpora.py), side by side in one
run: sizes, pack time and peak memory of each packer, and the package's own "-e" under
Wine against `7zz x`.

Every pack and decode runs LODKIN_BENCH_REPS times (once by default); the three packers,
and the decoders, take turns, and a ratio is the median of the ratios of the turns.
"""
import os
import shutil
import statistics
import subprocess
import tempfile
import time

import peer_corpora

# LODKIN_BENCH_PEERS_CORPORA=media,programs measures only those (text's "-e" takes minutes under Wine).
CORPORA = tuple(c for c in os.environ.get("LODKIN_BENCH_PEERS_CORPORA", "text,media,programs").split(",") if c)
# Targets printed after their figures, as "<figure>_target <=VALUE x".
SIZE_VS_NSIS_TARGET = 1.0
SIZE_VS_7Z_TARGET = 1.02
PACK_VS_7Z_TARGET = 1.0
EXTRACT_VS_7Z_TARGET = {"programs": 0.8}
# pack --compress=fast (the window's "Compress" box) against 7zz a -mx=9.
FAST_SIZE_VS_7Z_TARGET = 1.15
FAST_PACK_VS_7Z_TARGET = 0.5
# Kinds of pack to leave out (LODKIN_BENCH_PEERS_SKIP=nsis), when time is short.
SKIPPED = [s for s in os.environ.get("LODKIN_BENCH_PEERS_SKIP", "").split(",") if s]


class Peers:
    def __init__(self, env, wine, bin_dir, data, figure):
        self.env, self.wine, self.bin, self.figure = env, wine, bin_dir, figure
        self.corpora = os.path.join(data, "peers")
        self.out = os.path.join(data, "peers-out")
        self.reps = int(os.environ.get("LODKIN_BENCH_REPS", "1"))

    def measure(self):
        started = time.perf_counter()
        self.figure("peers_load_average_before", round(os.getloadavg()[0], 2), "")
        os.makedirs(self.corpora, exist_ok=True)
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)
        for name in CORPORA:
            self.measure_corpus(name)
        shutil.rmtree(self.out, ignore_errors=True)
        self.figure("peers_load_average_after", round(os.getloadavg()[0], 2), "")
        self.figure("peers_section_time", round(time.perf_counter() - started, 1), "s")

    def target(self, name, value):
        self.figure(name + "_target", f"<={value}", "x")

    def measure_corpus(self, name):
        folder = os.path.join(self.corpora, name)
        count, total, repeated = peer_corpora.build_corpus(
            name, folder, os.path.join(self.bin, "stand_in_setup.exe"))
        self.figure(f"peers_{name}_files", count, "files")
        self.figure(f"peers_{name}_payload", total, "bytes")
        if repeated:
            self.figure(f"peers_{name}_repeated", repeated, "bytes")
            self.figure(f"peers_{name}_repeated_share", round(100 * repeated / total, 1), "%")
        paths = {"package": os.path.join(self.out, name + ".exe"),
                 "fast": os.path.join(self.out, name + "-fast.exe"),
                 "nsis": os.path.join(self.out, name + "-nsis.exe"),
                 "7z": os.path.join(self.out, name + ".7z")}
        for kind in SKIPPED:
            del paths[kind]
        self.measure_packs(name, folder, paths)
        sizes = {k: os.path.getsize(p) for k, p in paths.items()}
        self.figure(f"peers_{name}_package", sizes["package"], "bytes")
        self.figure(f"peers_{name}_fast_package", sizes["fast"], "bytes")
        self.figure(f"peers_{name}_fast_vs_7z_size", round(sizes["fast"] / sizes["7z"], 3), "x")
        self.target(f"peers_{name}_fast_vs_7z_size", FAST_SIZE_VS_7Z_TARGET)
        self.figure(f"peers_{name}_7z_archive", sizes["7z"], "bytes")
        if "nsis" not in paths:
            self.measure_decodes(name, folder, count, paths["package"], paths["7z"], paths["fast"])
            for kind in ("package", "fast", "7z"):
                os.remove(paths[kind])
            return
        self.figure(f"peers_{name}_nsis_installer", sizes["nsis"], "bytes")
        self.figure(f"peers_{name}_package_share", round(100 * sizes["package"] / total, 1), "%")
        # On many small files a directory on disk was much of the package; compressed
        # packages keep it in a table.
        self.figure(f"peers_{name}_package_directory", directory_bytes(paths["package"]), "bytes")
        self.figure(f"peers_{name}_package_vs_nsis_size", round(sizes["package"] / sizes["nsis"], 3), "x")
        self.target(f"peers_{name}_package_vs_nsis_size", SIZE_VS_NSIS_TARGET)
        self.figure(f"peers_{name}_package_vs_7z_size", round(sizes["package"] / sizes["7z"], 3), "x")
        self.target(f"peers_{name}_package_vs_7z_size", SIZE_VS_7Z_TARGET)
        os.remove(paths["nsis"])
        self.measure_decodes(name, folder, count, paths["package"], paths["7z"], paths["fast"])
        os.remove(paths["package"])
        os.remove(paths["fast"])
        os.remove(paths["7z"])

    # Packing.

    def pack_commands(self, folder, paths):
        stub = os.path.join(self.bin, "Lodkin.exe")
        script = os.path.join(self.out, "peer.nsi")
        if "nsis" in paths:
            write_nsis_script(folder, paths["nsis"], script)
        return {
            "package": ([os.path.join(self.bin, "lodkin-cli"), "pack", "-C", folder, "--compress",
                         "-o", paths["package"], "--stub", stub], None),
            "fast": ([os.path.join(self.bin, "lodkin-cli"), "pack", "-C", folder, "--compress=fast",
                      "-o", paths["fast"], "--stub", stub], None),
            "nsis": (["makensis", "-V1", script], None) if "nsis" in paths else None,
            # The archive holds the corpus's top entries by their names, as the others do.
            "7z": (["7zz", "a", "-mx=9", "-bd", paths["7z"]] + sorted(os.listdir(folder)), folder),
        }

    def measure_packs(self, name, folder, paths):
        commands = {k: c for k, c in self.pack_commands(folder, paths).items() if k in paths}
        runs = {k: [] for k in commands}
        for _ in range(self.reps):
            for kind, (command, cwd) in commands.items():
                if os.path.exists(paths[kind]):
                    os.remove(paths[kind])  # 7zz would add to an archive that is there
                runs[kind].append(measured(command, cwd, self.env))
        labels = {k: v for k, v in {"package": "", "fast": "_fast", "nsis": "_nsis", "7z": "_7z"}.items()
                  if k in commands}
        for kind, label in labels.items():
            self.figure(f"peers_{name}{label}_pack", round(median(runs[kind], "seconds"), 2), "s")
        ratio = statistics.median(a["seconds"] / b["seconds"] for a, b in zip(runs["package"], runs["7z"]))
        self.figure(f"peers_{name}_pack_vs_7z", round(ratio, 2), "x")
        self.target(f"peers_{name}_pack_vs_7z", PACK_VS_7Z_TARGET)
        ratio = statistics.median(a["seconds"] / b["seconds"] for a, b in zip(runs["fast"], runs["7z"]))
        self.figure(f"peers_{name}_fast_pack_vs_7z", round(ratio, 2), "x")
        self.target(f"peers_{name}_fast_pack_vs_7z", FAST_PACK_VS_7Z_TARGET)
        for kind, label in labels.items():
            self.figure(f"peers_{name}{label}_pack_cores", round(median(runs[kind], "cores"), 2), "cores")
        for kind, label in labels.items():
            self.figure(f"peers_{name}{label}_pack_peak_rss", int(median(runs[kind], "peak_kib")), "KiB")

    # Decoding.

    def measure_decodes(self, name, folder, count, package, archive, fast):
        decoders = {"package": self.package_extract(package, count),
                    "fast": self.package_extract(fast, count),
                    "7z": self.seven_zip_extract(archive, count)}
        stored = None
        if name == "text":
            # The same files without --compress: what the decoder costs over the copy.
            stored = os.path.join(self.out, name + "-stored.exe")
            subprocess.run([os.path.join(self.bin, "lodkin-cli"), "pack", "-C", folder, "-o", stored,
                            "--stub", os.path.join(self.bin, "Lodkin.exe")],
                           env=self.env, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
            decoders["stored"] = self.package_extract(stored, count)
        times = {k: [] for k in decoders}
        for _ in range(self.reps):
            for kind, decode in decoders.items():
                times[kind].append(decode())
        self.figure(f"peers_{name}_extract", round(statistics.median(times["package"]), 3), "s")
        self.figure(f"peers_{name}_7z_extract", round(statistics.median(times["7z"]), 3), "s")
        ratio = statistics.median(a / b for a, b in zip(times["package"], times["7z"]))
        self.figure(f"peers_{name}_extract_vs_7z", round(ratio, 2), "x")
        self.figure(f"peers_{name}_fast_extract", round(statistics.median(times["fast"]), 3), "s")
        ratio = statistics.median(a / b for a, b in zip(times["fast"], times["package"]))
        self.figure(f"peers_{name}_fast_extract_vs_package", round(ratio, 2), "x")
        if name in EXTRACT_VS_7Z_TARGET:
            self.target(f"peers_{name}_extract_vs_7z", EXTRACT_VS_7Z_TARGET[name])
        if stored:
            self.figure(f"peers_{name}_extract_stored", round(statistics.median(times["stored"]), 3), "s")
            ratio = statistics.median(a / b for a, b in zip(times["stored"], times["7z"]))
            self.figure(f"peers_{name}_extract_stored_vs_7z", round(ratio, 2), "x")
            os.remove(stored)

    def package_extract(self, package, count):
        """"-e" writes the folder of the package's name beside it: Lodkin.exe, and the members
        in a sub-folder of the same name."""
        folder = os.path.splitext(package)[0]

        def decode():
            shutil.rmtree(folder, ignore_errors=True)
            seconds = timed([self.wine, package, "-e"], None, self.env)
            # Lodkin.exe beside the members.
            check_extracted(folder, count + 1, package)
            shutil.rmtree(folder)
            return seconds
        return decode

    def seven_zip_extract(self, archive, count):
        folder = archive + ".out"

        def decode():
            shutil.rmtree(folder, ignore_errors=True)
            seconds = timed(["7zz", "x", "-bd", "-o" + folder, archive], None, self.env)
            check_extracted(folder, count, archive)
            shutil.rmtree(folder)
            return seconds
        return decode


def directory_bytes(package):
    """The directory and trailer of a package (268 bytes an entry, N in the last 4 bytes),
    with the table's stream when the one entry there holds the directory compressed."""
    with open(package, "rb") as source:
        source.seek(-4, os.SEEK_END)
        count = int.from_bytes(source.read(4), "little")
        total = 268 * count + 20
        if count == 1:
            source.seek(-288, os.SEEK_END)
            entry = source.read(268)
            if entry.startswith(b"<directory>\0"):
                total += int.from_bytes(entry[264:268], "little")
        return total


def check_extracted(folder, expected, source):
    """A decode that wrote fewer files than the corpus holds measured something else."""
    found = sum(len(names) for _, _, names in os.walk(folder))
    if found != expected:
        raise RuntimeError(f"{source}: {found} files written, {expected} expected")


def timed(command, cwd, env):
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, env=env, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def measured(command, cwd, env):
    """Wall seconds, cores kept busy (processor time over wall time) and peak resident set
    (KiB) of one run of `command`, taken by GNU time."""
    with tempfile.NamedTemporaryFile("r") as report:
        start = time.perf_counter()
        subprocess.run(["/usr/bin/time", "-o", report.name, "-f", "%U %S %M"] + command, cwd=cwd, env=env,
                       check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
        user, system, peak = report.read().split()[-3:]
    return {"seconds": seconds, "cores": (float(user) + float(system)) / seconds, "peak_kib": int(peak)}


def median(runs, key):
    return statistics.median(r[key] for r in runs)


def nsis_string(text):
    return text.replace("$", "$$")


def write_nsis_script(folder, installer, script, compressor="SetCompressor /SOLID /FINAL lzma"):
    """An installer of the corpus's files in the corpus's folders. One wildcard per folder
    (the folder holds only the corpus's files): makensis looks through the whole folder for
    every File line, which with a line per file took minutes on the text corpus's man pages
    before anything was compressed."""
    lines = ['Name "peer"', f'OutFile "{installer}"', compressor, "SilentInstall silent",
             "RequestExecutionLevel admin", 'InstallDir "$TEMP\\peer"', "Section"]
    folders = sorted({os.path.dirname(relative) for relative in peer_corpora.corpus_files(folder)})
    for parent in folders:
        target = "$INSTDIR" + "".join("\\" + nsis_string(p) for p in parent.split("/") if p)
        lines.append(f'  SetOutPath "{target}"')
        lines.append(f'  File "{nsis_string(os.path.join(folder, parent, "*"))}"')
    lines.append("SectionEnd")
    with open(script, "w") as out:
        out.write("\n".join(lines) + "\n")
