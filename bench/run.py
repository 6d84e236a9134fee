#!/usr/bin/env python3
"""Lodkin benchmark: prints every figure as a line "name value unit".

Stub size, pack speed against cat, package-run speed against cp -r, a peer installer
built with makensis, cost growth with the member count against a bare program that
writes the same files, where a run's time goes, drops of thousands of files onto the
window, peak memory, and the package against makensis and 7zz on three corpora (peers.py).
Every ratio is measured side by side in this run on this
machine: the two commands take turns, and the ratio is the median of the ratios of the
pairs; every other figure is a median.
"""
import os
import random
import resource
import shutil
import statistics
import subprocess
import sys
import time

import peers

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def wine_for_this_machine():
    """The Windows build this machine runs and its Wine, as scripts/wine-env.sh chooses them:
    the 32-bit build where 32-bit programs run, the 64-bit build and 64-bit Wine elsewhere."""
    script = ('. scripts/wine-env.sh; if runs_32bit_programs; then use_wine_for x86; '
              'else use_wine_for x64; fi; env -0')
    output = subprocess.run(["bash", "-c", script], cwd=ROOT, check=True, capture_output=True).stdout
    return dict(entry.split("=", 1) for entry in output.decode().split("\0") if "=" in entry)


WINE_ENV = wine_for_this_machine()
BUILD = os.path.join(ROOT, WINE_ENV["LODKIN_ACTIVE_BUILD_DIR"])
BIN = WINE_ENV["LODKIN_WINDOWS_BIN"]
WINE = WINE_ENV["LODKIN_WINE"]
DATA = os.path.join(BUILD, "bench-data")
PREFIX = os.path.join(BUILD, "bench-prefix")
REPS = int(os.environ.get("LODKIN_BENCH_REPS", "3"))
# Pairs for the 1 GiB ratios: each pair takes about a second, and single copies of 1 GiB
# vary by a factor of 2 on a shared machine.
PAIRS = int(os.environ.get("LODKIN_BENCH_PAIRS", str(max(REPS, 9))))
# A comma-separated choice of sections (copy, memory, members, nsis, drop, compress, peers);
# all by default.
# "nsis" adds the peer installer to the member counts when sections are chosen.
ONLY = [s for s in os.environ.get("LODKIN_BENCH_ONLY", "").split(",") if s]
GIB = 1 << 30
MIB = 1 << 20

# The benchmark's own prefix, not the tests' one: its closing `wineserver -k` must not stop
# the server of a test run on the same build.
ENV = dict(WINE_ENV, WINEPREFIX=PREFIX)


def figure(name, value, unit):
    print(f"{name} {value} {unit}", flush=True)


def win(path):
    """The path as a Windows program under Wine sees it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(command, **kwargs):
    subprocess.run(command, env=ENV, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)


def timed(command, before=None, after=None, reps=REPS, shell=False):
    """Median wall time in seconds of `command`, with untimed set-up and clean-up."""
    times = []
    for _ in range(reps):
        if before:
            before()
        start = time.perf_counter()
        run(command, shell=shell)
        times.append(time.perf_counter() - start)
        if after:
            after()
    return statistics.median(times)


def timed_once(command, before=None, after=None, shell=False):
    return timed(command, before=before, after=after, reps=1, shell=shell)


def paired(first, second, reps=REPS):
    """Runs two measurements by turns; returns both medians and the median ratio."""
    a, b = [], []
    for _ in range(reps):
        a.append(first())
        b.append(second())
    return statistics.median(a), statistics.median(b), statistics.median(x / y for x, y in zip(a, b))


def peak_rss_kib(command):
    """Peak resident set of the command and the processes it waited for, in KiB."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, env=ENV, check=True,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def write_payload(folder, sizes, seed):
    """Fixed-seed members, plus the stand-in setup program as SETUP.EXE."""
    if os.path.isdir(folder) and os.path.exists(os.path.join(folder, ".complete")):
        return sorted(p for p in os.listdir(folder) if not p.startswith("."))
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    generator = random.Random(seed)
    for index, size in enumerate(sizes):
        with open(os.path.join(folder, f"data{index:05d}.bin"), "wb") as out:
            left = size
            while left:
                chunk = min(left, 64 * MIB)
                out.write(generator.randbytes(chunk))
                left -= chunk
    shutil.copy(os.path.join(BIN, "stand_in_setup.exe"), os.path.join(folder, "SETUP.EXE"))
    open(os.path.join(folder, ".complete"), "w").close()
    return sorted(p for p in os.listdir(folder) if not p.startswith("."))


def temp_folder():
    users = os.path.join(PREFIX, "drive_c", "users")
    for user in os.listdir(users):
        candidate = os.path.join(users, user, "Temp")
        if os.path.isdir(candidate):
            return candidate
    raise RuntimeError("no temporary folder in the bench prefix")


def forget_work_directories():
    """What a restart would do: the work directories go, and so do the records."""
    temp = temp_folder()
    for name in os.listdir(temp):
        if name.startswith("KVLodkin"):
            shutil.rmtree(os.path.join(temp, name), ignore_errors=True)
    subprocess.run([WINE, "reg", "delete",
                    r"HKLM\System\CurrentControlSet\Control\Session Manager",
                    "/v", "PendingFileRenameOperations", "/f"],
                   env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def pack_once(folder, names):
    """Packs the folder's files with the Pack command's code path; returns its own time.

    The package is left in `folder` (see packed_path)."""
    listing = os.path.join(DATA, "list.txt")
    # SETUP.EXE on top decides the folder, so the package lands in `folder`.
    ordered = ["SETUP.EXE"] + [n for n in names if n != "SETUP.EXE"]
    with open(listing, "w") as out:
        out.write("".join(win(os.path.join(folder, n)) + "\n" for n in ordered))
    written = packed_path(folder)
    if os.path.exists(written):
        os.remove(written)
    result = subprocess.run([WINE, os.path.join(BIN, "pack_bench.exe"), win(listing),
                             win(os.path.join(BIN, "Lodkin.exe"))],
                            env=ENV, check=True, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True)
    return float(result.stdout.split()[1]) / 1000.0, ordered


def packed_path(folder):
    return os.path.join(folder, "KVPACK_" + os.path.basename(folder) + ".exe")


def pack(folder, names, package):
    """Packs REPS times; keeps the last package at `package`; returns the median time."""
    times = []
    for _ in range(REPS):
        seconds, ordered = pack_once(folder, names)
        times.append(seconds)
    shutil.move(packed_path(folder), package)
    return statistics.median(times), ordered


def without_checksum_records(package, copy):
    """A copy of the package whose entries carry no checksum record (the last 16 bytes of
    each name field zeroed), as a package of an older writer."""
    shutil.copyfile(package, copy)
    os.chmod(copy, 0o755)
    with open(copy, "r+b") as out:
        out.seek(-4, os.SEEK_END)
        count = int.from_bytes(out.read(4), "little")
        directory = os.path.getsize(copy) - 20 - 268 * count
        for entry in range(count):
            out.seek(directory + 268 * entry + 244)
            out.write(bytes(16))


def nsis_peer(folder, names, installer, compressor="SetCompress off"):
    script = os.path.join(DATA, "peer.nsi")
    lines = ['Name "peer"', f'OutFile "{installer}"', compressor, "SilentInstall silent",
             "RequestExecutionLevel admin", "Section", "  InitPluginsDir", "  SetOutPath $PLUGINSDIR"]
    lines += [f'  File "{os.path.join(folder, n)}"' for n in names]
    lines += ['  ExecWait \'"$PLUGINSDIR\\SETUP.EXE"\'', "SectionEnd"]
    with open(script, "w") as out:
        out.write("\n".join(lines) + "\n")
    subprocess.run(["makensis", "-V1", script], check=True, stdout=subprocess.DEVNULL)


def main():
    # The drops need a display. One display for the whole run: a Wine desktop process
    # started by an earlier step without one would refuse every later window.
    if not os.environ.get("DISPLAY"):
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", sys.executable] + sys.argv)
    os.makedirs(DATA, exist_ok=True)
    os.makedirs(PREFIX, exist_ok=True)
    subprocess.run(f"wineserver -p >/dev/null 2>&1 </dev/null; '{WINE}' cmd /c exit >/dev/null 2>&1 </dev/null",
                   shell=True, env=ENV)
    try:
        measure()
    finally:
        subprocess.run(["wineserver", "-k"], env=ENV)


def wanted(section):
    return not ONLY or section in ONLY


def measure():
    exe = os.path.join(BIN, "Lodkin.exe")
    figure("windows_build", "64" if WINE_ENV["WINEARCH"] == "win64" else "32", "bit")
    figure("stub_size", os.path.getsize(exe), "bytes")
    figure("wine_process_start", round(timed([WINE, os.path.join(BIN, "stand_in_setup.exe")], reps=5) * 1000),
           "ms")
    if wanted("copy"):
        measure_copy(exe)
    if wanted("memory"):
        measure_memory(exe)
    if wanted("members"):
        measure_members()
    if wanted("drop"):
        measure_drop()
    if wanted("compress"):
        measure_compress(exe)
    if wanted("peers"):
        peers.Peers(ENV, WINE, BIN, DATA, figure).measure()


def measure_copy(exe):
    """1 GiB in eight members: pack against cat, run against cp -r, by turns."""
    app = os.path.join(DATA, "app")
    names = write_payload(app, [128 * MIB] * 8, seed=1)
    _, ordered = pack_once(app, names)
    sources = [exe] + [os.path.join(app, n) for n in ordered]
    cat_out = os.path.join(DATA, "cat.out")
    cat_command = "cat " + " ".join(f"'{s}'" for s in sources) + f" > '{cat_out}'"

    def one_pack():
        return pack_once(app, names)[0]

    def one_cat():
        return timed_once(cat_command, shell=True, before=lambda: os.path.exists(cat_out) and os.remove(cat_out))

    pack_s, cat_s, pack_ratio = paired(one_pack, one_cat, PAIRS)
    os.remove(cat_out)
    package = os.path.join(DATA, "package.exe")
    shutil.move(packed_path(app), package)
    figure("pack_1gib", round(pack_s, 3), "s")
    figure("cat_1gib", round(cat_s, 3), "s")
    figure("pack_vs_cat", round(pack_ratio, 2), "x")

    copy_to = os.path.join(DATA, "cp.out")
    run_s, cp_s, run_ratio = paired(
        lambda: timed_once([WINE, package], after=forget_work_directories),
        lambda: timed_once(["cp", "-r", app, copy_to], after=lambda: shutil.rmtree(copy_to)), PAIRS)
    figure("run_1gib", round(run_s, 3), "s")
    figure("cp_1gib", round(cp_s, 3), "s")
    figure("run_vs_cp", round(run_ratio, 2), "x")
    # The same run with the checksum records taken out: what checking every member costs.
    unchecked = os.path.join(DATA, "unchecked.exe")
    without_checksum_records(package, unchecked)
    checked_s, unchecked_s, checked_ratio = paired(
        lambda: timed_once([WINE, package], after=forget_work_directories),
        lambda: timed_once([WINE, unchecked], after=forget_work_directories), PAIRS)
    os.remove(unchecked)
    figure("run_1gib_with_checksums", round(checked_s, 3), "s")
    figure("run_1gib_without_checksums", round(unchecked_s, 3), "s")
    figure("checksum_cost_1gib", round(100 * (checked_ratio - 1), 1), "%")

    # The command-line tool's pack, native on the host, against cat.
    cli = os.path.join(BIN, "lodkin-cli")
    if os.path.exists(cli):
        cli_out = os.path.join(DATA, "cli.exe")
        cli_command = [cli, "pack", "-o", cli_out, "--stub", exe] + [os.path.join(app, n) for n in ordered]
        remove_cli_out = lambda: os.path.exists(cli_out) and os.remove(cli_out)
        cli_s, cat_s, cli_ratio = paired(
            lambda: timed_once(cli_command, before=remove_cli_out),
            lambda: timed_once(cat_command, shell=True, before=lambda: os.path.exists(cat_out) and os.remove(cat_out)),
            PAIRS)
        remove_cli_out()
        os.remove(cat_out)
        figure("cli_pack_1gib", round(cli_s, 3), "s")
        figure("cli_pack_vs_cat", round(cli_ratio, 2), "x")

    # The same extraction without the setup program, the records and the shared block.
    extracted = os.path.join(DATA, "package")
    extract_s = timed([WINE, package, "-e"], after=lambda: shutil.rmtree(extracted))
    figure("extract_1gib", round(extract_s, 3), "s")

    if wanted("nsis"):
        installer = os.path.join(DATA, "peer.exe")
        nsis_peer(app, names, installer)
        nsis_s = timed([WINE, installer])
        figure("nsis_run_1gib", round(nsis_s, 3), "s")
        figure("run_vs_nsis_1gib", round(run_s / nsis_s, 2), "x")
        os.remove(installer)
    os.remove(package)


def measure_memory(exe):
    """Peak memory of a run and of a pack, 64 MiB against 1 GiB of members."""
    app = os.path.join(DATA, "app")
    names = write_payload(app, [128 * MIB] * 8, seed=1)
    package = os.path.join(DATA, "package.exe")
    pack(app, names, package)
    figure("run_peak_rss_1gib", peak_rss_kib([WINE, package]), "KiB")
    forget_work_directories()

    small = os.path.join(DATA, "small")
    small_names = write_payload(small, [8 * MIB] * 8, seed=2)
    small_package = os.path.join(DATA, "small.exe")
    pack(small, small_names, small_package)
    figure("run_peak_rss_64mib", peak_rss_kib([WINE, small_package]), "KiB")
    forget_work_directories()
    listing = os.path.join(DATA, "list.txt")
    for label, folder, members in (("64mib", small, small_names), ("1gib", app, names)):
        pack(folder, members, os.path.join(DATA, "scratch.exe"))
        figure(f"pack_peak_rss_{label}", peak_rss_kib([WINE, os.path.join(BIN, "pack_bench.exe"), win(listing),
                                                        win(exe)]), "KiB")
        os.remove(os.path.join(folder, "KVPACK_" + os.path.basename(folder) + ".exe"))
    os.remove(os.path.join(DATA, "scratch.exe"))
    os.remove(package)


def run_phases(package):
    """Milliseconds of each step of a run of `package`, from one run."""
    result = subprocess.run([WINE, os.path.join(BIN, "run_phases.exe"), win(package)], env=ENV, check=True,
                            stdin=subprocess.DEVNULL, capture_output=True, text=True)
    forget_work_directories()
    return [line.split() for line in result.stdout.splitlines() if line.strip()]


def measure_members():
    """Cost growth with the member count: 1 KiB members, against a bare program that
    creates and writes the same number of 1 KiB files in one folder."""
    runs = {}
    for count in (10, 1000, 10000):
        folder = os.path.join(DATA, f"members{count}")
        member_names = write_payload(folder, [1024] * count, seed=count)
        many = os.path.join(DATA, f"members{count}.exe")
        pack(folder, member_names, many)
        bare_folder = os.path.join(DATA, "bare")
        shutil.rmtree(bare_folder, ignore_errors=True)
        ours, bare, ratio = paired(
            lambda: timed_once([WINE, many], after=forget_work_directories),
            lambda: timed_once([WINE, os.path.join(BIN, "create_files.exe"), win(bare_folder), str(count), "1024"],
                               after=lambda: shutil.rmtree(bare_folder)))
        runs[count] = (ours, bare)
        figure(f"run_{count}_members", round(ours, 3), "s")
        figure(f"bare_create_{count}_files", round(bare, 3), "s")
        figure(f"run_vs_bare_{count}_members", round(ratio, 2), "x")
        if count > 10:
            # Beyond what 10 cost: start-up, and for the run the setup program.
            figure(f"run_per_member_{count}", round(1000 * (ours - runs[10][0]) / (count - 10), 3), "ms")
            figure(f"bare_per_file_{count}", round(1000 * (bare - runs[10][1]) / (count - 10), 3), "ms")
            for phase, milliseconds in run_phases(many):
                figure(f"run_phase_{phase}_{count}", milliseconds, "ms")
        if wanted("nsis"):
            peer = os.path.join(DATA, f"peer{count}.exe")
            nsis_peer(folder, member_names, peer)
            theirs = timed([WINE, peer])
            figure(f"nsis_run_{count}_members", round(theirs, 3), "s")
            figure(f"run_vs_nsis_{count}_members", round(ours / theirs, 2), "x")
            os.remove(peer)
        os.remove(many)


def measure_drop():
    """Drops of thousands of files onto the packaging window's list."""
    folder = os.path.join(DATA, "drop")
    os.makedirs(folder, exist_ok=True)
    for count in (1000, 2000, 5000):
        for i in range(count):
            path = os.path.join(folder, f"f{i:05d}.txt")
            if not os.path.exists(path):
                open(path, "w").close()
        command = [WINE, os.path.join(BIN, "drop_bench.exe"), win(folder), str(count)]
        results = []
        for _ in range(REPS):
            out = subprocess.run(command, env=ENV, check=True, stdin=subprocess.DEVNULL,
                                 capture_output=True, text=True).stdout
            results.append(dict(line.split() for line in out.splitlines() if line.strip()))
        drop_ms = statistics.median(float(r["drop_ms"]) for r in results)
        figure(f"drop_{count}_files", round(drop_ms / 1000, 3), "s")
        figure(f"drop_per_file_{count}", round(1000 * drop_ms / count), "us")
        figure(f"drop_longest_unpainted_{count}", max(int(r["longest_unpainted_ms"]) for r in results), "ms")




# The compressed payload: the Windows DLLs of the installed Wine (package wine32, or
# wine64 where wine32 is not installed), in byte order of their names, as many as reach
# 100 MiB; the same files on every Debian 12 machine with the same Wine.
WINE_DLLS = next((d for d in ("/usr/lib/i386-linux-gnu/wine/i386-windows",
                              "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows") if os.path.isdir(d)),
                 "/usr/lib/i386-linux-gnu/wine/i386-windows")


def dll_payload(folder):
    if os.path.exists(os.path.join(folder, ".complete")):
        return sorted(p for p in os.listdir(folder) if not p.startswith("."))
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    total = 0
    for name in sorted(n for n in os.listdir(WINE_DLLS) if n.endswith(".dll")):
        shutil.copy(os.path.join(WINE_DLLS, name), os.path.join(folder, name))
        total += os.path.getsize(os.path.join(folder, name))
        if total >= 100 * MIB:
            break
    shutil.copy(os.path.join(BIN, "stand_in_setup.exe"), os.path.join(folder, "SETUP.EXE"))
    open(os.path.join(folder, ".complete"), "w").close()
    return sorted(p for p in os.listdir(folder) if not p.startswith("."))


def measure_compress(exe):
    """pack --compress on Wine's DLLs against an NSIS installer with solid LZMA and
    against tar | xz -9e: size, pack time, the pack's and the run's peak memory, run time."""
    folder = os.path.join(DATA, "dlls")
    names = dll_payload(folder)
    files = [os.path.join(folder, n) for n in ["SETUP.EXE"] + [n for n in names if n != "SETUP.EXE"]]
    payload = sum(os.path.getsize(f) for f in files)
    figure("compress_payload_files", len(files), "files")
    figure("compress_payload", payload, "bytes")
    cli = os.path.join(BIN, "lodkin-cli")
    package = os.path.join(DATA, "compressed.exe")
    installer = os.path.join(DATA, "peer-lzma.exe")
    pack_command = [cli, "pack", "--compress", "-o", package, "--stub", exe] + files
    pairs = int(os.environ.get("LODKIN_BENCH_COMPRESS_PAIRS", "1"))
    figure("load_average_before_compress", os.getloadavg()[0], "")
    cores = {"pack": [], "nsis": []}
    pack_s, nsis_s, pack_ratio = paired(
        lambda: with_cores(cores["pack"], lambda: timed_once(
            pack_command, before=lambda: os.path.exists(package) and os.remove(package))),
        lambda: with_cores(cores["nsis"], lambda: time_nsis(folder, names, installer)), pairs)
    figure("compress_pack", round(pack_s, 2), "s")
    figure("nsis_lzma_pack", round(nsis_s, 2), "s")
    figure("compress_pack_vs_nsis", round(pack_ratio, 2), "x")
    # Processor time over wall time: how many cores each one kept busy.
    figure("compress_pack_cores", round(statistics.median(cores["pack"]), 2), "cores")
    figure("nsis_lzma_pack_cores", round(statistics.median(cores["nsis"]), 2), "cores")
    figure("load_average_after_compress_pack", os.getloadavg()[0], "")
    # The pack's own peak: its encoders, the streams that wait for the writer, the writer.
    figure("compress_pack_peak_rss", peak_rss_kib(pack_command), "KiB")

    xz = os.path.join(DATA, "payload.tar.xz")
    subprocess.run(f"tar -C '{folder}' -cf - {' '.join(names)} | xz -9e -T1 > '{xz}'", shell=True, check=True)
    size, nsis_size, xz_size = os.path.getsize(package), os.path.getsize(installer), os.path.getsize(xz)
    os.remove(xz)
    figure("compress_package", size, "bytes")
    figure("nsis_lzma_installer", nsis_size, "bytes")
    figure("tar_xz9e", xz_size, "bytes")
    figure("compress_package_share", round(100 * size / payload, 1), "%")
    figure("compress_vs_nsis_size", round(size / nsis_size, 3), "x")
    figure("compress_vs_xz9e_size", round(size / xz_size, 3), "x")

    run_s, nsis_run_s, run_ratio = paired(
        lambda: timed_once([WINE, package], after=forget_work_directories),
        lambda: timed_once([WINE, installer]), REPS)
    figure("compress_run", round(run_s, 3), "s")
    figure("nsis_lzma_run", round(nsis_run_s, 3), "s")
    figure("compress_run_vs_nsis", round(run_ratio, 2), "x")

    # The decoder's memory: the compressed run against the run of the same files stored.
    stored = os.path.join(DATA, "stored.exe")
    run([cli, "pack", "-o", stored, "--stub", exe] + files)
    compressed_kib = peak_rss_kib([WINE, package])
    forget_work_directories()
    stored_kib = peak_rss_kib([WINE, stored])
    forget_work_directories()
    figure("compress_run_peak_rss", compressed_kib, "KiB")
    figure("stored_run_peak_rss", stored_kib, "KiB")
    figure("compress_run_extra_rss", compressed_kib - stored_kib, "KiB")
    for path in (package, installer, stored):
        os.remove(path)


def with_cores(cores, measure):
    """Runs measure() (wall seconds of child processes); appends their processor time
    (user and system) over that wall time to `cores`; returns the wall time."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    seconds = measure()
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    busy = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    cores.append(busy / seconds)
    return seconds


def time_nsis(folder, names, installer):
    start = time.perf_counter()
    nsis_peer(folder, names, installer, "SetCompressor /SOLID /FINAL lzma")
    return time.perf_counter() - start


if __name__ == "__main__":
    sys.exit(main())
