#!/usr/bin/env python3
"""The benchmark's corpus filter (bench/peer_corpora.py) against the packer: a corpus must
pack whole, so every name the filter takes has to be one that `lodkin-cli pack -C` packs,
and a name it leaves out for a packer rule has to be one the packer refuses (otherwise
the corpora lose files for nothing). Each case is a tree of files named as the case says,
run through the filter, then packed with the tool.

usage: peer_corpus_names.py LODKIN_CLI
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import peer_corpora  # noqa: E402

# (case, files in the order the walk meets them, how many the filter takes, whether the
# packer takes all of them). A case whose packer column is None is left out by the
# benchmark's own choice, not by a packer rule.
CASES = [
    ("plain tree", ["a/b/c.txt", "a/d.txt", "e.gz"], 3, True),
    ("letter case of two files", ["lib/Readme", "lib/README"], 1, False),
    # The packer takes one folder spelt two ways; the filter does not, since Windows then
    # writes both files into one folder and 7zz on Linux into two.
    ("letter case of two folders", ["Doc/a.txt", "doc/b.txt"], 1, None),
    ("file beside a folder of its name", ["x/lib", "x/LIB/y.dll"], 1, False),
    ("device name with an extension", ["man/nul.3.gz"], 0, False),
    ("device name with a digit", ["com1.txt"], 0, False),
    ("part ending with a dot", ["notes./a.txt"], 0, False),
    ("forbidden character", ["a?b.txt"], 0, False),
    ("backslash in a Linux name", ["a\\b.txt"], 0, False),
    ("not plain ASCII", ["caf\u00e9.txt"], 0, False),
    ("already a package", ["old/KVPACK_old.exe"], 0, False),
    ("device-like but longer", ["console.h", "com10.txt", "nulls.c"], 3, True),
    ("name past the benchmark's length", ["d/" + "n" * (peer_corpora.LONGEST_NAME + 1)], 0, None),
    ("setup program below the top", ["sub/setup.exe"], 0, None),
]


def make_tree(root, names):
    for index, name in enumerate(names):
        path = os.path.join(root, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(b"member %d\n" % index)


def filtered(root):
    """What the filter takes from the tree, below a corpus folder "t"."""
    selection = peer_corpora.Selection()
    selection.fill([peer_corpora.Source("t", root, 1 << 30)], 0)
    return list(selection.members)


def packs(cli, work, names):
    """Whether the tool packs SETUP.EXE and `names` (below "t") from a fresh folder."""
    corpus = tempfile.mkdtemp(dir=work)
    make_tree(corpus, ["SETUP.EXE"] + names)
    # Any program file serves as the program part; the names are what is tested.
    stub = os.path.join(work, "stub.exe")
    if not os.path.exists(stub):
        make_tree(work, ["stub.exe"])
    result = subprocess.run([cli, "pack", "-C", corpus, "-o", corpus + ".exe", "--stub", stub],
                            stdin=subprocess.DEVNULL, capture_output=True, text=True)
    return result.returncode == 0, result.stderr.strip()


def main(cli):
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for case, names, taken_count, packer_takes in CASES:
            source = tempfile.mkdtemp(dir=work)
            make_tree(source, names)
            taken = filtered(source)
            if len(taken) != taken_count:
                failures.append(f"{case}: the filter took {taken}, expected {taken_count} of {names}")
                continue
            # What the filter took always packs.
            ok, why = packs(cli, work, taken) if taken else (True, "")
            if not ok:
                failures.append(f"{case}: the packer refused what the filter took ({taken}): {why}")
            if packer_takes is None:
                continue
            ok, why = packs(cli, work, ["t/" + n for n in names])
            if ok != packer_takes:
                failures.append(f"{case}: the packer {'refused' if not ok else 'took'} all of {names}; "
                                f"the filter expects it to {'take' if packer_takes else 'refuse'} them ({why})")
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(CASES) - len(failures)} of {len(CASES)} cases agree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
