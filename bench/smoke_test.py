#!/usr/bin/env python3
"""Quick end-to-end run of the benchmark.

Makes tiny versions of the three trees in a temporary folder, checks them by
hashing, runs run_bench.py with one timed run of every tool and prints a final
PASS or FAIL line.  FAIL (exit status 1) when zorvik-cli is missing, when any
tool reports other duplicate groups than the manifest, or when a tool fails.
Peers that are not installed are skipped with a note; zorvik-cli never is.
Timings are printed but never decide the outcome.

usage: python3 bench/smoke_test.py [ZORVIK_CLI | BUILD_DIR]
       (default: ../build/zorvik-cli next to this folder)
"""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SCALE = "0.01"


def resolve_zorvik(arg):
    path = arg or os.path.join(HERE, "..", "build")
    if os.path.isdir(path):
        path = os.path.join(path, "zorvik-cli")
    return os.path.abspath(path)


def main(argv):
    if len(argv) > 2 or (len(argv) == 2 and argv[1] in ("-h", "--help")):
        print(__doc__.strip())
        return 2
    zorvik = resolve_zorvik(argv[1] if len(argv) == 2 else None)
    if not (os.path.isfile(zorvik) and os.access(zorvik, os.X_OK)):
        print(f"FAIL: zorvik-cli not found or not executable: {zorvik}")
        return 1
    tmp = tempfile.mkdtemp(prefix="zorvik-smoke-")
    try:
        corpus = os.path.join(tmp, "corpus")
        gen = subprocess.run([sys.executable, os.path.join(HERE, "gen_corpus.py"), corpus,
                              "--scale", SCALE, "--verify"])
        if gen.returncode != 0:
            print("FAIL: the generated corpus does not match its manifest")
            return 1
        bench = subprocess.run([sys.executable, os.path.join(HERE, "run_bench.py"),
                                "--corpus", corpus, "--zorvik", zorvik, "--reps", "1",
                                "--timeout", "120", "--json",
                                os.path.join(tmp, "smoke.json")])
        if bench.returncode != 0:
            print("FAIL: the tools do not agree with the manifest (see MISMATCHES above)")
            return 1
        print("PASS: zorvik-cli and every installed peer found the manifest's "
              "duplicate groups on all three trees")
        return 0
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
