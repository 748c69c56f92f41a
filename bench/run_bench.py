#!/usr/bin/env python3
"""Time zorvik-cli against jdupes, rmlint and fdupes on the benchmark corpora
and check that every tool reports the same duplicate groups.

For each tree (mixed, samesize, large) every tool runs once to warm the page
cache and check its result, then REPS more times in round-robin order.  Wall
time is measured here; peak RSS comes from GNU time (-f %M).  The results of
every run are compared with the tree's manifest, as sets of sets of absolute
paths; any difference is printed and makes the script exit with status 1.

The report is a Markdown table per tree on stdout; progress goes to stderr.
"""

import argparse
import json
import os
import platform
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True   # keep the source folder clean
if HERE not in sys.path:
    sys.path.insert(0, HERE)
import gen_corpus  # noqa: E402
import link_bench  # noqa: E402

DEFAULT_ZORVIK = os.path.normpath(os.path.join(HERE, "..", "build", "zorvik-cli"))
DEFAULT_CORPUS = "/work/corpus"
GNU_TIME = "/usr/bin/time"
FLOOR = os.path.join(HERE, "floor_read.py")
DUPLICATES_LIST = "duplicates.txt"   # the manifest's duplicate files, one a line
DROP_CACHES = "/proc/sys/vm/drop_caches"
TIMED_OUT = -9               # what run_once returns for a run it had to kill
PROJECT_FILES = 10_000_000


class OutputError(Exception):
    """A tool's output does not follow its documented format."""


# ----------------------------------------------------------------- parsers --

def parse_zorvik_row(line, no):
    """Return the PATH of a `MARK;CAPTION;PATH;SIZE_KB;DATE` row.

    CAPTION (the file name) may itself contain ';', so the row is split from
    the right for SIZE_KB and DATE, and CAPTION;PATH is split at the first ';'
    that leaves an absolute PATH ending in /CAPTION.
    """
    parts = line.rsplit(";", 2)
    if len(parts) != 3:
        raise OutputError(f"line {no}: expected MARK;CAPTION;PATH;SIZE_KB;DATE: {line!r}")
    head, size_kb, date = parts
    if not size_kb.isdigit():
        raise OutputError(f"line {no}: SIZE_KB {size_kb!r} is not a whole number")
    if not date.strip():
        raise OutputError(f"line {no}: DATE is empty")
    mark, sep, rest = head.partition(";")
    if not sep or mark not in ("0", "1"):
        raise OutputError(f"line {no}: MARK must be 0 or 1: {line!r}")
    i = rest.find(";")
    while i != -1:
        caption, path = rest[:i], rest[i + 1:]
        if caption and path.startswith("/") and path.endswith("/" + caption):
            return path
        i = rest.find(";", i + 1)
    raise OutputError(f"line {no}: no CAPTION;PATH split where PATH is absolute and "
                      f"ends with /CAPTION: {line!r}")


def parse_zorvik(data):
    """Groups of paths from the bytes of a zorvik-cli result list."""
    if not data:
        return []
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        raise OutputError(f"output is not UTF-8: {e}") from None
    if not text.endswith("\r\n"):
        if text.endswith("\n"):
            raise OutputError("line ends are a bare LF, they must be CR LF")
        raise OutputError("the last line does not end with CR LF")
    groups, cur = [], []
    for no, line in enumerate(text[:-2].split("\r\n"), 1):
        if "\n" in line or "\r" in line:
            raise OutputError(f"line {no}: bare LF or CR inside the output "
                              "(line ends must be CR LF)")
        if line == "":
            if not cur:
                where = "at the start" if no == 1 else "right after another empty line"
                raise OutputError(f"line {no}: empty line {where}")
            groups.append(cur)
            cur = []
            continue
        cur.append(parse_zorvik_row(line, no))
    if not cur:
        raise OutputError("empty line after the last group")
    groups.append(cur)
    return groups


def parse_blank_separated(data):
    """Groups from jdupes/fdupes output: one path per line, groups separated
    by empty lines."""
    text = data.decode("utf-8", "surrogateescape")
    groups, cur = [], []
    for line in text.split("\n"):
        if line == "":
            if cur:
                groups.append(cur)
                cur = []
        else:
            cur.append(line)
    if cur:
        groups.append(cur)
    return groups


def parse_rmlint_json(data):
    """Groups from rmlint's json formatter.

    The document is a list: a header, one object per reported file, a footer.
    The files of a duplicate set come one after the other with the same
    checksum and size, the first one marked is_original.
    """
    if not data.strip():
        raise OutputError("rmlint wrote no json")
    try:
        doc = json.loads(data.decode("utf-8", "surrogateescape"))
    except ValueError as e:
        raise OutputError(f"rmlint json does not parse: {e}") from None
    if not isinstance(doc, list):
        raise OutputError("rmlint json is not a list")
    groups, cur, key, has_original = [], [], None, False
    for item in doc:
        if not isinstance(item, dict) or item.get("type") != "duplicate_file":
            continue
        k = (item.get("checksum"), item.get("size"))
        original = bool(item.get("is_original"))
        if cur and (k != key or (original and has_original)):
            groups.append(cur)
            cur, has_original = [], False
        cur.append(item["path"])
        key = k
        has_original = has_original or original
    if cur:
        groups.append(cur)
    return groups


# -------------------------------------------------------------- comparing --

def as_set(groups):
    """Set of frozensets of normalised paths, plus paths listed more than once."""
    seen, repeated = set(), set()
    out = set()
    for g in groups:
        paths = [os.path.normpath(p) for p in g]
        for p in paths:
            if p in seen:
                repeated.add(p)
            seen.add(p)
        out.add(frozenset(paths))
    return out, repeated


def expected_set(manifest, tree_root):
    return {frozenset(os.path.normpath(os.path.join(tree_root, rel)) for rel in g)
            for g in manifest["duplicate_groups"]}


def compare(found, expected):
    """Return (missing groups, unexpected groups), each sorted."""
    missing = sorted((sorted(g) for g in expected - found))
    extra = sorted((sorted(g) for g in found - expected))
    return missing, extra


def describe_mismatch(found, expected, repeated, root, limit=5):
    """Human-readable lines about how `found` differs from `expected`."""
    def rel(p):
        return os.path.relpath(p, root) if p.startswith(root + os.sep) else p

    def show(g):
        return "{" + ", ".join(repr(rel(p)) for p in sorted(g)) + "}"

    missing, extra = compare(found, expected)
    lines = []
    if missing or extra:
        lines.append(f"{len(missing)} expected group(s) missing, "
                     f"{len(extra)} unexpected group(s)")
    where = {}
    for g in found:
        for p in g:
            where[p] = g
    for g in missing[:limit]:
        near = {where[p] for p in g if p in where}
        hint = ("; found instead as " + ", ".join(show(x) for x in near)) if near else \
            "; none of its files reported"
        lines.append(f"  missing {show(g)}{hint}")
    if len(missing) > limit:
        lines.append(f"  ... {len(missing) - limit} more missing")
    for g in extra[:limit]:
        lines.append(f"  unexpected {show(g)}")
    if len(extra) > limit:
        lines.append(f"  ... {len(extra) - limit} more unexpected")
    if repeated:
        sample = ", ".join(repr(rel(p)) for p in sorted(repeated)[:limit])
        lines.append(f"  {len(repeated)} path(s) listed more than once: {sample}")
    return lines


# ------------------------------------------------------------------ tools --

class Tool:
    """How to run one program on a tree and read its duplicate groups."""

    def __init__(self, name, argv, parse=None, result="stdout", env=None, note=""):
        self.name = name
        self.argv = argv          # function(tree, out_path) -> list
        self.parse = parse        # function(bytes) -> groups, None = no check
        self.result = result      # "stdout" or "file": where the groups go
        self.env = env
        self.note = note

    def command(self, tree="TREE", out="OUT"):
        return " ".join(a if a and " " not in a else repr(a) for a in self.argv(tree, out))


def make_tools(zorvik, peers):
    env = dict(os.environ)
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    tools = {
        # Every tool that can writes its groups to standard output, which the
        # runner sends to a file: the same path for all of them.
        "zorvik": Tool("zorvik-cli",
                       lambda t, o: [zorvik, "scan", "--exact", "--skip-empty", "--no-cache", t],
                       parse_zorvik, "stdout", env, note="a first scan: no content cache"),
        # The content cache sits beside the run's output; the runner primes
        # it with one untimed run, so every timed run is an unchanged rescan.
        "rescan": Tool("zorvik-cli rescan",
                       lambda t, o: [zorvik, "scan", "--exact", "--skip-empty", "--cache",
                                     os.path.join(os.path.dirname(o), "contents.cache"), t],
                       parse_zorvik, "stdout", env,
                       note="the content cache of the run before, nothing changed"),
        "jdupes": Tool("jdupes", lambda t, o: ["jdupes", "-r", "-q", t],
                       parse_blank_separated),
        "rmlint": Tool("rmlint", lambda t, o: ["rmlint", "-T", "df", "-o", "json:" + o, t],
                       parse_rmlint_json, "file",
                       note="blake2b hashes, no byte-by-byte check"),
        "rmlint-paranoid": Tool("rmlint -p",
                                lambda t, o: ["rmlint", "-T", "df", "-p", "-o",
                                              "json:" + o, t],
                                parse_rmlint_json, "file", note="byte-by-byte"),
        "fdupes": Tool("fdupes", lambda t, o: ["fdupes", "-r", "-q", "-n", t],
                       parse_blank_separated),
        "floor": Tool("floor (read candidates)",
                      lambda t, o: [sys.executable, FLOOR, t],
                      note="walk + read every same-size file once"),
        "walk": Tool("walk only", lambda t, o: [sys.executable, FLOOR, "--walk-only", t],
                     note="walk + stat, no reads"),
        # The list of the manifest's duplicate files is written by the runner
        # into the tree's folder, above the tool's.
        "dups": Tool("walk + read duplicates",
                     lambda t, o: [sys.executable, FLOOR, "--read-list",
                                   os.path.join(os.path.dirname(os.path.dirname(o)),
                                                DUPLICATES_LIST), t],
                     note="walk, then read every duplicate file once: what a rescan must read"),
    }
    chosen, skipped = {"zorvik": tools["zorvik"]}, []
    for p in peers:
        if p not in tools or p == "zorvik":
            raise SystemExit(f"error: unknown peer {p!r}; choose from "
                             + ", ".join(k for k in tools if k != "zorvik"))
        prog = tools[p].argv("T", "O")[0]
        if prog != sys.executable and shutil.which(prog) is None:
            skipped.append(f"{p}: {prog} is not installed, skipped")
            continue
        chosen[p] = tools[p]
    return chosen, skipped


# -------------------------------------------------------------- measuring --

def run_once(argv, stdout_path, stderr_path, cwd, env, timeout):
    """Run argv; return (wall seconds, peak RSS in KiB or None, exit status)."""
    rss_file = os.path.join(cwd, "rss.txt")
    if os.path.exists(rss_file):
        os.remove(rss_file)
    use_time = os.access(GNU_TIME, os.X_OK)
    full = [GNU_TIME, "-f", "%M", "-o", rss_file] + argv if use_time else argv
    with open(stdout_path, "wb") as out, open(stderr_path, "wb") as err:
        t0 = time.perf_counter()
        try:
            p = subprocess.Popen(full, stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                 cwd=cwd, env=env, start_new_session=True)
        except OSError as e:
            err.write(f"cannot run {argv[0]}: {e}\n".encode())
            return 0.0, None, 127
        # Popen.wait(timeout) polls with sleeps of up to 50 ms, which would
        # round the measured times; block in waitpid and let a timer kill a
        # run that takes too long.
        killed = []

        def kill():
            killed.append(True)
            try:
                os.killpg(p.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

        timer = threading.Timer(timeout, kill)
        timer.start()
        try:
            rc = p.wait()
        finally:
            timer.cancel()
        wall = time.perf_counter() - t0
        if killed:
            err.write(f"\nkilled after {timeout} s\n".encode())
            return wall, None, -9
    rss = None
    if use_time and os.path.exists(rss_file):
        with open(rss_file) as f:
            nums = [ln.strip() for ln in f if ln.strip().isdigit()]
        if nums:
            rss = int(nums[-1])
    return wall, rss, rc


def tail(path, n=5):
    try:
        with open(path, "rb") as f:
            lines = f.read().decode("utf-8", "replace").strip().splitlines()
    except OSError:
        return ""
    return "\n".join("    | " + ln for ln in lines[-n:])


def drop_caches():
    """Write back dirty pages, then drop the page cache, dentries and inodes.
    Returns None when done, otherwise why it cannot be done."""
    os.sync()
    try:
        with open(DROP_CACHES, "w") as f:
            f.write("3\n")
    except OSError as e:
        why = f"cannot write {DROP_CACHES}: {e.strerror or e}"
        return why + ("" if os.geteuid() == 0 else " (not root)")
    return None


def bench_tree(tree, corpus, tools, reps, warmup, workdir, timeout, log, cold=0,
               drop=drop_caches):
    """Warm-up and timed runs of every tool on one tree, then `cold` more
    rounds with the page cache dropped (by `drop`) before each single run."""
    manifest = gen_corpus.load_manifest(corpus, tree)
    root = os.path.realpath(os.path.join(corpus, manifest["root"]))
    expected = expected_set(manifest, root)
    # executing the floor first in the warm-up pulls every candidate file into
    # the page cache before any finder is timed
    order = [k for k in ("floor", "walk") if k in tools] + \
        [k for k in tools if k not in ("floor", "walk")]
    res = {k: {"times": [], "rss_kib": [], "cold_times": [], "cold_rss_kib": [],
               "problems": [], "failed_runs": 0, "groups": None, "cut_off": None}
           for k in tools}
    os.makedirs(os.path.join(workdir, tree), exist_ok=True)
    with open(os.path.join(workdir, tree, DUPLICATES_LIST), "w", encoding="utf-8") as f:
        for group in sorted(sorted(g) for g in expected):
            f.writelines(p + "\n" for p in group)
    if "rescan" in tools:   # the cache the first timed rescan finds
        tdir = os.path.join(workdir, tree, "rescan")
        os.makedirs(tdir, exist_ok=True)
        wall, _, rc = run_once(tools["rescan"].argv(root, os.path.join(tdir, "result.out")),
                               os.path.join(tdir, "stdout"), os.path.join(tdir, "stderr"),
                               tdir, tools["rescan"].env, timeout)
        log(f"[{tree}] priming the content cache {wall:8.3f} s" + ("" if rc == 0 else f"  exit {rc}"))
    os.sync()   # no writeback of a freshly generated tree during the timings
    rounds = [("warm-up", None)] * warmup + \
        [(f"run {i + 1}/{reps}", "") for i in range(reps)] + \
        [(f"cold {i + 1}/{cold}", "cold_") for i in range(cold)]
    for label, timed in rounds:
        for key in order:
            tool, r = tools[key], res[key]
            if r["cut_off"]:
                continue          # one run past the timeout is enough
            tdir = os.path.join(workdir, tree, key)
            os.makedirs(tdir, exist_ok=True)
            out = os.path.join(tdir, "result.out")
            if os.path.exists(out):
                os.remove(out)
            if timed == "cold_":
                why = drop()
                if why:
                    raise RuntimeError(why)
            stdout, stderr = os.path.join(tdir, "stdout"), os.path.join(tdir, "stderr")
            wall, rss, rc = run_once(tool.argv(root, out), stdout, stderr, tdir,
                                     tool.env, timeout)
            log(f"[{tree}] {label:9} {tool.name:24} {wall:8.3f} s"
                + (f" {rss / 1024:8.1f} MiB" if rss else "")
                + ("" if rc == 0 else f"  exit {rc}"))
            if rc == TIMED_OUT:
                r["cut_off"] = f"cut off after {timeout:g} s ({label})"
                log(f"[{tree}] {tool.name}: {r['cut_off']}, no more runs of it on this tree")
                continue
            if timed is not None:
                r[timed + "times"].append(wall)
                if rss:
                    r[timed + "rss_kib"].append(rss)
            problems = []
            if rc != 0:
                problems.append(f"exit status {rc}\n{tail(stderr)}")
            elif tool.parse is not None:
                src = out if tool.result == "file" else stdout
                try:
                    with open(src, "rb") as f:
                        data = f.read()
                except FileNotFoundError:
                    data = b""      # nothing found -> nothing written
                try:
                    found, repeated = as_set(tool.parse(data))
                    r["groups"] = len(found)
                    if found != expected or repeated:
                        problems.extend(describe_mismatch(found, expected, repeated, root))
                except OutputError as e:
                    problems.append(f"output format: {e}")
            if problems:
                r["failed_runs"] += 1
                if not r["problems"]:
                    r["problems"] = [f"first failing run: {label}"] + problems
    for r in res.values():
        if r["problems"]:
            r["problems"][0] += f" ({r['failed_runs']} of {len(rounds)} runs failed)"
    return manifest, root, res


def projection(points, files=PROJECT_FILES):
    """Straight line through the two (files, peak RSS bytes) points with the
    fewest and the most files: (growth in bytes a file, fixed bytes, bytes
    at `files`)."""
    (n1, b1), (n2, b2) = min(points), max(points)
    if n1 == n2:
        raise ValueError("the projection needs two trees of different sizes")
    growth = (b2 - b1) / (n2 - n1)
    fixed = b1 - growth * n1
    return growth, fixed, fixed + growth * files


# -------------------------------------------------------------- reporting --

def tool_version(prog):
    try:
        p = subprocess.run([prog, "--version"], capture_output=True, timeout=10)
    except (OSError, subprocess.TimeoutExpired):
        return "?"
    text = (p.stdout or p.stderr).decode("utf-8", "replace")
    text = re.sub(r"\x1b\[[0-9;]*m", "", text).strip()
    return text.splitlines()[0] if text else "?"


def machine_info():
    cpu = platform.processor() or "?"
    try:
        with open("/proc/cpuinfo") as f:
            for ln in f:
                if ln.startswith("model name"):
                    cpu = ln.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = "?"
    try:
        with open("/proc/meminfo") as f:
            kb = int(f.readline().split()[1])
            mem = f"{kb / 1024**2:.1f} GiB"
    except (OSError, ValueError, IndexError):
        pass
    return {"kernel": platform.release(), "cpu": cpu, "cores": os.cpu_count(),
            "memory": mem, "python": platform.python_version()}


def summarize(res, tools, files=None):
    rows = {}
    for key, r in res.items():
        t, c = r["times"], r["cold_times"]
        rss = r["rss_kib"] + r["cold_rss_kib"]
        rows[key] = {
            "median_s": statistics.median(t) if t else None,
            "min_s": min(t) if t else None,
            "cold_median_s": statistics.median(c) if c else None,
            "peak_rss_mib": max(rss) / 1024 if rss else None,
            # peak RSS over the number of files of the tree, in bytes
            "rss_bytes_per_file": max(rss) * 1024 / files if (rss and files) else None,
        }
    for col, ref in (("median_s", "zorvik"), ("median_s", "floor"),
                     ("cold_median_s", "zorvik")):
        base = rows.get(ref, {}).get(col)
        name = ("vs_" if col == "median_s" else "cold_vs_") + ref
        for row in rows.values():
            m = row[col]
            row[name] = m / base if (m is not None and base) else None
    return rows


def fmt(x, how):
    return "—" if x is None else format(x, how)


def markdown_tree(tree, manifest, rows, res, tools):
    st = manifest["stats"]
    cold = any(r["cold_times"] for r in res.values())
    cols = [("median s", "median_s", ".3f"), ("min s", "min_s", ".3f")]
    if cold:
        cols.append(("cold s", "cold_median_s", ".3f"))
    cols += [("peak RSS MiB", "peak_rss_mib", ".1f"), ("B/file", "rss_bytes_per_file", ".0f"),
             ("× zorvik", "vs_zorvik", ".2f")]
    if cold:
        cols.append(("cold × zorvik", "cold_vs_zorvik", ".2f"))
    cols.append(("× floor", "vs_floor", ".2f"))
    out = [f"## {tree}", "",
           f"{st['files']:,} files ({st['bytes'] / 1024**3:.2f} GiB) in {st['folders']} "
           f"folders; {st['same_size_files']:,} files share their size with another; "
           f"{st['duplicate_groups']:,} duplicate groups ({st['duplicate_files']:,} files)"
           + (f"; scale {manifest['scale']}" if manifest.get("scale", 1) != 1 else "") + ".",
           "",
           "| tool | " + " | ".join(c[0] for c in cols) + " | groups | check |",
           "|---|" + "---:|" * len(cols) + "---:|---|"]
    for key in tools:
        row, r = rows[key], res[key]
        if tools[key].parse is None:
            check, groups = "—", "—"
        else:
            check = "ok" if not r["failed_runs"] else \
                f"**FAILED** ({r['failed_runs']} run(s))"
            groups = "—" if r["groups"] is None else str(r["groups"])
        if r["cut_off"]:
            check = r["cut_off"] if check in ("ok", "—") else check + "; " + r["cut_off"]
        out.append(f"| {tools[key].name} | "
                   + " | ".join(fmt(row[k], how) for _, k, how in cols)
                   + f" | {groups} | {check} |")
    rescan = rows.get("rescan", {}).get("median_s")
    if rescan:
        def times(key):
            m = rows.get(key, {}).get("median_s")
            return f"{rescan / m:.2f}×" if m else "—"
        dups = rows.get("dups", {}).get("median_s")
        goal = (f"; goal 1.3 × the walk and one read of the duplicates = {1.3 * dups:.3f} s: "
                + ("met" if rescan <= 1.3 * dups else "**not met**")) if dups else ""
        out += ["", f"Rescan column: {rescan:.3f} s, {times('zorvik')} the first scan, "
                    f"{times('walk')} the walk alone, {times('jdupes')} jdupes{goal}."]
    out.append("")
    return out


def markdown_projection(points, growth, fixed, total, tree):
    out = [f"## {PROJECT_FILES:,}-file projection (zorvik-cli)", "",
           f"Peak RSS of zorvik-cli (largest over its timed runs) on the {tree} tree "
           "made at two sizes:", "",
           "| files | peak RSS MiB | B/file |", "|---:|---:|---:|"]
    for n, b in sorted(points):
        out.append(f"| {n:,} | {b / 1024**2:.1f} | {b / n:.0f} |")
    out += ["",
            "Method: a straight line through the two points, peak RSS = fixed part + "
            "growth × files (both trees come from gen_corpus.py with the same shape, only "
            "--scale differs, so path lengths, folder sizes and the share of duplicates "
            "are alike).",
            f"Growth {growth:.0f} bytes a file, fixed part {fixed / 1024**2:.1f} MiB; "
            f"{PROJECT_FILES:,} files: {fixed / 1024**2:.1f} MiB + {PROJECT_FILES:,} × "
            f"{growth:.0f} B = **{total / 1024**3:.2f} GiB**.", ""]
    return out


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--corpus", default=DEFAULT_CORPUS,
                    help=f"folder holding TREE/ and TREE.manifest.json (default {DEFAULT_CORPUS})")
    ap.add_argument("--trees", default="mixed,samesize,large",
                    help="comma-separated trees to run (default: all three)")
    ap.add_argument("--zorvik", default=DEFAULT_ZORVIK,
                    help=f"zorvik-cli binary (default {DEFAULT_ZORVIK})")
    ap.add_argument("--peers", default="rescan,jdupes,rmlint,fdupes,floor,walk,dups",
                    help="what to run beside zorvik-cli; also available: rmlint-paranoid "
                         "(default: rescan,jdupes,rmlint,fdupes,floor,walk,dups)")
    ap.add_argument("--reps", type=int, default=5, help="timed runs per tool (default 5)")
    ap.add_argument("--warmup", type=int, default=1,
                    help="untimed runs per tool before the timed ones (default 1)")
    ap.add_argument("--generate", action="store_true",
                    help="generate trees that are missing from the corpus folder")
    ap.add_argument("--scale", type=float, default=1.0,
                    help="scale for --generate (default 1)")
    ap.add_argument("--json", metavar="FILE", help="also write all numbers as JSON")
    ap.add_argument("--keep", metavar="DIR",
                    help="keep every tool's output under DIR (default: a temporary "
                         "folder that is removed)")
    ap.add_argument("--timeout", type=float, default=3600,
                    help="seconds before a single run is killed (default 3600)")
    ap.add_argument("--quiet", action="store_true", help="no progress on stderr")
    ap.add_argument("--cold", type=int, nargs="?", const=-1, default=0, metavar="N",
                    help="after the warm runs, N more runs per tool (default: as many as "
                         "--reps) with the page cache dropped before each; needs root")
    ap.add_argument("--project", metavar="DIR",
                    help="folder holding a smaller million tree (--generate makes it at "
                         "scale 0.1): zorvik-cli's peak RSS on it and on the million tree "
                         f"of --corpus gives a linear projection to {PROJECT_FILES:,} files")
    ap.add_argument("--hardlink", action="store_true",
                    help="also replace the copies of a cp -a of the mixed tree by hard links, "
                         "zorvik-cli against jdupes -L: time, space freed, bytes kept")
    args = ap.parse_args(argv)

    def log(msg):
        if not args.quiet:
            print(msg, file=sys.stderr, flush=True)

    if args.reps < 1 or args.warmup < 0:
        ap.error("--reps must be >= 1 and --warmup >= 0")
    cold = args.reps if args.cold == -1 else args.cold
    if cold < 0:
        ap.error("--cold must be >= 0")
    trees = [t for t in args.trees.split(",") if t]
    for t in trees:
        if t not in gen_corpus.ALL_TREES:
            ap.error(f"unknown tree {t!r}")
    if args.project and "million" not in trees:
        ap.error("--project needs the million tree in --trees")
    zorvik = os.path.abspath(args.zorvik)
    if not (os.path.isfile(zorvik) and os.access(zorvik, os.X_OK)):
        print(f"error: zorvik-cli not found or not executable: {zorvik}", file=sys.stderr)
        return 1
    tools, skipped = make_tools(zorvik, [p for p in args.peers.split(",") if p])
    for s in skipped:
        log("note: " + s)

    corpus = os.path.abspath(args.corpus)
    wanted = [(corpus, t, args.scale) for t in trees]
    if args.project:
        wanted.append((os.path.abspath(args.project), "million", 0.1))
    for where, t, scale in wanted:
        if not os.path.exists(gen_corpus.manifest_path(where, t)):
            if not args.generate:
                print(f"error: no {t} tree in {where} (run gen_corpus.py or pass "
                      f"--generate)", file=sys.stderr)
                return 1
            if os.path.lexists(os.path.join(where, t)):
                print(f"error: {os.path.join(where, t)} exists without a manifest "
                      "(an interrupted generation?); remove it first", file=sys.stderr)
                return 1
            os.makedirs(where, exist_ok=True)
            gen_corpus.generate(where, t, scale, quiet=args.quiet)

    no_cold = None
    if cold:
        no_cold = drop_caches()      # find out before the first tree
        if no_cold:
            log(f"note: no cold runs: {no_cold}")
            cold = 0

    workdir = args.keep or tempfile.mkdtemp(prefix="zorvik-bench-")
    os.makedirs(workdir, exist_ok=True)
    report = {"machine": machine_info(), "date": time.strftime("%Y-%m-%d %H:%M:%S"),
              "zorvik": zorvik, "reps": args.reps, "warmup": args.warmup, "cold": cold,
              "no_cold": no_cold,
              "versions": {}, "commands": {}, "skipped": skipped, "trees": {}}
    for key, tool in tools.items():
        report["commands"][key] = tool.command()
        if key not in ("zorvik", "rescan", "floor", "walk", "dups"):
            report["versions"][key] = tool_version(tool.argv("T", "O")[0])

    md, failures, cut_off = [], [], []
    try:
        for t in trees:
            manifest, root, res = bench_tree(t, corpus, tools, args.reps, args.warmup,
                                             workdir, args.timeout, log, cold)
            rows = summarize(res, tools, manifest["stats"]["files"])
            md += markdown_tree(t, manifest, rows, res, tools)
            report["trees"][t] = {"root": root, "stats": manifest["stats"],
                                  "scale": manifest.get("scale"), "tools": {}}
            for key in tools:
                report["trees"][t]["tools"][key] = dict(rows[key], **{
                    "times_s": res[key]["times"], "rss_kib": res[key]["rss_kib"],
                    "cold_times_s": res[key]["cold_times"],
                    "cold_rss_kib": res[key]["cold_rss_kib"], "cut_off": res[key]["cut_off"],
                    "groups": res[key]["groups"], "failed_runs": res[key]["failed_runs"],
                    "problems": res[key]["problems"]})
                if res[key]["problems"]:
                    failures.append((t, tools[key].name, res[key]["problems"]))
                if res[key]["cut_off"]:
                    cut_off.append(f"{tools[key].name} on {t}: {res[key]['cut_off']}")
            if t == "million" and args.project:
                big = res["zorvik"]["rss_kib"] + res["zorvik"]["cold_rss_kib"]
                small_m, _, small = bench_tree(t, os.path.abspath(args.project),
                                               {"zorvik": tools["zorvik"]}, args.reps,
                                               args.warmup, os.path.join(workdir, "small"),
                                               args.timeout, log)
                if small["zorvik"]["problems"]:
                    failures.append((t + " (smaller)", "zorvik-cli",
                                     small["zorvik"]["problems"]))
                if big and small["zorvik"]["rss_kib"]:
                    points = [(manifest["stats"]["files"], max(big) * 1024),
                              (small_m["stats"]["files"], max(small["zorvik"]["rss_kib"]) * 1024)]
                    growth, fixed, total = projection(points)
                    md += markdown_projection(points, growth, fixed, total, t)
                    report["projection"] = {"points": points, "growth_bytes_per_file": growth,
                                            "fixed_bytes": fixed, "files": PROJECT_FILES,
                                            "projected_bytes": total}
                else:
                    md += ["## Projection", "", "No projection: zorvik-cli has no peak RSS "
                           "on one of the two trees.", ""]
            if t == "mixed" and args.hardlink:
                rows = link_bench.bench_hardlink(root, zorvik, workdir, log)
                md += link_bench.markdown(rows)
                report["hardlink"] = rows
                failures += [(t, r["tool"] + " --hardlink", [f"{r['lost_count']} files changed or lost"] + r["lost"])
                             for r in rows if r["lost_count"]]
    finally:
        if not args.keep:
            shutil.rmtree(workdir, ignore_errors=True)

    m = report["machine"]
    head = ["# zorvik-cli benchmark", "",
            f"{report['date']}; {m['cpu']}, {m['cores']} cores, {m['memory']} RAM, "
            f"Linux {m['kernel']}; warm page cache, {args.warmup} warm-up run(s) then "
            f"{args.reps} timed run(s) per tool, round-robin"
            + (f"; then {cold} cold run(s) per tool, the page cache dropped before each "
               f"(`sync; echo 3 > {DROP_CACHES}`)" if cold else "") + ".",
            "B/file is the peak RSS divided by the number of files of the tree.", ""]
    if no_cold:
        head += [f"- note: no cold runs and no cold figures: {no_cold}.", ""]
    head.append("| tool | command | version |")
    head.append("|---|---|---|")
    for key, tool in tools.items():
        head.append(f"| {tool.name} | `{tool.command()}`"
                    + (f" ({tool.note})" if tool.note else "") + " | "
                    + report["versions"].get(key, "") + " |")
    head.append("")
    for s in skipped:
        head.append(f"- note: {s}")
    if skipped:
        head.append("")
    tail_lines = [f"- note: {c}; not counted as a mismatch" for c in cut_off]
    tail_lines += [""] if cut_off else []
    if failures:
        tail_lines += ["## MISMATCHES", ""]
        for t, name, problems in failures:
            tail_lines.append(f"- {t} / {name}:")
            tail_lines += ["      " + p.replace("\n", "\n      ") for p in problems]
        tail_lines.append("")
        tail_lines.append("RESULT: MISMATCH - not every tool found the manifest's "
                          "duplicate groups")
    else:
        tail_lines.append("RESULT: all tools found exactly the manifest's duplicate "
                          "groups on every run")
    print("\n".join(head + md + tail_lines))
    if failures:
        for t, name, problems in failures:
            print(f"MISMATCH {t} / {name}: {problems[1] if len(problems) > 1 else problems[0]}",
                  file=sys.stderr)
    if args.json:
        report["ok"] = not failures
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump(report, f, ensure_ascii=False, indent=1)
            f.write("\n")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
