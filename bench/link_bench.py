"""The --hardlink column of the benchmark: each tool replaces the copies of a
fresh `cp -a` of a tree by hard links; timed, the space freed measured with
`du -sk` (which counts a file with several names once) and `df`, and every
file of the tree checked afterwards to still hold its bytes.

    zorvik-cli scan --output L TREE && zorvik-cli process L --hardlink --yes
    jdupes -r -L -q TREE
"""

import hashlib
import os
import shutil
import subprocess
import time


def digests(root):
    """Relative path -> blake2b of every regular file under root."""
    out = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            h = hashlib.blake2b(digest_size=16)
            with open(path, "rb") as f:
                for chunk in iter(lambda: f.read(1 << 20), b""):
                    h.update(chunk)
            out[os.path.relpath(path, root)] = h.hexdigest()
    return out


def du_kib(path):
    return int(subprocess.run(["du", "-sk", path], capture_output=True, text=True, check=True).stdout.split()[0])


def df_used_kib(path):
    st = os.statvfs(path)
    return (st.f_blocks - st.f_bfree) * st.f_frsize // 1024


def commands(zorvik, jdupes):
    """Tool name -> function(tree, work) giving the argv lists to run in order."""
    tools = {"zorvik-cli --hardlink": lambda tree, work: [
        [zorvik, "scan", "--output", os.path.join(work, "list.txt"), tree],
        [zorvik, "process", os.path.join(work, "list.txt"), "--hardlink", "--yes"]]}
    if jdupes:
        tools["jdupes -L"] = lambda tree, work: [[jdupes, "-r", "-L", "-q", tree]]
    return tools


def bench_hardlink(root, zorvik, workdir, log):
    """Runs every tool once on its own copy of root; returns the report rows."""
    log(f"[hardlink] hashing {root}")
    original = digests(root)
    rows = []
    for name, make in commands(zorvik, shutil.which("jdupes")).items():
        work = os.path.join(workdir, "hardlink")
        tree = os.path.join(work, "tree")
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        subprocess.run(["cp", "-a", root, tree], check=True)
        os.sync()
        du_before, df_before = du_kib(tree), df_used_kib(work)
        start, codes = time.monotonic(), []
        for argv in make(tree, work):
            codes.append(subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode)
        wall = time.monotonic() - start
        os.sync()
        du_after, df_after = du_kib(tree), df_used_kib(work)
        after = digests(tree)
        lost = sorted(p for p, d in original.items() if after.get(p) != d)
        log(f"[hardlink] {name:24} {wall:8.3f} s, freed {(du_before - du_after) / 1024:.1f} MiB, "
            f"{len(lost)} files changed or lost")
        rows.append({"tool": name, "seconds": wall, "exit": codes, "du_freed_kib": du_before - du_after,
                     "df_freed_kib": df_before - df_after, "files": len(original), "lost": lost[:5],
                     "lost_count": len(lost)})
        shutil.rmtree(work, ignore_errors=True)
    return rows


def markdown(rows):
    lines = ["## hardlink: copies replaced by hard links (mixed tree, one run each on a fresh `cp -a`)", "",
             "| tool | time (s) | exit | freed, du -sk (MiB) | freed, df (MiB) | files with other bytes or gone |",
             "|---|---:|---|---:|---:|---:|"]
    for r in rows:
        lines.append(f"| {r['tool']} | {r['seconds']:.2f} | {','.join(map(str, r['exit']))} | "
                     f"{r['du_freed_kib'] / 1024:.1f} | {r['df_freed_kib'] / 1024:.1f} | "
                     f"{r['lost_count']} of {r['files']} |")
    lines.append("")
    return lines
