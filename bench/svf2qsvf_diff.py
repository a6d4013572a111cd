#!/usr/bin/env python3
"""Differential run of two svf2qsvf binaries: same input, same options, same bytes.

  bench/svf2qsvf_diff.py REFERENCE CANDIDATE [--random N] [--corpus DIR]

Every input is translated by both binaries under every option set below, once
without and once with a listing (-a); the QSVF bytes, the listing bytes, the
exit status and the messages must be equal.  Inputs: the SVF files of the
corpus folder (read in place), small files of the benchmark generator, and N
random files of bench/svf2qsvf_random.py (seeds 1..N; default 64).  Made to
check that a faster build of the translator still writes what the previous
one wrote; the first differences are shown and the status is 1.
"""
import argparse
import os
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))

OPTION_SETS = [
    [], ["-fpga"], ["-fpga", "-rlen", "64"], ["-fpga", "-v2"], ["-fpga", "-inorder"], ["-qwait"],
    ["-inorder"], ["-s"], ["-useqsdr"], ["-v2"], ["-multiple_runtest"], ["-extensions"], ["-minqstate"],
    ["-runmin", "50"], ["-qprintsrc", "2"], ["-fpga", "-qprintsrc", "3"],
]

GENERATED = [("fpga", 1), ("fpga", 127), ("fpga", 128), ("fpga", 129), ("fpga", 4099), ("fpga", 65537),
             ("fpga", 1000003), ("cpld", 300), ("cpld", 3000)]


def run(binary, folder, svf, options, listing):
    command = [binary, "-w", *options, "-i", svf, "-o", "out.qsvf"]
    if listing:
        command += ["-a", "out.lst"]
    for name in ("out.qsvf", "out.lst"):
        if os.path.exists(os.path.join(folder, name)):
            os.remove(os.path.join(folder, name))
    done = subprocess.run(command, cwd=folder, stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    files = []
    for name in ("out.qsvf", "out.lst"):
        path = os.path.join(folder, name)
        files.append(open(path, "rb").read() if os.path.exists(path) else None)
    return (done.returncode, done.stdout, done.stderr, *files)


def first_difference(a, b):
    if a is None or b is None:
        return "present in one run only"
    at = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
    return "sizes %d and %d, first difference at byte %d" % (len(a), len(b), at)


def compare(job):
    reference, candidate, svf, options, listing, work = job
    folders = []
    for side in ("ref", "new"):
        folder = tempfile.mkdtemp(prefix=side + ".", dir=work)
        folders.append(folder)
    a = run(reference, folders[0], svf, options, listing)
    b = run(candidate, folders[1], svf, options, listing)
    for folder in folders:
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))
        os.rmdir(folder)
    if a == b:
        return None
    what = ["status", "stdout", "stderr", "output", "listing"]
    problems = ["%s differs (%s)" % (what[i], first_difference(a[i], b[i]) if i else "%s vs %s" % (a[i], b[i]))
                for i in range(5) if a[i] != b[i]]
    return "%s %s%s: %s" % (svf, " ".join(options), " -a" if listing else "", "; ".join(problems))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("reference")
    parser.add_argument("candidate")
    parser.add_argument("--random", type=int, default=64)
    parser.add_argument("--corpus", default=os.path.join(HERE, "..", "..", "shared", "svf-corpus"))
    args = parser.parse_args()
    reference, candidate = os.path.abspath(args.reference), os.path.abspath(args.candidate)

    with tempfile.TemporaryDirectory(prefix="svf2qsvf-diff.") as work:
        inputs = []
        if os.path.isdir(args.corpus):
            inputs += sorted(os.path.join(os.path.abspath(args.corpus), name)
                             for name in os.listdir(args.corpus) if name.endswith(".svf"))
        else:
            print("no corpus folder at %s; generated inputs only" % args.corpus)
        for kind, size in GENERATED:
            path = os.path.join(work, "%s_%d.svf" % (kind, size))
            subprocess.run([sys.executable, os.path.join(HERE, "svf2qsvf_gen.py"), kind, str(size), path], check=True)
            inputs.append(path)
        for seed in range(1, args.random + 1):
            path = os.path.join(work, "random_%d.svf" % seed)
            subprocess.run([sys.executable, os.path.join(HERE, "svf2qsvf_random.py"), str(seed), path], check=True)
            inputs.append(path)

        jobs = [(reference, candidate, svf, options, listing, work)
                for svf in inputs for options in OPTION_SETS for listing in (False, True)]
        with ThreadPoolExecutor(max_workers=2) as pool:
            failures = [f for f in pool.map(compare, jobs) if f]
    for failure in failures[:20]:
        print(failure)
    print("%d inputs, %d option sets, %d translations compared: %d differ"
          % (len(inputs), len(OPTION_SETS), 2 * len(jobs), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
