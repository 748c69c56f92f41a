#!/usr/bin/env python3
"""Reference workload for the benchmark: walk a tree and read every candidate
file once.

A file is a candidate when it is a non-empty regular file that shares its size
with at least one other file of the tree - exactly the files an exact
duplicate finder cannot rule out from the size alone.  Each candidate is read
once, start to end, sequentially, with 1 MiB reads into one reused buffer,
single-threaded, nothing is hashed or compared.

Folders whose name starts with '.' are skipped and symlinks are not followed,
the same way zorvik-cli walks a tree.

--walk-only stops after the walk (one stat per entry): the part of the cost
that does not depend on file contents. --read-list FILE walks, then reads only
the files FILE lists, one path a line (the duplicates: what an unchanged
rescan with a content cache must read).

The summary line goes to stdout:  files=N candidates=M bytes_read=B
"""

import argparse
import os
import sys

BUF = 1024 * 1024


def walk(root):
    """Yield (path, size) for every non-empty regular file under root."""
    stack = [root]
    while stack:
        d = stack.pop()
        with os.scandir(d) as it:
            for e in it:
                if e.is_dir(follow_symlinks=False):
                    if not e.name.startswith("."):
                        stack.append(e.path)
                elif e.is_file(follow_symlinks=False):
                    size = e.stat(follow_symlinks=False).st_size
                    if size > 0:
                        yield e.path, size


def candidates(roots):
    """Return (number of files, list of paths that share their size)."""
    by_size = {}
    n = 0
    for root in roots:
        for path, size in walk(root):
            n += 1
            by_size.setdefault(size, []).append(path)
    out = []
    for paths in by_size.values():
        if len(paths) > 1:
            out.extend(paths)
    return n, out


def read_all(paths):
    buf = bytearray(BUF)
    view = memoryview(buf)
    total = 0
    for p in paths:
        fd = os.open(p, os.O_RDONLY)
        try:
            while True:
                k = os.readv(fd, [view])
                if k <= 0:
                    break
                total += k
        finally:
            os.close(fd)
    return total


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("folders", nargs="+")
    ap.add_argument("--walk-only", action="store_true",
                    help="only walk the tree, read nothing")
    ap.add_argument("--read-list", metavar="FILE",
                    help="walk, then read only the files FILE lists, one a line")
    args = ap.parse_args(argv)
    n, paths = candidates(args.folders)
    if args.read_list:
        with open(args.read_list, encoding="utf-8") as f:
            paths = [line.rstrip("\n") for line in f if line.strip()]
    total = 0 if args.walk_only else read_all(paths)
    print(f"files={n} candidates={len(paths)} bytes_read={total}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
