#!/usr/bin/env python3
"""Attacks on zorvik-cli by a hostile second user of the machine.

Run as root:  scripts/attack.py build/zorvik-cli [ATTACK ...]

The tree under attack belongs to the unprivileged user nobody, who plants
links, swaps folders and edits files while root runs zorvik-cli. Root's own
files (the sentinels) are checksummed before and after each attack; an
attack is held when nothing outside the rows the user chose changed and every
refusal was a message with exit status 1.

Everything happens in a private mount namespace, on a tmpfs of its own
(device nodes and mounts included): nothing here touches the machine's own
/dev, /etc or the caller's home and trash. Prints one line per attack:
its name, "held" or "BROKEN", and what was seen; timings are printed as
figures only, never judged.
"""
import ctypes
import hashlib
import os
import resource
import shutil
import stat
import subprocess
import sys
import threading
import time

NOBODY = 65534
BASE = "/tmp/zorvik-attack"
CLI = ""


# ------------------------------------------------------------------ setting --

def private_namespace():
    """Runs this script again inside a private mount namespace on a tmpfs."""
    if os.environ.get("ZORVIK_ATTACK_NS") == "1":
        os.makedirs(BASE, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4g,mode=755", "tmpfs", BASE], check=True)
        return
    if os.getuid() != 0:
        sys.exit("attack.py: run as root (it acts as root and as nobody)")
    env = dict(os.environ, ZORVIK_ATTACK_NS="1")
    code = subprocess.call(["unshare", "-m", "--propagation", "private", sys.executable] + sys.argv, env=env)
    try:
        os.rmdir(BASE)
    except OSError:
        pass
    sys.exit(code)


class Stage:
    """A fresh folder for one attack: root's secrets, nobody's home, a shared
    sticky folder like /tmp, and root's own home with its trash."""

    count = 0

    def __init__(self):
        Stage.count += 1
        self.top = f"{BASE}/{Stage.count}"
        self.secret = f"{self.top}/root"        # root's, 0700
        self.home = f"{self.top}/home"          # nobody's
        self.shared = f"{self.top}/shared"      # 1777
        self.roothome = f"{self.top}/roothome"  # HOME and trash of the run
        for d in (self.secret, self.home, self.shared, self.roothome):
            os.makedirs(d)
        os.chmod(self.top, 0o755)
        os.chmod(self.secret, 0o700)
        os.chown(self.home, NOBODY, NOBODY)
        os.chmod(self.shared, 0o1777)
        self.write(f"{self.secret}/secret.txt", b"root's secret\n", mode=0o600)
        os.makedirs(f"{self.secret}/profile.d")
        self.write(f"{self.secret}/profile.d/keep.sh", b"echo root\n")
        # Root's content cache changes with every scan: it lies outside the zones checked.
        self.env = dict(os.environ, HOME=self.roothome, XDG_DATA_HOME=f"{self.roothome}/.local/share",
                        XDG_CONFIG_HOME=f"{self.roothome}/.config", XDG_CACHE_HOME=f"{self.top}/rootcache",
                        LC_ALL="C.UTF-8")
        self.before = None

    @staticmethod
    def write(path, data, mode=0o644, owner=None):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, mode)
        if owner is not None:
            os.chown(path, owner, owner)

    def nobody_file(self, rel, data, mode=0o644):
        """A file of nobody's in nobody's home, folders made as nobody's."""
        path = f"{self.home}/{rel}"
        parts = rel.split("/")[:-1]
        for i in range(1, len(parts) + 1):
            d = f"{self.home}/{'/'.join(parts[:i])}"
            if not os.path.isdir(d):
                os.mkdir(d)
                os.chown(d, NOBODY, NOBODY)
        self.write(path, data, mode, NOBODY)
        return path

    def snapshot(self, where=None):
        """Every entry under root's zones: type, mode, owner, links and a checksum."""
        seen = {}
        for zone in where or (self.secret, self.roothome):
            for folder, dirs, files in os.walk(zone):
                for name in dirs + files:
                    p = os.path.join(folder, name)
                    st = os.lstat(p)
                    digest = ""
                    if stat.S_ISREG(st.st_mode):
                        with open(p, "rb") as f:
                            digest = hashlib.sha256(f.read()).hexdigest()
                    seen[p] = (stat.S_IFMT(st.st_mode), stat.S_IMODE(st.st_mode), st.st_uid, st.st_nlink, digest)
        return seen

    def guard(self, where=None):
        self.zones = where
        self.before = self.snapshot(where)

    def changed(self):
        after = self.snapshot(self.zones)
        return sorted(set(after.items()) ^ set(self.before.items()))

    def cli(self, *args, timeout=120, user=None, limits=None, stdin=subprocess.DEVNULL):
        def preexec():
            for resource_id, value in (limits or {}).items():
                resource.setrlimit(resource_id, (value, value))
        start = time.monotonic()
        try:
            r = subprocess.run([CLI, *args], env=self.env, capture_output=True, timeout=timeout, stdin=stdin,
                               user=user, group=user, extra_groups=[] if user else None, preexec_fn=preexec)
            return r.returncode, r.stdout, r.stderr.decode(errors="replace"), time.monotonic() - start
        except subprocess.TimeoutExpired:
            return "timeout", b"", "", time.monotonic() - start


def as_nobody(argv):
    return subprocess.run(argv, user=NOBODY, group=NOBODY, extra_groups=[], capture_output=True)


class Loop:
    """`step` run again and again as nobody in a thread until stopped."""

    def __init__(self, step):
        self.step, self.stop_now, self.rounds = step, False, 0

    def __enter__(self):
        def run():
            pid = os.fork()
            if pid == 0:
                os.setgroups([])
                os.setgid(NOBODY)
                os.setuid(NOBODY)
                while True:
                    try:
                        self.step()
                    except OSError:
                        pass
            self.child = pid
        run()
        return self

    def __exit__(self, *exc):
        os.kill(self.child, 9)
        os.waitpid(self.child, 0)


def list_line(path, marked, size_kb="1"):
    name = os.path.basename(path)
    return f"{1 if marked else 0};{name};{path};{size_kb};01.01.2024\r\n"


def write_list(path, groups):
    """groups: lists of (path, marked)."""
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write("\r\n".join("".join(list_line(p, m) for p, m in g).rstrip("\r\n") for g in groups) + "\r\n")


RESULTS = []


def report(name, held, seen):
    RESULTS.append((name, held, seen))
    print(f"{name:<44} {'held' if held else 'BROKEN':<7} {seen}", flush=True)


def outcome(code, err, changes):
    first = err.strip().splitlines()[0] if err.strip() else ""
    return f"exit {code}; {len(changes)} root entries changed" + (f"; '{first[:110]}'" if first else "")


# --------------------------------------------------------- second round --

def a01_output_link():
    s = Stage()
    s.nobody_file("t/a", b"same")
    s.nobody_file("t/b", b"same")
    cases = {
        "link to a root file": lambda f: os.symlink(f"{s.secret}/secret.txt", f),
        "dangling link into root's folder": lambda f: os.symlink(f"{s.secret}/planted.txt", f),
        "nobody's own 0666 file": lambda f: (open(f, "w").close(), os.chmod(f, 0o666)),
    }
    for what, plant in cases.items():
        out = f"{s.shared}/list-{len(what)}.txt"
        pid = os.fork()
        if pid == 0:
            os.setgroups([]), os.setgid(NOBODY), os.setuid(NOBODY)
            plant(out)
            os._exit(0)
        os.waitpid(pid, 0)
        s.guard()
        code, _, err, _ = s.cli("scan", f"{s.home}/t", "--output", out)
        changes = s.changed()
        mine = os.lstat(out)
        kept = stat.S_ISLNK(mine.st_mode) or (mine.st_uid == NOBODY and mine.st_size == 0)
        report(f"1 --output, {what}", code == 1 and not changes and kept, outcome(code, err, changes))
    # A folder above the output swapped for a link to root's folder.
    os.symlink(s.secret, f"{s.home}/out")
    os.lchown(f"{s.home}/out", NOBODY, NOBODY)
    s.guard()
    code, _, err, _ = s.cli("scan", f"{s.home}/t", "--output", f"{s.home}/out/list.txt")
    changes = s.changed()
    report("1 --output under a folder swapped for a link", code == 1 and not changes, outcome(code, err, changes))
    # A FIFO of root's without a reader.
    os.mkfifo(f"{s.top}/fifo")
    code, _, err, took = s.cli("scan", f"{s.home}/t", "--output", f"{s.top}/fifo", timeout=10)
    report("1 --output to a FIFO nobody reads", code == 1, f"exit {code} after {took:.2f} s; '{err.strip()[:80]}'")


def a02_move_destination():
    s = Stage()
    groups = []
    for i in range(200):
        keep = s.nobody_file(f"t/keep/f{i:03}", b"x%d" % i)
        copy = s.nobody_file(f"t/copy/f{i:03}", b"x%d" % i)
        groups.append([(keep, False), (copy, True)])
    write_list(f"{s.top}/list.txt", groups)
    os.makedirs(f"{s.home}/dest")
    os.chown(f"{s.home}/dest", NOBODY, NOBODY)
    dest, real = f"{s.home}/dest", f"{s.home}/dest.real"

    def swap():
        os.rename(dest, real)
        os.symlink(f"{s.secret}/profile.d", dest)
        time.sleep(0.002)
        os.unlink(dest)
        os.rename(real, dest)
        time.sleep(0.002)

    s.guard()
    with Loop(swap):
        code, _, err, _ = s.cli("process", f"{s.top}/list.txt", "--move", dest, "--yes")
    changes = s.changed()
    report("2 --move, destination swapped in a loop", not changes, outcome(code, err, changes))

    # A missing deep destination whose first folder is swapped for a link.
    s2 = Stage()
    s2.nobody_file("t/a", b"same")
    b = s2.nobody_file("t/b", b"same")
    write_list(f"{s2.top}/list.txt", [[(f"{s2.home}/t/a", False), (b, True)]])
    d1 = f"{s2.home}/d1"

    def graft():
        try:
            os.symlink(s2.secret, d1)
        except FileExistsError:
            pass
        time.sleep(0.002)
        try:
            os.unlink(d1)
        except IsADirectoryError:
            pass

    s2.guard()
    with Loop(graft):
        code, _, err, _ = s2.cli("process", f"{s2.top}/list.txt", "--move", f"{d1}/d2/d3", "--yes")
    changes = s2.changed()
    report("2 --move, missing deep destination, swapped", not changes, outcome(code, err, changes))


def a03_grafted_root_folder():
    for mode in ("--remove", "--recycle", "--move"):
        s = Stage()
        s.nobody_file("t/a", b"dup")
        s.nobody_file("t/sub/x", b"dup")
        code, _, err, _ = s.cli("scan", f"{s.home}/t", "--output", f"{s.top}/list.txt")
        # A folder of root's in a folder nobody may write: renamed within it,
        # it needs no right to the folder itself.
        rootdir = f"{s.home}/t/rootdir"
        os.makedirs(rootdir)
        s.write(f"{rootdir}/x", b"dup", mode=0o600)
        as_nobody(["mv", f"{s.home}/t/sub", f"{s.home}/t/sub.old"])
        as_nobody(["mv", rootdir, f"{s.home}/t/sub"])
        s.guard([s.secret, s.roothome, f"{s.home}/t/sub"])
        args = [mode] + ([f"{s.top}/dest"] if mode == "--move" else [])
        code, _, err, _ = s.cli("process", f"{s.top}/list.txt", *args, "--delete-empty-folders", "--yes")
        changes = s.changed()
        report(f"3 root folder grafted onto a row, {mode}", code == 1 and not changes, outcome(code, err, changes))


def a04_root_swapped_for_link():
    s = Stage()
    s.write(f"{s.secret}/stuff/a", b"root dup")
    s.write(f"{s.secret}/stuff/b", b"root dup")
    os.symlink(f"{s.secret}/stuff", f"{s.home}/tree")
    os.lchown(f"{s.home}/tree", NOBODY, NOBODY)
    code, out, err, _ = s.cli("scan", f"{s.home}/tree")
    listed = s.secret.encode() in out
    report("4 scan root swapped for nobody's link", code == 1 and not listed,
           f"exit {code}; root's files listed: {listed}; '{err.strip()[:90]}'")


class Inotify:
    """Counts the opens of files, through the kernel's inotify."""

    def __init__(self, paths):
        self.libc = ctypes.CDLL("libc.so.6", use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK)
        for p in paths:
            self.libc.inotify_add_watch(self.fd, p.encode(), 0x20)  # IN_OPEN

    def opens(self):
        count = 0
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return count
            at = 0
            while at < len(data):
                length = int.from_bytes(data[at + 12:at + 16], "little")
                count += 1
                at += 16 + length


def a05_first_look_through_link():
    s = Stage()
    for i in range(40):
        s.nobody_file(f"t/f/file{i}", bytes([i]) * 1024)
        s.nobody_file(f"t/g/file{i}", bytes([i]) * 1024)
    os.makedirs(f"{s.secret}/f")
    os.mkfifo(f"{s.secret}/f/file0")
    os.mknod(f"{s.secret}/f/file1", 0o600 | stat.S_IFCHR, os.makedev(1, 3))
    s.write(f"{s.secret}/f/file2", bytes([2]) * 1024, mode=0o600)
    watch = Inotify([f"{s.secret}/f/file0", f"{s.secret}/f/file1", f"{s.secret}/f/file2"])
    f, aside = f"{s.home}/t/f", f"{s.home}/t/f.aside"

    def swap():
        os.rename(f, aside)
        os.symlink(f"{s.secret}/f", f)
        time.sleep(0.003)
        os.unlink(f)
        os.rename(aside, f)
        time.sleep(0.001)

    runs = 15
    with Loop(swap):
        for _ in range(runs):
            s.cli("scan", f"{s.home}/t", timeout=60)
    opened = watch.opens()
    report("5 first look through a folder swapped for a link", opened == 0,
           f"{runs} scans; root's FIFO, device and 0600 file opened {opened} times")


def a06_protected_through_link():
    s = Stage()
    s.nobody_file("pics/a.jpg", b"photo")
    s.nobody_file("other/a.jpg", b"photo")
    os.symlink(f"{s.home}/pics", f"{s.home}/plink")
    os.lchown(f"{s.home}/plink", NOBODY, NOBODY)
    # A user's own links, in the user's own run (as root, a user's link to an
    # absolute path is refused by design).
    code, out, err, _ = s.cli("scan", "--protect", f"{s.home}/plink", f"{s.home}/other", f"{s.home}/plink",
                              user=NOBODY)
    protected_marked = any(line.startswith(b"1;") and b"/pics/" in line for line in out.splitlines())
    report("6 protected folder named through a link", not protected_marked and code == 0,
           f"exit {code}; the protected copy marked: {protected_marked}")
    s.nobody_file("r1/x", b"nested")
    s.nobody_file("r2/x", b"nested")
    os.symlink(f"{s.home}/r2", f"{s.home}/r1/lnk")
    os.lchown(f"{s.home}/r1/lnk", NOBODY, NOBODY)
    code, out, err, _ = s.cli("scan", "--folders", f"{s.home}/r1;{s.home}/r1/lnk;{s.home}/r1/../r2/..;",
                              user=NOBODY)
    found = b"/r2/x" in out
    report("6 root through a link inside another root", found and code == 0, f"exit {code}; r2 walked: {found}")


def a07_many_unmarked():
    s = Stage()
    marked = s.nobody_file("t/m/marked", b"M" * 4096)
    rows = [(marked, True)] + [(s.nobody_file(f"t/u/{i}", b"%04d" % i + b"u" * 4092), False) for i in range(2000)]
    write_list(f"{s.top}/list.txt", [rows])
    code, _, err, took = s.cli("process", f"{s.top}/list.txt", "--remove", "--yes", timeout=300)
    report("7 one marked row, 2000 unmarked, none a copy", code == 0 and os.path.exists(marked),
           f"exit {code}; {took:.2f} s")
    groups = []
    for i in range(1000):
        keep = s.nobody_file(f"p/keep/{i}", b"k" * 4096)
        groups.append((s.nobody_file(f"p/copy/{i}", b"k" * 4096), True))
        groups.append((keep, False))
    write_list(f"{s.top}/list2.txt", [groups])
    for i in range(1000):
        s.nobody_file(f"p/keep/{i}", b"c%04d" % i + b"k" * 4091)  # every copy changed
    code, _, err, took = s.cli("process", f"{s.top}/list2.txt", "--remove", "--yes", timeout=300)
    report("7 1000 marked, 1000 changed copies", code == 0 and os.path.exists(f"{s.home}/p/copy/0"),
           f"exit {code}; {took:.2f} s")


def a08_sparse():
    s = Stage()
    for name in ("a", "b"):
        with open(f"{s.home}/{name}", "wb") as f:
            f.truncate(1 << 60)
        os.chown(f"{s.home}/{name}", NOBODY, NOBODY)
    code, out, err, took = s.cli("scan", "--exact", s.home, timeout=60)
    report("8 two 1 EiB sparse files, scan --exact", code == 0 and out.count(b"\r\n") == 2,
           f"exit {code}; {took:.2f} s")
    write_list(f"{s.top}/list.txt", [[(f"{s.home}/a", False), (f"{s.home}/b", True)]])
    code, _, err, took = s.cli("process", f"{s.top}/list.txt", "--remove", "--yes", timeout=60)
    report("8 the same pair processed", code == 0 and not os.path.exists(f"{s.home}/b"), f"exit {code}; {took:.2f} s")


def a09_trash_names():
    s = Stage()
    rows = [(s.nobody_file("t/keep/f", b"same"), False)]
    for i in range(4000):
        rows.append((s.nobody_file(f"t/{i:04}/f", b"same"), True))
    write_list(f"{s.top}/list.txt", [rows])
    code, _, err, took = s.cli("process", f"{s.top}/list.txt", "--recycle", "--yes", timeout=600)
    report("9 4000 files of one name to the trash", code == 0, f"exit {code}; {took:.2f} s")
    s2 = Stage()
    info = f"{s2.roothome}/.local/share/Trash/info"
    os.makedirs(info)
    os.makedirs(f"{s2.roothome}/.local/share/Trash/files")
    for n in range(1, 10000):
        open(f"{info}/f{'' if n == 1 else '.%d' % n}.trashinfo", "w").close()
    rows = [(s2.nobody_file("t/keep/f", b"same"), False), (s2.nobody_file("t/1/f", b"same"), True)]
    write_list(f"{s2.top}/list.txt", [rows])
    code, _, err, took = s2.cli("process", f"{s2.top}/list.txt", "--recycle", "--yes")
    report("9 recycle beside 9,999 trashed files of one name", code == 0, f"exit {code}; {took:.2f} s")


def a10_line_breaks():
    s = Stage()
    with open(f"{s.top}/list.txt", "wb") as f:
        f.write(b"\n" * (8 << 20))
    code, _, err, took = s.cli("process", f"{s.top}/list.txt", "--remove", "--yes",
                               limits={resource.RLIMIT_AS: 2_000_000 * 1024})
    report("10 a list of 8 MB of line breaks, 2 GB limit", code in (0, 1), f"exit {code}; {took:.2f} s")


def a11_attributes_across_file_systems():
    s = Stage()
    other = f"{s.top}/other"
    os.makedirs(other)
    subprocess.run(["mount", "-t", "tmpfs", "tmpfs", other], check=True)
    keep = s.nobody_file("t/keep", b"private")
    copy = s.nobody_file("t/copy", b"private")
    subprocess.run(["setfacl", "-m", "g:nogroup:---,u:daemon:---", copy], check=True)
    subprocess.run(["setfattr", "-n", "user.tag", "-v", "kept", copy], check=True)
    acl = subprocess.run(["getfacl", "-cp", copy], capture_output=True).stdout
    write_list(f"{s.top}/list.txt", [[(keep, False), (copy, True)]])
    code, _, err, _ = s.cli("process", f"{s.top}/list.txt", "--move", other, "--yes")
    moved = f"{other}/copy"
    got = subprocess.run(["getfacl", "-cp", moved], capture_output=True).stdout if os.path.exists(moved) else b""
    tag = subprocess.run(["getfattr", "--only-values", "-n", "user.tag", moved], capture_output=True).stdout
    same = got == acl and tag == b"kept"
    report("11 ACL and xattr carried by a move across file systems",
           (code == 0 and same) or (code == 1 and os.path.exists(copy)), f"exit {code}; ACL and xattr kept: {same}")


def a12_read_only_kept():
    s = Stage()
    keep = s.nobody_file("t/keep", b"one")
    ro = s.nobody_file("t/ro", b"one", mode=0o444)
    write_list(f"{s.top}/list.txt", [[(keep, False), (ro, True)]])
    s.nobody_file("t/keep", b"two")  # the copy changed: the marked file is kept
    code, _, err, _ = s.cli("process", f"{s.top}/list.txt", "--remove", "--yes")
    mode = stat.S_IMODE(os.stat(ro).st_mode)
    report("12 a read-only file kept stays read-only", mode == 0o444, f"exit {code}; mode {mode:o}")


def a13_escapes():
    s = Stage()
    evil = "\x1b]0;pwned\x07\x1b[2J"
    s.nobody_file(f"t/a{evil}", b"same")
    s.nobody_file(f"t/b{evil}", b"same")
    r = subprocess.run(["script", "-qec", f"{CLI} scan {s.home}/t", "/dev/null"], env=s.env, capture_output=True)
    raw = b"\x1b]0;pwned" in r.stdout or b"\x1b[2J" in r.stdout
    report("13 escape sequences in names on a terminal", not raw, f"raw sequences reached the terminal: {raw}")


def a14_silent_gaps():
    s = Stage()
    for i in range(200):
        s.nobody_file(f"t/d{i}", b"same" * 300)
    os.makedirs(f"{s.home}/t/bad\udcff".encode("utf-8", "surrogateescape"))
    s.write(f"{s.home}/t/bad\udcff/x".encode("utf-8", "surrogateescape").decode("utf-8", "surrogateescape"),
            b"same" * 300)
    _, full, _, _ = s.cli("scan", f"{s.home}/t")
    code, limited, err, _ = s.cli("scan", f"{s.home}/t", limits={resource.RLIMIT_NOFILE: 64})
    marked = (full.count(b"\n1;"), limited.count(b"\n1;"))
    report("14 ulimit -n 64 marks what a full limit marks", marked[0] == marked[1] > 0,
           f"marked {marked[1]} of {marked[0]}; exit {code}")
    report("14 a folder name that is not text is counted", "encod" in err or "not valid" in err,
           f"'{err.strip()[:100]}'")
    keep = s.nobody_file("n/keep", b"n")
    copy = s.nobody_file("n/copy", b"n")
    with open(f"{s.top}/list.txt", "wb") as f:
        f.write(list_line(keep, False).encode() + b"0;x\x00y;/nowhere;1;d\r\n" + list_line(copy, True).encode())
    code, _, err, _ = s.cli("process", f"{s.top}/list.txt", "--remove", "--yes")
    report("14 a NUL in a list does not end it", not os.path.exists(copy), f"exit {code}; '{err.strip()[:80]}'")


def a15_editor_save():
    s = Stage()
    s.nobody_file("t/a", b"text")
    s.nobody_file("t/b", b"text")
    s.cli("scan", f"{s.home}/t", "--output", f"{s.top}/list.txt")
    # An editor's save: a new file renamed over the old name.
    s.nobody_file("t/b.new", b"text")
    os.rename(f"{s.home}/t/b.new", f"{s.home}/t/b")
    code, _, err, _ = s.cli("process", f"{s.top}/list.txt", "--remove", "--yes")
    report("15 a copy saved anew by an editor", code == 0 and not os.path.exists(f"{s.home}/t/b"),
           f"exit {code}; '{err.strip()[:80]}'")


# ---------------------------------------------------------- first round --

def swapped_folder_stage(swapped):
    """A stage with 150 pairs of nobody's identical files, t/keep/N unmarked
    and t/f/N marked, root's files of the same bytes in its folder
    `swapped` ("f" or "keep"), and the function that swaps nobody's folder of
    that name for a link to root's one and back."""
    s = Stage()
    rows = []
    for i in range(150):
        keep = s.nobody_file(f"t/keep/{i}", b"v%d" % i)
        rows.append([(keep, False), (s.nobody_file(f"t/f/{i}", b"v%d" % i), True)])
        s.write(f"{s.secret}/{swapped}/{i}", b"v%d" % i)
    write_list(f"{s.top}/list.txt", rows)
    folder, aside = f"{s.home}/t/{swapped}", f"{s.home}/t/{swapped}.aside"

    def swap():
        os.rename(folder, aside)
        os.symlink(f"{s.secret}/{swapped}", folder)
        os.unlink(folder)
        os.rename(aside, folder)

    return s, swap


def r01_folder_swapped_during_process():
    broken = 0
    for mode in ("--remove", "--move"):
        for run in range(15 if mode == "--remove" else 5):
            s, swap = swapped_folder_stage("f")
            s.guard()
            with Loop(swap):
                args = [mode] + ([f"{s.top}/dest"] if mode == "--move" else [])
                s.cli("process", f"{s.top}/list.txt", *args, "--yes")
            broken += len(s.changed())
    report("R1 folder swapped for a link, 15+5 runs", broken == 0, f"{broken} root entries changed")


def r02_line_breaks_and_links():
    s = Stage()
    s.write(f"{s.secret}/c", b"same")
    s.nobody_file("t/a", b"same")
    s.nobody_file("t/z\n1;secret;" + s.secret.replace("/", "_") + "_c", b"same")
    s.nobody_file("t/n\r", b"same")
    os.symlink(s.secret, f"{s.home}/t/link")
    os.link(f"{s.home}/t/a", f"{s.home}/t/hard")
    code, out, err, _ = s.cli("scan", f"{s.home}/t")
    both = b"/t/hard;" in out and b"/t/a;" in out
    bad = b"secret" in out or s.secret.encode() in out or both
    lines = out.count(b"\r\n")
    report("R2 line breaks, folder links, hard links", not bad, f"exit {code}; {lines} lines listed")
    write_list(f"{s.top}/list.txt", [[(f"{s.home}/t/a", False), (f"{s.home}/t/hard", True)]])
    code, _, err, _ = s.cli("process", f"{s.top}/list.txt", "--remove", "--yes")
    report("R2 a hand-made list with both names of a file", os.path.exists(f"{s.home}/t/hard"), f"exit {code}")


def r03_outputs_special_files():
    s = Stage()
    s.nobody_file("t/a", b"same")
    s.nobody_file("t/b", b"same")
    os.mknod(f"{s.top}/null", 0o666 | stat.S_IFCHR, os.makedev(1, 3))
    os.symlink(f"{s.top}/null", f"{s.top}/to-null")
    kinds = []
    for target in (f"{s.top}/null", f"{s.top}/to-null"):
        code, _, err, _ = s.cli("scan", f"{s.home}/t", "--output", target)
        kinds.append((code, stat.S_ISCHR(os.stat(target).st_mode), os.path.islink(f"{s.top}/to-null")))
    ok = all(c == 0 and ch and ln for c, ch, ln in kinds)
    report("R3 --output onto a device and a link to it", ok, str(kinds))
    old = os.getcwd()
    os.chdir(s.home)
    code, out, _, _ = s.cli("scan", "./t")
    os.chdir(old)
    report("R3 a relative root gives absolute rows", out.startswith(b"0;a;/"), f"exit {code}")


def r04_special_rows_and_full_targets():
    s = Stage()
    keep = s.nobody_file("t/keep", b"same")
    fifo = f"{s.home}/t/fifo"
    os.mkfifo(fifo)
    write_list(f"{s.top}/list.txt", [[(keep, False), (fifo, True)]])
    small = f"{s.top}/small"
    os.makedirs(small)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", small], check=True)
    code, _, err, took = s.cli("process", f"{s.top}/list.txt", "--move", small, "--yes", timeout=10)
    report("R4 a FIFO row moved to a tmpfs", code == 1 and stat.S_ISFIFO(os.lstat(fifo).st_mode),
           f"exit {code} in {took * 1000:.0f} ms")
    big = s.nobody_file("t/big", b"B" * (300 << 10))
    s.nobody_file("t/big2", b"B" * (300 << 10))
    write_list(f"{s.top}/list2.txt", [[(f"{s.home}/t/big2", False), (big, True)]])
    code, _, err, _ = s.cli("process", f"{s.top}/list2.txt", "--move", small, "--yes")
    left = os.listdir(small)
    report("R4 a move onto a full tmpfs", code == 1 and os.path.exists(big) and not left,
           f"exit {code}; left in the target: {left}")
    ro = f"{s.top}/ro"
    os.makedirs(ro)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "ro", "tmpfs", ro], check=True)
    code, _, err, _ = s.cli("process", f"{s.top}/list2.txt", "--move", ro, "--yes")
    report("R4 a move onto a read-only tmpfs", code == 1 and os.path.exists(big), f"exit {code}")


def r05_fast_rule_and_set_user_id():
    s = Stage()
    size = 11 << 20
    a = bytearray(b"v" * size)
    b = bytearray(a)
    b[5 << 20] = ord("w")  # between the samples
    s.nobody_file("t/a", bytes(a))
    s.nobody_file("t/b", bytes(b))
    code, out, _, _ = s.cli("scan", f"{s.home}/t", "--output", f"{s.top}/list.txt")
    other = f"{s.top}/other"
    os.makedirs(other)
    subprocess.run(["mount", "-t", "tmpfs", "tmpfs", other], check=True)
    code, _, err, _ = s.cli("process", f"{s.top}/list.txt", "--move", other, "--yes")
    report("R5 a fast-rule pair under --move", os.path.exists(f"{s.home}/t/b"), f"exit {code}")
    suid = s.nobody_file("u/s", b"program", mode=0o4755)
    s.nobody_file("u/k", b"program")
    write_list(f"{s.top}/list2.txt", [[(f"{s.home}/u/k", False), (suid, True)]])
    code, _, err, _ = s.cli("process", f"{s.top}/list2.txt", "--move", other, "--yes")
    st = os.stat(f"{other}/s") if os.path.exists(f"{other}/s") else None
    report("R5 a set-user-ID file across file systems", st is not None and st.st_uid == NOBODY,
           f"exit {code}; owner {st.st_uid if st else None}, mode {stat.S_IMODE(st.st_mode) if st else 0:o}")


# ------------------------------------------------------------ link modes --

LINKS = ("--hardlink", "--symlink", "--clone")


def l01_grafted_root_folder_linked():
    """a03 with the link modes: a folder of root's grafted onto a row."""
    for mode in LINKS:
        s = Stage()
        s.nobody_file("t/a", b"dup")
        s.nobody_file("t/sub/x", b"dup")
        s.cli("scan", f"{s.home}/t", "--output", f"{s.top}/list.txt")
        rootdir = f"{s.home}/t/rootdir"
        os.makedirs(rootdir)
        s.write(f"{rootdir}/x", b"dup", mode=0o600)
        as_nobody(["mv", f"{s.home}/t/sub", f"{s.home}/t/sub.old"])
        as_nobody(["mv", rootdir, f"{s.home}/t/sub"])
        s.guard([s.secret, s.roothome, f"{s.home}/t/sub"])
        code, _, err, _ = s.cli("process", f"{s.top}/list.txt", mode, "--yes")
        changes = s.changed()
        report(f"L1 root folder grafted onto a row, {mode}", code == 1 and not changes, outcome(code, err, changes))


def l02_folders_swapped_while_linking():
    """r01 with the link modes: the folder of the marked files, or of their
    copies, swapped for a link to root's folder of the same files in a loop.
    Root's files keep their links, modes and bytes; every byte of nobody's
    files is still under its name or a temporary one."""
    broken, lost, left = 0, 0, 0
    for mode in ("--hardlink", "--symlink"):
        for swapped in ("f", "keep"):
            for _ in range(4):
                s, swap = swapped_folder_stage(swapped)
                folder, aside = f"{s.home}/t/{swapped}", f"{s.home}/t/{swapped}.aside"
                s.guard()
                with Loop(swap):
                    s.cli("process", f"{s.top}/list.txt", mode, "--yes")
                if os.path.islink(folder):  # the loop was stopped between two steps
                    os.unlink(folder)
                if os.path.isdir(aside):
                    os.rename(aside, folder)
                broken += len(s.changed())
                for sub in ("f", "keep"):
                    names = os.listdir(f"{s.home}/t/{sub}")
                    left += sum(n.startswith(".zorvik-link-") for n in names)
                    for i in range(150):
                        p = f"{s.home}/t/{sub}/{i}"
                        try:
                            with open(p, "rb") as fh:
                                lost += fh.read() != b"v%d" % i
                        except OSError:
                            lost += 1
    report("L2 folders swapped while linking, 16 runs", broken == 0 and lost == 0,
           f"{broken} root entries changed; {lost} files lost; {left} temporary names left")


def l03_root_copy_and_planted_names():
    """A copy of root's own file named as the copy to link to, and names of
    the temporary kind planted by nobody: root's file gets no second name,
    and the planted names are reported, never followed or removed."""
    s = Stage()
    s.write(f"{s.secret}/same", b"same", mode=0o600)
    b = s.nobody_file("t/b", b"same")
    os.symlink(f"{s.secret}/secret.txt", f"{s.home}/t/.zorvik-link-planted")
    os.lchown(f"{s.home}/t/.zorvik-link-planted", NOBODY, NOBODY)
    write_list(f"{s.top}/list.txt", [[(f"{s.secret}/same", False), (b, True)]])
    s.guard()
    code, out, err, _ = s.cli("process", f"{s.top}/list.txt", "--hardlink", "--yes")
    changes = s.changed()
    planted = os.path.islink(f"{s.home}/t/.zorvik-link-planted") and "zorvik-link-planted" in err
    report("L3 root's copy, planted temporary names", not changes and planted and os.path.isfile(b),
           outcome(code, err, changes))


def r06_planted_cache_file():
    s = Stage()
    s.nobody_file("t/a", b"same")
    s.nobody_file("t/b", b"same")
    cases = {
        "link to a root file": lambda f: os.symlink(f"{s.secret}/secret.txt", f),
        "dangling link into root's folder": lambda f: os.symlink(f"{s.secret}/planted.cache", f),
        "nobody's own 0666 file": lambda f: (open(f, "w").close(), os.chmod(f, 0o666)),
        "a FIFO nobody writes": os.mkfifo,
    }
    for what, plant in cases.items():
        cache = f"{s.shared}/cache-{len(what)}"
        pid = os.fork()
        if pid == 0:
            os.setgroups([]), os.setgid(NOBODY), os.setuid(NOBODY)
            plant(cache)
            os._exit(0)
        os.waitpid(pid, 0)
        s.guard()
        code, out, err, took = s.cli("scan", f"{s.home}/t", "--cache", cache, timeout=20)
        changes, mine = s.changed(), os.lstat(cache)
        kept = mine.st_uid == NOBODY and (stat.S_ISLNK(mine.st_mode) or mine.st_size == 0)
        found = f"{s.home}/t/b".encode() in out
        report(f"R6 --cache, {what}", code == 0 and found and kept and not changes,
               outcome(code, err, changes) + f"; {took:.2f} s")


ATTACKS = [a01_output_link, a02_move_destination, a03_grafted_root_folder, a04_root_swapped_for_link,
           a05_first_look_through_link, a06_protected_through_link, a07_many_unmarked, a08_sparse,
           a09_trash_names, a10_line_breaks, a11_attributes_across_file_systems, a12_read_only_kept,
           a13_escapes, a14_silent_gaps, a15_editor_save, r01_folder_swapped_during_process,
           r02_line_breaks_and_links, r03_outputs_special_files, r04_special_rows_and_full_targets,
           r05_fast_rule_and_set_user_id, l01_grafted_root_folder_linked, l02_folders_swapped_while_linking,
           l03_root_copy_and_planted_names, r06_planted_cache_file]


def main():
    global CLI
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    CLI = os.path.abspath(sys.argv[1])
    wanted = sys.argv[2:]
    private_namespace()
    for attack in ATTACKS:
        if wanted and not any(attack.__name__.startswith(w) for w in wanted):
            continue
        try:
            attack()
        except Exception as e:  # an attack that could not be set up is no result
            report(attack.__name__, False, f"could not run: {e!r}")
    broken = sum(1 for _, held, _ in RESULTS if not held)
    print(f"{len(RESULTS) - broken} held, {broken} broken")
    subprocess.run(["umount", "-R", BASE])
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
