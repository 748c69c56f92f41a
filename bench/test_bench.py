#!/usr/bin/env python3
"""Unit tests of the benchmark scripts (generator, floor helper, parsers,
comparison, runner plumbing).  No zorvik-cli needed; peers that are not
installed are skipped.  Run: python3 bench/test_bench.py"""

import contextlib
import hashlib
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True   # keep the source folder clean
sys.path.insert(0, HERE)
import floor_read  # noqa: E402
import gen_corpus as gc  # noqa: E402
import run_bench as rb  # noqa: E402

TINY = 0.01


def zorvik_text(groups, nl="\r\n"):
    """Result list in zorvik-cli's format for the given groups of paths."""
    rows = []
    for i, g in enumerate(groups):
        if i:
            rows.append("")
        for k, p in enumerate(g):
            rows.append(f"{1 if k else 0};{os.path.basename(p)};{p};{k + 3};05.11.2018")
    return (nl.join(rows) + nl).encode("utf-8")


def tree_digest(root):
    """One digest over every relative path and file content of a tree."""
    h = hashlib.sha256()
    for d, dirs, files in os.walk(root):
        dirs.sort()
        for n in sorted(files):
            p = os.path.join(d, n)
            h.update(os.path.relpath(p, root).encode() + b"\0")
            with open(p, "rb") as f:
                h.update(hashlib.sha256(f.read()).digest())
    return h.hexdigest()


class TempDirCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="zorvik-bench-test-")

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)


# ------------------------------------------------------------ zorvik parser --

class ZorvikParserTest(unittest.TestCase):
    groups = [["/data/x/a.jpg", "/data/y/a copy.jpg"],
              ["/data/Фото/лето 1.jpg", "/data/b.txt", "/data/c/d/e.txt"]]

    def test_groups_come_back_in_order(self):
        self.assertEqual(rb.parse_zorvik(zorvik_text(self.groups)), self.groups)

    def test_semicolons_in_names_and_folders(self):
        groups = [["/d/a;b.txt", "/d;e/c;d;e.txt"], ["/x;/;y", "/z/;y"]]
        self.assertEqual(rb.parse_zorvik(zorvik_text(groups)), groups)

    def test_nothing_written_means_no_groups(self):
        self.assertEqual(rb.parse_zorvik(b""), [])

    def test_bare_lf_is_rejected(self):
        with self.assertRaisesRegex(rb.OutputError, "LF"):
            rb.parse_zorvik(zorvik_text(self.groups, nl="\n"))

    def test_mixed_line_ends_are_rejected(self):
        data = zorvik_text(self.groups).replace(b"\r\n", b"\n", 1)
        with self.assertRaisesRegex(rb.OutputError, "CR"):
            rb.parse_zorvik(data)

    def test_empty_line_placement(self):
        good = zorvik_text(self.groups)
        for bad, what in ((b"\r\n" + good, "start"),
                          (good.replace(b"\r\n\r\n", b"\r\n\r\n\r\n"), "another empty"),
                          (good + b"\r\n", "after the last")):
            with self.assertRaisesRegex(rb.OutputError, what):
                rb.parse_zorvik(bad)

    def test_bad_fields_are_rejected(self):
        row = "0;a.jpg;/data/x/a.jpg;120;05.11.2018"
        for bad, what in ((row.replace("0;", "2;", 1), "MARK"),
                          (row.replace(";120;", ";1,5;"), "SIZE_KB"),
                          (row.replace("05.11.2018", ""), "DATE"),
                          (row.replace("a.jpg;/", "b.jpg;/"), "CAPTION"),
                          (row.replace(";/data", ";data"), "absolute"),
                          ("0;a.jpg", "expected")):
            with self.assertRaisesRegex(rb.OutputError, what, msg=bad):
                rb.parse_zorvik((bad + "\r\n" + row + "\r\n").encode())

    def test_non_utf8_is_rejected(self):
        data = "0;\xe9.txt;/d/\xe9.txt;1;01.01.2020\r\n".encode("latin-1")
        with self.assertRaisesRegex(rb.OutputError, "UTF-8"):
            rb.parse_zorvik(data)


# ------------------------------------------------------------ peer parsers --

class PeerParserTest(unittest.TestCase):
    def test_blank_separated(self):
        groups = [["/a b/c d.txt", "/Привет/x"], ["/1", "/2", "/3"]]
        text = "\n\n".join("\n".join(g) for g in groups) + "\n\n"
        self.assertEqual(rb.parse_blank_separated(text.encode()), groups)
        self.assertEqual(rb.parse_blank_separated(b""), [])

    def test_rmlint_json(self):
        def item(path, checksum, size, original):
            return {"type": "duplicate_file", "path": path, "checksum": checksum,
                    "size": size, "is_original": original}
        doc = [{"description": "header"},
               item("/a", "c1", 5, True), item("/b", "c1", 5, False),
               item("/c", "c2", 5, True), item("/d", "c2", 5, False),
               item("/e", "c2", 5, False),
               # same key twice in a row: the second original starts a new set
               item("/f", "c3", 9, True), item("/g", "c3", 9, False),
               item("/h", "c3", 9, True), item("/i", "c3", 9, False),
               {"type": "emptyfile", "path": "/z"},
               {"aborted": False, "duplicate_sets": 4}]
        self.assertEqual(rb.parse_rmlint_json(json.dumps(doc).encode()),
                         [["/a", "/b"], ["/c", "/d", "/e"], ["/f", "/g"], ["/h", "/i"]])

    def test_rmlint_without_json_is_an_error(self):
        with self.assertRaises(rb.OutputError):
            rb.parse_rmlint_json(b"")
        with self.assertRaises(rb.OutputError):
            rb.parse_rmlint_json(b"[{")


# -------------------------------------------------------------- comparison --

class CompareTest(unittest.TestCase):
    def test_order_and_normalisation_do_not_matter(self):
        a, _ = rb.as_set([["/t/x", "/t/y"], ["/t/p", "/t//q", "/t/r"]])
        b, _ = rb.as_set([["/t/r", "/t/./q", "/t/p"], ["/t/y", "/t/x"]])
        self.assertEqual(a, b)
        self.assertEqual(rb.compare(a, b), ([], []))

    def test_repeated_paths_are_reported(self):
        found, repeated = rb.as_set([["/t/x", "/t/y"], ["/t/x", "/t/z"]])
        self.assertEqual(repeated, {"/t/x"})
        lines = rb.describe_mismatch(found, found, repeated, "/t")
        self.assertTrue(any("more than once" in ln and "'x'" in ln for ln in lines))

    def test_split_group_is_described(self):
        expected = {frozenset({"/t/a", "/t/b", "/t/c"})}
        found = {frozenset({"/t/a", "/t/b"})}
        missing, extra = rb.compare(found, expected)
        self.assertEqual(missing, [["/t/a", "/t/b", "/t/c"]])
        self.assertEqual(extra, [["/t/a", "/t/b"]])
        text = "\n".join(rb.describe_mismatch(found, expected, set(), "/t"))
        self.assertIn("1 expected group(s) missing, 1 unexpected", text)
        self.assertIn("found instead as {'a', 'b'}", text)

    def test_expected_set_is_absolute(self):
        manifest = {"duplicate_groups": [["a/x", "b/y"]]}
        self.assertEqual(rb.expected_set(manifest, "/root"),
                         {frozenset({"/root/a/x", "/root/b/y"})})


# --------------------------------------------------------------- generator --

class ContentTest(unittest.TestCase):
    def test_patches_change_exactly_their_bytes(self):
        size = gc.CHUNK + 1000                 # crosses a chunk boundary
        patches = [(3, 0x01), (gc.CHUNK - 1, 0x80), (gc.CHUNK + 5, 0xFF)]
        plain = b"".join(gc.content_chunks(42, size))
        patched = b"".join(gc.content_chunks(42, size, patches=patches))
        self.assertEqual(len(patched), size)
        diff = [i for i in range(size) if plain[i] != patched[i]]
        self.assertEqual(diff, [p for p, _ in patches])
        for off, x in patches:
            self.assertEqual(plain[off] ^ patched[off], x)

    def test_magic_and_determinism(self):
        a = b"".join(gc.content_chunks(7, 5000, magic=b"MAGIC"))
        b = b"".join(gc.content_chunks(7, 5000, magic=b"MAGIC"))
        c = b"".join(gc.content_chunks(8, 5000, magic=b"MAGIC"))
        self.assertEqual(a, b)
        self.assertTrue(a.startswith(b"MAGIC"))
        self.assertEqual(len(a), 5000)
        self.assertNotEqual(a, c)


class PlanTest(unittest.TestCase):
    """Properties of the full-size trees, checked on the plan (nothing written)."""

    def test_samesize(self):
        plan = gc.make_plan("samesize")
        st = gc.plan_stats(plan)
        self.assertEqual(st["files"], 3050)
        self.assertEqual(st["duplicate_groups"], 50)
        self.assertTrue(all(len(g) == 2 for g in plan.groups()))
        self.assertEqual({s for _, s in plan.all_files()}, {gc.SAMESIZE_BYTES})

    def test_mixed(self):
        plan = gc.make_plan("mixed")
        st = gc.plan_stats(plan)
        self.assertTrue(45_000 <= st["files"] <= 55_000, st)
        self.assertLess(st["bytes"], 4 * 1024**3)
        self.assertTrue(200 <= st["folders"] <= 400, st)
        self.assertTrue(5 <= st["max_depth"] <= 6, st)
        share = st["redundant_copies"] / st["files"]
        self.assertTrue(0.13 <= share <= 0.17, share)
        sizes = [len(g) for g in plan.groups()]
        self.assertTrue(any(n >= 3 for n in sizes) and max(sizes) <= 4)
        # copies live in another folder than their original
        for pf in plan.files:
            for folder, _, _ in pf.copies:
                self.assertIsNot(folder, pf.folder)
        # equal size, different content: edited versions and plain collisions
        edited = [s for s in plan.files if s.patches]
        self.assertTrue(edited)
        for s in edited:
            offsets = [off for off, _ in s.patches]
            self.assertEqual(len(offsets), len(set(offsets)))
            self.assertTrue(all(x != 0 and 0 <= off < s.size for off, x in s.patches))
        kinds = {}
        for _, size in plan.all_files():
            kinds[size] = kinds.get(size, 0) + 1
        distinct_by_size = {}
        for s in plan.files:
            distinct_by_size.setdefault(s.size, set()).add((s.seed, s.patches))
        self.assertGreater(sum(1 for v in distinct_by_size.values() if len(v) > 1), 100)
        # file size classes of the tree
        all_sizes = [s for _, s in plan.all_files()]
        self.assertGreater(sum(1 for s in all_sizes if 1024 <= s <= 64 * 1024), 25_000)
        self.assertGreater(sum(1 for s in all_sizes if 100 * 1024 <= s <= 5 * 1024**2), 900)
        self.assertTrue(any(s >= 10 * 1024**2 for s in all_sizes))
        self.assertEqual(min(all_sizes) > 0, True)

    def test_large(self):
        plan = gc.make_plan("large")
        st = gc.plan_stats(plan)
        self.assertTrue(24 <= st["files"] <= 48, st)
        self.assertLess(st["bytes"], 4 * 1024**3)
        self.assertEqual(st["duplicate_groups"], 4)
        near = [s for s in plan.files if s.patches]
        self.assertGreaterEqual(len(near), 10)
        for s in near:
            twins = [o for o in plan.files
                     if o.seed == s.seed and o.size == s.size and not o.patches]
            self.assertEqual(len(twins), 1, s.name)
            self.assertTrue(20 * 10**6 * 0.9 <= s.size <= 200 * 10**6 * 1.1)
            for off, _ in s.patches:
                self.assertGreaterEqual(off, s.size - 64 * 1024)

    def test_million(self):
        plan = gc.make_plan("million", 0.1)
        st = gc.plan_stats(plan)
        self.assertEqual(st["files"], 100_000)
        self.assertTrue(0.09 <= st["redundant_copies"] / st["files"] <= 0.11, st)
        self.assertGreater(st["same_size_files"], 90_000)
        # with the tree in /work/corpus/million/ paths are about 70 characters
        self.assertTrue(45 <= st["mean_path_chars"] <= 55, st)
        self.assertTrue(all(2 * 1024 <= s <= 48 * 1024 for _, s in plan.all_files()))
        # no two distinct files start at the same place of the pool
        offsets = {(pf.seed * gc.POOL_STEP) % (gc.POOL_BYTES - gc.POOL_MARGIN)
                   for pf in plan.files if not pf.patches}
        self.assertEqual(len(offsets), sum(1 for pf in plan.files if not pf.patches))
        edited = [pf for pf in plan.files if pf.patches]
        self.assertEqual(len(edited), 1000)
        for pf in edited:
            self.assertTrue(all(pf.size - 512 <= off < pf.size for off, _ in pf.patches))
        self.assertFalse(any(pf.copies for pf in edited))

    def test_same_arguments_same_plan(self):
        for tree in gc.TREES:
            a, b = gc.make_plan(tree, TINY), gc.make_plan(tree, TINY)
            self.assertEqual(a.groups(), b.groups())
            self.assertEqual(list(a.all_files()), list(b.all_files()))
        self.assertNotEqual(gc.make_plan("mixed", TINY, seed=1).groups(),
                            gc.make_plan("mixed", TINY).groups())


class GenerateTest(TempDirCase):
    def test_trees_match_their_manifests(self):
        for tree in gc.ALL_TREES:
            gc.generate(self.tmp, tree, TINY, quiet=True)
            self.assertEqual(gc.verify(self.tmp, tree), [], tree)

    def test_tree_contents(self):
        gc.generate(self.tmp, "mixed", 0.02, quiet=True)
        root = os.path.join(self.tmp, "mixed")
        files, problems = gc.scan_tree(root)
        self.assertEqual(problems, [])
        names = [os.path.basename(r) for r in files]
        self.assertTrue(any(" " in n for n in names))
        self.assertTrue(any(any("\u0400" <= ch <= "\u04ff" for ch in n) for n in names))
        self.assertFalse(any(os.path.islink(os.path.join(root, r)) for r in files))

    def test_deterministic_bytes(self):
        a, b = os.path.join(self.tmp, "a"), os.path.join(self.tmp, "b")
        for tree in gc.ALL_TREES:
            gc.generate(a, tree, TINY, quiet=True)
            gc.generate(b, tree, TINY, quiet=True)
            self.assertEqual(tree_digest(os.path.join(a, tree)),
                             tree_digest(os.path.join(b, tree)), tree)
            with open(gc.manifest_path(a, tree)) as fa, open(gc.manifest_path(b, tree)) as fb:
                self.assertEqual(json.load(fa), json.load(fb))

    def test_existing_tree_needs_force(self):
        gc.generate(self.tmp, "samesize", TINY, quiet=True)
        with self.assertRaises(FileExistsError):
            gc.generate(self.tmp, "samesize", TINY, quiet=True)
        gc.generate(self.tmp, "samesize", TINY, force=True, quiet=True)
        self.assertEqual(gc.verify(self.tmp, "samesize"), [])

    def test_verify_notices_a_changed_file(self):
        gc.generate(self.tmp, "samesize", TINY, quiet=True)
        group = gc.load_manifest(self.tmp, "samesize")["duplicate_groups"][0]
        path = os.path.join(self.tmp, "samesize", group[0])
        with open(path, "r+b") as f:
            f.seek(100)
            b = f.read(1)
            f.seek(100)
            f.write(bytes([b[0] ^ 1]))
        self.assertTrue(gc.verify(self.tmp, "samesize"))


# ------------------------------------------------------------------- floor --

class FloorTest(TempDirCase):
    def test_candidates_are_the_files_sharing_a_size(self):
        gc.generate(self.tmp, "mixed", TINY, quiet=True)
        root = os.path.join(self.tmp, "mixed")
        # things the walk must leave out
        os.makedirs(os.path.join(root, ".hidden"))
        with open(os.path.join(root, ".hidden", "x"), "wb") as f:
            f.write(b"q" * 4096)
        for n in ("empty 1", "empty 2"):
            open(os.path.join(root, n), "wb").close()
        os.symlink(os.path.join(root, "Music"), os.path.join(root, "link"))
        by_size = {}
        for d, dirs, files in os.walk(root):
            dirs[:] = [x for x in dirs if not x.startswith(".")]
            for n in files:
                p = os.path.join(d, n)
                if not os.path.islink(p) and os.path.getsize(p) > 0:
                    by_size.setdefault(os.path.getsize(p), []).append(p)
        want = sorted(p for ps in by_size.values() if len(ps) > 1 for p in ps)
        n, got = floor_read.candidates([root])
        self.assertEqual(sorted(got), want)
        self.assertEqual(n, sum(len(v) for v in by_size.values()))
        self.assertEqual(floor_read.read_all(got), sum(os.path.getsize(p) for p in want))
        # --read-list: the walk, then only the listed files
        listed = os.path.join(self.tmp, "list")
        with open(listed, "w", encoding="utf-8") as f:
            f.write(want[0] + "\n" + want[-1] + "\n")
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            floor_read.main(["--read-list", listed, root])
        self.assertIn(f"bytes_read={os.path.getsize(want[0]) + os.path.getsize(want[-1])}",
                      out.getvalue())


# ------------------------------------------------------------------ runner --

@unittest.skipUnless(os.access(rb.GNU_TIME, os.X_OK), "GNU time is not installed")
class RunOnceTest(TempDirCase):
    def run_py(self, code, timeout=60):
        out, err = os.path.join(self.tmp, "o"), os.path.join(self.tmp, "e")
        return rb.run_once([sys.executable, "-c", code], out, err, self.tmp, None, timeout)

    def test_peak_rss_and_exit_status(self):
        _, rss, rc = self.run_py("b = bytearray(96 << 20); b[::4096] = b'x' * len(b[::4096])")
        self.assertEqual(rc, 0)
        self.assertGreaterEqual(rss, 96 * 1024)
        _, _, rc = self.run_py("raise SystemExit(3)")
        self.assertEqual(rc, 3)

    def test_a_hanging_run_is_killed(self):
        _, _, rc = self.run_py("import time; time.sleep(60)", timeout=0.5)
        self.assertEqual(rc, -9)


@unittest.skipUnless(os.access(rb.GNU_TIME, os.X_OK), "GNU time is not installed")
class BenchTreeTest(TempDirCase):
    def python_tool(self, name, code):
        return rb.Tool(name, lambda t, o: [sys.executable, "-c", code])

    def test_cold_rounds_drop_the_cache_before_every_run(self):
        gc.generate(self.tmp, "samesize", TINY, quiet=True)
        tools = {"a": self.python_tool("a", "b = bytearray(32 << 20); b[::4096] = "
                                            "b'x' * len(b[::4096])"),
                 "b": self.python_tool("b", "pass")}
        drops = []
        _, _, res = rb.bench_tree("samesize", self.tmp, tools, 1, 1, self.tmp, 60,
                                  lambda m: None, cold=2, drop=lambda: drops.append(1))
        self.assertEqual(len(drops), 4)
        for r in res.values():
            self.assertEqual((len(r["times"]), len(r["cold_times"])), (1, 2))
        rows = rb.summarize(res, tools, files=31)
        self.assertGreater(rows["a"]["rss_bytes_per_file"], (32 << 20) / 31)
        with self.assertRaisesRegex(RuntimeError, "no cache here"):
            rb.bench_tree("samesize", self.tmp, tools, 1, 0, self.tmp, 60, lambda m: None,
                          cold=1, drop=lambda: "no cache here")

    def test_a_run_past_the_timeout_is_cut_off_not_failed(self):
        gc.generate(self.tmp, "samesize", TINY, quiet=True)
        tools = {"slow": self.python_tool("slow", "import time; time.sleep(60)")}
        _, _, res = rb.bench_tree("samesize", self.tmp, tools, 3, 1, self.tmp, 0.5,
                                  lambda m: None, cold=3, drop=lambda: None)
        r = res["slow"]
        self.assertIn("cut off after 0.5 s (warm-up)", r["cut_off"])
        self.assertEqual((r["failed_runs"], r["times"], r["cold_times"]), (0, [], []))

    def test_drop_caches_says_why_it_cannot(self):
        old = rb.DROP_CACHES
        rb.DROP_CACHES = os.path.join(self.tmp, "none", "drop_caches")
        try:
            self.assertIn("cannot write", rb.drop_caches())
        finally:
            rb.DROP_CACHES = old


class ProjectionTest(unittest.TestCase):
    def test_line_through_the_smallest_and_largest_tree(self):
        mib = 1 << 20
        growth, fixed, total = rb.projection([(1_000_000, 280 * mib), (100_000, 37 * mib),
                                              (500_000, 999 * mib)])
        self.assertAlmostEqual(growth, 243 * mib / 900_000)
        self.assertAlmostEqual(fixed, 37 * mib - growth * 100_000)
        self.assertAlmostEqual(total, fixed + growth * 10_000_000)
        with self.assertRaises(ValueError):
            rb.projection([(5, 1), (5, 2)])


@unittest.skipUnless(shutil.which("jdupes") and shutil.which("fdupes") and
                     shutil.which("rmlint"), "peers not installed")
class PeersTest(TempDirCase):
    def setUp(self):
        super().setUp()
        self.tools, _ = rb.make_tools("/nonexistent/zorvik-cli",
                                      ["jdupes", "rmlint", "fdupes"])
        del self.tools["zorvik"]

    def test_peer_options_on_a_small_tree(self):
        # two empty files must not be reported by any peer
        gc.generate(self.tmp, "mixed", TINY, quiet=True)
        root = os.path.join(self.tmp, "mixed")
        for n in ("empty 1", "empty 2"):
            open(os.path.join(root, n), "wb").close()
        manifest, _, res = rb.bench_tree("mixed", self.tmp, self.tools, 1, 0,
                                         os.path.join(self.tmp, "work"), 120, lambda m: None)
        for key, r in res.items():
            self.assertEqual(r["problems"], [], key)
            self.assertEqual(r["groups"], len(manifest["duplicate_groups"]), key)

    def test_a_wrong_manifest_fails_every_peer(self):
        gc.generate(self.tmp, "samesize", TINY, quiet=True)
        mpath = gc.manifest_path(self.tmp, "samesize")
        with open(mpath) as f:
            manifest = json.load(f)
        manifest["duplicate_groups"][0].pop()
        with open(mpath, "w") as f:
            json.dump(manifest, f)
        _, _, res = rb.bench_tree("samesize", self.tmp, self.tools, 1, 0,
                                  os.path.join(self.tmp, "work"), 120, lambda m: None)
        for key, r in res.items():
            self.assertEqual(r["failed_runs"], 1, key)
            self.assertTrue(any("missing" in p for p in r["problems"]), key)

    def test_rmlint_leaves_nothing_in_its_folder(self):
        gc.generate(self.tmp, "samesize", TINY, quiet=True)
        work = os.path.join(self.tmp, "work")
        rb.bench_tree("samesize", self.tmp, {"rmlint": self.tools["rmlint"]}, 1, 0,
                      work, 120, lambda m: None)
        left = sorted(os.listdir(os.path.join(work, "samesize", "rmlint")))
        self.assertEqual(left, ["result.out", "rss.txt", "stderr", "stdout"])


class CommandLineTest(TempDirCase):
    def test_runner_refuses_a_missing_zorvik(self):
        p = subprocess.run([sys.executable, os.path.join(HERE, "run_bench.py"), "--corpus",
                            self.tmp, "--zorvik", os.path.join(self.tmp, "none")],
                           capture_output=True, text=True)
        self.assertEqual(p.returncode, 1)
        self.assertIn("zorvik-cli not found", p.stderr)

    def test_smoke_test_fails_without_zorvik(self):
        p = subprocess.run([sys.executable, os.path.join(HERE, "smoke_test.py"),
                            os.path.join(self.tmp, "none")], capture_output=True, text=True)
        self.assertEqual(p.returncode, 1)
        self.assertIn("FAIL", p.stdout)


if __name__ == "__main__":
    unittest.main()
