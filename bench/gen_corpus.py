#!/usr/bin/env python3
"""Make the benchmark corpora for zorvik-cli.

Three trees can be made under a target folder:

  mixed     ~50,000 files of realistic sizes in ~300 nested folders; about 15% of
            the files are redundant copies of another file, plus families of
            equal-size files with different content and "edited" near copies.
  samesize  3,000 distinct files of exactly 65,536 bytes plus 50 copies of some
            of them (3,050 files, 50 groups of 2).
  large     36 files of 20-200 MB: pairs that differ only in a few bytes near
            the end (not duplicates) and 4 true duplicate pairs.
  million   1,000,000 small files (2-8 KiB, most sharing their size) laid out
            like a photo library, about 10% of them redundant copies; only
            made when asked for by name (--tree million).

Everything is derived from fixed seeds, so the same command always gives the
same bytes, names and dates.  Beside each tree TREE a file TREE.manifest.json
lists the duplicate groups that a correct finder must report (paths relative
to the tree), with a few statistics.

Only the Python standard library is used; content comes from
random.Random(seed).randbytes, no os.urandom.
"""

import argparse
import hashlib
import json
import math
import os
import random
import shutil
import sys
import time
import unicodedata

GENERATOR_VERSION = 1
TREES = ("mixed", "samesize", "large")          # what "all" makes
ALL_TREES = TREES + ("million",)                 # million only when asked for
BASE_SEEDS = {"mixed": 1_000_003, "samesize": 2_000_003, "large": 3_000_017,
              "million": 4_000_037}

KiB = 1024
MiB = 1024 * 1024
MB = 1000 * 1000
CHUNK = 4 * MiB          # content is produced in fixed chunks of the file offset
SAMESIZE_BYTES = 65_536

# Dates between 2008-01-01 and 2024-12-31 (UTC) for file modification times.
DATE_MIN = 1199145600
DATE_MAX = 1735603200


# ---------------------------------------------------------------- content --

def content_chunks(seed, size, magic=b"", patches=()):
    """Yield the bytes of a file of `size` bytes made from `seed`.

    The stream depends only on (seed, size): chunk k always covers the file
    offsets [k*CHUNK, (k+1)*CHUNK), so a copy regenerated later is identical.
    `magic` overwrites the first bytes (a format header), `patches` is a list
    of (offset, xor) pairs applied on top (xor must be non-zero) - that is how
    a near copy which differs in a few bytes is made.
    """
    rng = random.Random(seed)
    pos = 0
    while pos < size:
        n = min(CHUNK, size - pos)
        data = rng.randbytes(n)
        local = [(off - pos, x) for off, x in patches if pos <= off < pos + n]
        if (pos == 0 and magic) or local:
            buf = bytearray(data)
            if pos == 0 and magic:
                m = magic[:n]
                buf[:len(m)] = m
            for off, x in local:
                buf[off] ^= x
            data = bytes(buf)
        yield data
        pos += n


# ------------------------------------------------------------------ names --

EN_WORDS = ("summer winter trip family beach mountains party wedding garden "
            "birthday holiday city river forest lake school work project report "
            "budget notes draft final old new misc archive scans invoices letters "
            "recipes manuals contracts taxes travel friends concert kids house car "
            "office meeting plan ideas music camera phone backup export").split()
RU_WORDS = ("лето зима поездка семья море горы праздник свадьба дача рождения "
            "отпуск город река лес озеро школа работа проект отчёт бюджет заметки "
            "черновик итог старое новое разное архив сканы счета письма рецепты "
            "инструкции договоры налоги путешествие друзья концерт дети дом машина "
            "офис встреча план идеи музыка камера телефон копия выгрузка ёлка").split()
CODE_WORDS = ("core ui net util io parser render audio model widgets db api "
              "config loader cache session worker queue image text font theme "
              "main app helpers storage crypto index search report").split()
CODE_EXTS = (".cpp", ".h", ".py", ".js", ".html", ".css", ".md", ".json", ".txt",
             ".c", ".ts", ".xml", ".yml")
DOC_EXTS = (".pdf", ".docx", ".odt", ".xlsx", ".txt", ".rtf", ".doc", ".csv")

MAGIC = {
    ".jpg": b"\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01",
    ".JPG": b"\xff\xd8\xff\xe1\x00\x18Exif\x00\x00",
    ".mp3": b"ID3\x04\x00\x00\x00\x00",
    ".pdf": b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n",
    ".docx": b"PK\x03\x04\x14\x00\x06\x00",
    ".xlsx": b"PK\x03\x04\x14\x00\x06\x00",
    ".odt": b"PK\x03\x04\x14\x00\x00\x08",
    ".rtf": b"{\\rtf1\\ansi",
    ".doc": b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1",
    ".mp4": b"\x00\x00\x00\x18ftypmp42",
    ".mkv": b"\x1aE\xdf\xa3",
    ".avi": b"RIFF\x00\x00\x00\x00AVI ",
    ".mov": b"\x00\x00\x00\x14ftypqt  ",
    ".img": b"\xeb\x63\x90",
    ".bin": b"",
}
# 1024x768 24-bit BMP: 54-byte header + pixels; all scans share the header.
BMP_SIZE = 54 + 1024 * 768 * 3
BMP_HEADER = (b"BM" + BMP_SIZE.to_bytes(4, "little") + b"\0\0\0\0" +
              (54).to_bytes(4, "little") + (40).to_bytes(4, "little") +
              (1024).to_bytes(4, "little") + (768).to_bytes(4, "little") +
              b"\x01\x00\x18\x00" + b"\0" * 24)


def nfc(s):
    return unicodedata.normalize("NFC", s)


def phrase(rng, lo=1, hi=3, cyr=0.25, cap=True):
    cyrillic = rng.random() < cyr          # one language per phrase
    ws = [rng.choice(RU_WORDS if cyrillic else EN_WORDS)
          for _ in range(rng.randint(lo, hi))]
    s = " ".join(ws)
    if cap:
        s = s[0].upper() + s[1:]
    return nfc(s)


def fake_time(rng):
    return rng.randint(DATE_MIN, DATE_MAX)


def stamp(t, fmt):
    return time.strftime(fmt, time.gmtime(t))


# ---------------------------------------------------------------- planning --

class Folder:
    __slots__ = ("rel", "depth", "cat", "names")

    def __init__(self, rel, depth, cat):
        self.rel, self.depth, self.cat = rel, depth, cat
        self.names = set()       # file and sub-folder names already used here

    def unique(self, name):
        """Return `name` or a variant of it that is still free in this folder."""
        if name not in self.names:
            self.names.add(name)
            return name
        stem, ext = os.path.splitext(name)
        n = 2
        while f"{stem} ({n}){ext}" in self.names:
            n += 1
        name = f"{stem} ({n}){ext}"
        self.names.add(name)
        return name


class PlannedFile:
    """One file to write: where, how big, and how its bytes are made."""
    __slots__ = ("folder", "name", "size", "seed", "magic", "patches", "mtime",
                 "copies", "kind")

    def __init__(self, folder, name, size, seed, magic=b"", patches=(), mtime=0,
                 kind=""):
        self.folder, self.name, self.size, self.seed = folder, name, size, seed
        self.magic, self.patches, self.mtime, self.kind = magic, tuple(patches), mtime, kind
        self.copies = []     # (folder, name, mtime) of exact copies

    @property
    def rel(self):
        return join_rel(self.folder.rel, self.name)


def join_rel(a, b):
    return f"{a}/{b}" if a else b


def scaled(n, scale, minimum=1):
    return max(minimum, int(round(n * scale)))


def log_uniform(rng, lo, hi):
    return int(round(math.exp(rng.uniform(math.log(lo), math.log(hi)))))


class Plan:
    """Everything about a tree, decided before a single byte is written."""

    def __init__(self, tree, scale, seed):
        self.tree, self.scale, self.seed = tree, scale, seed
        self.folders = []
        self.files = []          # PlannedFile, each may carry copies
        self.seed_counter = seed * 7919
        self.pool_seed = None    # set: small files cut from one random pool

    def next_seed(self):
        self.seed_counter += 1
        return self.seed_counter

    def folder(self, parent, name, cat):
        name = nfc(name)
        if parent is None:
            f = Folder("", 0, cat)
        else:
            name = parent.unique(name)
            f = Folder(join_rel(parent.rel, name), parent.depth + 1, cat)
        self.folders.append(f)
        return f

    def add(self, folder, name, size, seed=None, magic=b"", patches=(), mtime=0,
            kind=""):
        pf = PlannedFile(folder, folder.unique(nfc(name)), size,
                        self.next_seed() if seed is None else seed,
                        magic, patches, mtime, kind)
        self.files.append(pf)
        return pf

    def add_copy(self, pf, folder, name, mtime):
        pf.copies.append((folder, folder.unique(nfc(name)), mtime))

    def groups(self):
        out = []
        for s in self.files:
            if s.copies:
                out.append(sorted([s.rel] + [join_rel(f.rel, n) for f, n, _ in s.copies]))
        return sorted(out)

    def all_files(self):
        for s in self.files:
            yield s.rel, s.size
            for f, n, _ in s.copies:
                yield join_rel(f.rel, n), s.size


# --- mixed ----------------------------------------------------------------

# category: (top-level folder name, folder quota at scale 1, max depth)
MIXED_CATEGORIES = {
    "docs": ("Documents", 55, 5),
    "photos": ("Photos", 60, 5),
    "music": ("Music", 45, 3),
    "videos": ("Videos", 8, 3),
    "projects": ("Projects", 80, 6),
    "downloads": ("Downloads", 10, 2),
    "desktop": ("Рабочий стол", 6, 2),
    "backup": ("Backup old laptop", 40, 6),
}


def sub_folder_name(rng, cat, level):
    """Name of a folder at `level` (1 = just below the category folder)."""
    if cat == "photos":
        if level == 1:
            return str(rng.randint(2008, 2024))
        if level == 2:
            return phrase(rng, 1, 3, cyr=0.35)
        if level == 3:
            return rng.choice(["Day 1", "Day 2", "Day 3", "edited", "RAW",
                               "Выбранные", "for print", "phone", "Лучшие"])
        return phrase(rng, 1, 2)
    if cat == "music":
        if level == 1:
            return phrase(rng, 2, 2, cyr=0.3)
        if level == 2:
            return f"{phrase(rng, 1, 3, cyr=0.3)} ({rng.randint(1975, 2023)})"
        return rng.choice(["CD1", "CD2", "Bonus", "Live"])
    if cat == "docs":
        if level == 1:
            return rng.choice(["Work", "Taxes", "Invoices", "Letters", "Recipes",
                               "Manuals", "Contracts", "Школа", "Университет",
                               "Отчёты", "Медицина", "Квартира", "Insurance"])
        return rng.choice([phrase(rng, 1, 2), str(rng.randint(2008, 2024))])
    if cat == "projects":
        if level == 1:
            return rng.choice(["webshop", "thesis", "game jam 2017",
                               "home automation", "робот", "photo tools",
                               "budget app", "site", "курсовая", "plugins"])
        if level == 2:
            return rng.choice(["src", "docs", "tests", "assets", "scripts",
                               "third_party", "examples"])
        return rng.choice(CODE_WORDS)
    if cat == "videos":
        if level == 1:
            return rng.choice(["Family", "Movies", "Screen recordings",
                               "С телефона"])
        return str(rng.randint(2010, 2024))
    if cat == "backup":
        if level == 1:
            return rng.choice(["Documents", "Photos", "Music", "Projects",
                               "Desktop", "Разное"])
        return sub_folder_name(rng, rng.choice(["docs", "photos", "projects"]),
                               level - 1)
    return phrase(rng, 1, 3)      # downloads, desktop


def build_mixed_folders(plan, rng):
    root = plan.folder(None, "", "root")
    by_cat = {}
    for cat, (top, quota, maxdepth) in MIXED_CATEGORIES.items():
        tops = plan.folder(root, top, cat)
        folders = [tops]
        want = scaled(quota, plan.scale, minimum=2)
        tries = 0
        while len(folders) < want and tries < want * 20:
            tries += 1
            cands = [f for f in folders if f.depth < maxdepth]
            # prefer shallow parents so the tree is bushy rather than a chain
            parent = rng.choices(cands, weights=[1.0 / f.depth for f in cands])[0]
            folders.append(plan.folder(parent, sub_folder_name(rng, cat, parent.depth),
                                       cat))
        by_cat[cat] = folders
    return by_cat


# kind: (distinct count at scale 1, folder categories with weights, weight to
#        be picked as an original that gets copies)
MIXED_KINDS = {
    "code": (14_500, {"projects": 1.0}, 1.0),
    "text": (2_500, {"projects": 0.5, "docs": 0.3, "desktop": 0.2}, 1.0),
    "doc": (14_500, {"docs": 0.8, "desktop": 0.1, "downloads": 0.1}, 1.2),
    "thumb": (9_000, {"photos": 1.0}, 1.0),
    "photo": (950, {"photos": 0.9, "desktop": 0.05, "downloads": 0.05}, 1.8),
    "song": (140, {"music": 0.95, "downloads": 0.05}, 1.3),
    "scan": (50, {"docs": 1.0}, 0.8),
    "video": (8, {"videos": 1.0}, 2.0),
}
NEAR_COPIES = {"doc": 400, "photo": 60, "song": 10}   # "edited" versions
COPY_FRACTION = 0.15      # share of all files that are redundant copies


def mixed_name(rng, kind, t):
    if kind == "code":
        if rng.random() < 0.08:
            return rng.choice(["README.md", "CMakeLists.txt", "Makefile",
                               "LICENSE", "main.cpp", "setup.py", "index.html"])
        base = rng.choice(CODE_WORDS)
        if rng.random() < 0.4:
            base += "_" + rng.choice(CODE_WORDS)
        if rng.random() < 0.15:
            base = "test_" + base
        return base + rng.choice(CODE_EXTS)
    if kind == "text":
        return rng.choice(["notes", "todo", "список покупок", "readme", "idea",
                           "пароль от wifi", "phone numbers", "ссылки"]) + \
            rng.choice(["", f" {rng.randint(1, 99)}", f" {stamp(t, '%Y-%m-%d')}"]) + ".txt"
    if kind == "doc":
        ext = rng.choice(DOC_EXTS)
        s = phrase(rng, 1, 4, cyr=0.3)
        r = rng.random()
        if r < 0.3:
            s += " " + stamp(t, "%Y-%m-%d")
        elif r < 0.45:
            s += f" {rng.randint(1, 40)}"
        return s + ext
    if kind == "thumb":
        return f"IMG_{rng.randint(1, 9999):04d}_small.jpg"
    if kind == "photo":
        r = rng.random()
        if r < 0.4:
            return f"IMG_{rng.randint(1, 9999):04d}.jpg"
        if r < 0.6:
            return f"DSC_{rng.randint(1, 99999):05d}.JPG"
        if r < 0.8:
            return stamp(t, "Photo %Y-%m-%d %H.%M.%S.jpg")
        if r < 0.92:
            return f"фото {rng.randint(1, 999)}.jpg"
        return stamp(t, "PANO_%Y%m%d_%H%M%S.jpg")
    if kind == "song":
        return f"{rng.randint(1, 16):02d} - {phrase(rng, 1, 4, cyr=0.3)}.mp3"
    if kind == "scan":
        return rng.choice([f"scan_{rng.randint(1, 999):03d}.bmp",
                           f"Скан {rng.randint(1, 999):03d}.bmp"])
    if kind == "video":
        if rng.random() < 0.6:
            return stamp(t, "VID_%Y%m%d_%H%M%S.mp4")
        return phrase(rng, 1, 3, cyr=0.4) + rng.choice([".avi", ".mkv", ".mov"])
    raise ValueError(kind)


def mixed_size(rng, kind, scale):
    if kind == "code":
        return log_uniform(rng, 200, 40 * KiB)
    if kind == "text":
        return rng.randint(64, 1023)
    if kind == "doc":
        return log_uniform(rng, 1 * KiB, 64 * KiB)
    if kind == "thumb":
        return log_uniform(rng, 3 * KiB, 60 * KiB)
    if kind == "photo":
        return log_uniform(rng, 100 * KiB, 5 * MiB)
    if kind == "song":
        return rng.randint(2 * MiB, 5 * MiB)
    if kind == "scan":
        return BMP_SIZE
    if kind == "video":
        return max(1 * MiB, int(rng.randint(10 * MiB, 40 * MiB) * min(1.0, scale)))
    raise ValueError(kind)


def magic_for(kind, name):
    if kind == "scan":
        return BMP_HEADER
    return MAGIC.get(os.path.splitext(name)[1], b"")


def copy_name(rng, name, kind, t):
    stem, ext = os.path.splitext(name)
    r = rng.random()
    if r < 0.35:
        return name                       # same name, other folder (backups)
    if r < 0.5:
        return f"{stem} (1){ext}"
    if r < 0.6:
        return f"Copy of {name}"
    if r < 0.72:
        return f"{stem} - копия{ext}"
    if r < 0.8:
        return f"{stem}_2{ext}"
    return mixed_name(rng, kind, t)       # renamed completely


def make_patches(rng, n, lo, hi):
    """Up to n (offset, xor) pairs with lo <= offset < hi: distinct offsets and
    non-zero xor values, so the patched file surely differs from the original."""
    out = {}
    for _ in range(n):
        off, x = rng.randrange(lo, hi), rng.randint(1, 255)
        out.setdefault(off, x)
    return sorted(out.items())


def pick_folder(rng, by_cat, cats):
    cat = rng.choices(list(cats), weights=list(cats.values()))[0]
    return rng.choice(by_cat[cat])


def plan_mixed(scale, seed):
    plan = Plan("mixed", scale, seed)
    rng = random.Random(seed)
    by_cat = build_mixed_folders(plan, rng)
    all_folders = [f for fs in by_cat.values() for f in fs]
    copy_targets = by_cat["backup"] + by_cat["downloads"] + by_cat["desktop"]

    for kind, (count, cats, _) in MIXED_KINDS.items():
        for _ in range(scaled(count, scale)):
            t = fake_time(rng)
            folder = pick_folder(rng, by_cat, cats)
            name = mixed_name(rng, kind, t)
            plan.add(folder, name, mixed_size(rng, kind, scale),
                     magic=magic_for(kind, name), mtime=t, kind=kind)

    # Edited versions: same size as the original, a few bytes changed.
    for kind, count in NEAR_COPIES.items():
        bases = [s for s in plan.files if s.kind == kind]
        for base in rng.sample(bases, min(len(bases), scaled(count, scale))):
            npatch = rng.randint(1, 6)
            if kind == "photo" and rng.random() < 0.5:
                # metadata edited near the end of the file
                lo = max(len(base.magic), base.size - 4 * KiB)
            else:
                lo = len(base.magic)
            patches = make_patches(rng, npatch, lo, base.size)
            stem, ext = os.path.splitext(base.name)
            name = stem + rng.choice([" v2", " (edited)", " - исправлено", "_final"]) + ext
            folder = base.folder if rng.random() < 0.6 else pick_folder(
                rng, by_cat, MIXED_KINDS[kind][1])
            plan.add(folder, name, base.size, seed=base.seed, magic=base.magic,
                     patches=patches, mtime=base.mtime + rng.randint(60, 10**7),
                     kind=kind + "-edited")

    # Exact copies: pick originals (weighted by kind) until ~15% of the files
    # of the tree are copies.  Most get one copy, some 2 or 3.
    distinct = len(plan.files)
    target = int(round(distinct * COPY_FRACTION / (1.0 - COPY_FRACTION)))
    weight = {k: v[2] for k, v in MIXED_KINDS.items()}
    keyed = sorted(plan.files,
                   key=lambda s: rng.random() ** (1.0 / weight.get(s.kind, 1.0)),
                   reverse=True)
    made = 0
    for pf in keyed:
        if made >= target:
            break
        k = min(rng.choices([1, 2, 3], weights=[75, 17, 8])[0], target - made)
        for _ in range(k):
            while True:
                folder = rng.choice(copy_targets if rng.random() < 0.5 else all_folders)
                if folder is not pf.folder:
                    break
            base_kind = pf.kind.split("-")[0]
            t = pf.mtime + rng.randint(0, 10**8)
            plan.add_copy(pf, folder, copy_name(rng, pf.name, base_kind, t),
                          min(t, DATE_MAX))
            made += 1
    return plan


# --- samesize --------------------------------------------------------------

def plan_samesize(scale, seed):
    plan = Plan("samesize", scale, seed)
    rng = random.Random(seed)
    root = plan.folder(None, "", "root")
    n = scaled(3000, scale, minimum=4)
    pairs = min(n, scaled(50, scale))
    nbatch = max(2, math.ceil(n / 300))
    batches = [plan.folder(root, f"batch {i:02d}", "batch") for i in range(nbatch)]
    later = plan.folder(root, "найдено позже", "copies")
    for i in range(n):
        plan.add(batches[i % nbatch], f"block_{i:05d}.bin", SAMESIZE_BYTES,
                 mtime=fake_time(rng), kind="block")
    for pf in rng.sample(plan.files, pairs):
        others = [b for b in batches if b is not pf.folder] + [later]
        folder = rng.choice(others)
        plan.add_copy(pf, folder, f"chunk {rng.randint(0, 99999):05d} копия.bin",
                      fake_time(rng))
    return plan


# --- large -----------------------------------------------------------------

LARGE_BUDGET = int(3.8 * 1024**3)


def plan_large(scale, seed):
    plan = Plan("large", scale, seed)
    rng = random.Random(seed)
    root = plan.folder(None, "", "root")
    exports = plan.folder(root, "Video exports", "large")
    raw = plan.folder(exports, "raw", "large")
    images = plan.folder(root, "Disk images", "large")
    vms = plan.folder(root, "VM backups", "large")
    jan = plan.folder(vms, "Январь", "large")

    def size_at(i, n, lo, hi):
        # log-spaced sizes with an odd jitter so no size is a round number
        s = lo * (hi / lo) ** (i / max(1, n - 1))
        return int(s * rng.uniform(0.97, 1.03)) | 1

    near_pairs = 12
    dup_pairs = 4
    wanted = []   # (role, index, size)
    for i in range(near_pairs):
        wanted.append(("near", i, size_at(i, near_pairs, 20 * MB, 200 * MB)))
    for i in range(dup_pairs):
        wanted.append(("dup", i, size_at(i, dup_pairs, 25 * MB, 150 * MB)))
    for i in range(2):
        wanted.append(("single", i, size_at(i, 2, 40 * MB, 60 * MB)))
    # the first two duplicate pairs also get an almost-equal third file
    n_extra = 2
    total = sum(2 * s if r in ("near", "dup") else s for r, _, s in wanted)
    total += sum(s for r, i, s in wanted if r == "dup" and i < n_extra)
    shrink = min(scale, LARGE_BUDGET / total)
    min_size = 128 * KiB

    def near_patches(size):
        window = min(64 * KiB, size // 2)
        return make_patches(rng, rng.randint(1, 8), size - window, size)

    for role, i, size in wanted:
        size = max(min_size, int(size * shrink)) | 1
        t = fake_time(rng)
        if role == "near":
            name = f"capture_{i + 1:02d}.mov"
            a = plan.add(raw, name, size, magic=MAGIC[".mov"], mtime=t, kind="near")
            # the first pair differs only in its very last byte
            patches = [(size - 1, 0x5A)] if i == 0 else near_patches(size)
            plan.add(exports, f"capture_{i + 1:02d} (re-export).mov", size, seed=a.seed,
                     magic=a.magic, patches=patches, mtime=t + 3600, kind="near")
        elif role == "dup":
            name = f"disk-image-{2016 + i}.img"
            a = plan.add(images, name, size, magic=MAGIC[".img"], mtime=t, kind="dup")
            plan.add_copy(a, jan, f"disk-image-{2016 + i} копия.img", t + 86400)
            if i < n_extra:
                plan.add(vms, f"disk-image-{2016 + i} patched.img", size, seed=a.seed,
                         magic=a.magic, patches=near_patches(size), mtime=t + 7200,
                         kind="dup-near")
        else:
            plan.add(root, f"lecture {i + 1}.mkv", size, magic=MAGIC[".mkv"], mtime=t,
                     kind="single")
    return plan


# --- million ---------------------------------------------------------------

MILLION_FILES = 1_000_000
MILLION_COPY_FRACTION = 0.10     # share of all files that are redundant copies
MILLION_EDITED_FRACTION = 0.01   # same size as another file, a byte changed near the end
MILLION_PER_EVENT = 160          # files of an average event folder
# The small files of the million tree are slices of one random pool (making a
# Random per file would cost more than writing the file): file k starts at
# (k * POOL_STEP) mod (POOL_BYTES - POOL_MARGIN), and as POOL_STEP is prime
# to that modulus, no two of the first ~33 million files start at the same
# offset, so files of equal size differ unless they are meant to be copies.
POOL_BYTES = 32 * MiB
POOL_MARGIN = 64 * KiB           # the largest file of the tree must fit after any offset
POOL_STEP = 4099
EVENT_WORDS = ("Holiday Birthday Wedding Beach Christmas Hiking Picnic Concert Garden "
               "Trip Party Zoo Museum Graduation Camping Skiing Sunset Family Harbour "
               "Festival Lake Mountains Kids School Roadtrip Snow Autumn Spring "
               "Grandma Paris Rome Berlin Prague Lisbon Vienna").split()


def million_event_name(rng):
    if rng.random() < 0.15:
        return phrase(rng, 1, 2, cyr=1.0)     # Cyrillic event names, 2 bytes a letter
    words = [rng.choice(EVENT_WORDS) for _ in range(rng.choices([1, 2], [70, 30])[0])]
    return " ".join(words)


def million_size(rng):
    if rng.random() < 0.98:
        return log_uniform(rng, 2 * KiB, 8 * KiB)       # ~160 files share each size
    return log_uniform(rng, 8 * KiB, 48 * KiB)          # many of these are unique


def plan_million(scale, seed):
    plan = Plan("million", scale, seed)
    plan.seed_counter = -1        # seeds are pool indexes 0, 1, 2, ...
    plan.pool_seed = seed
    rng = random.Random(seed)
    total = scaled(MILLION_FILES, scale, minimum=20)
    n_copies = int(round(total * MILLION_COPY_FRACTION))
    n_edited = max(1, int(round(total * MILLION_EDITED_FRACTION)))
    n_distinct = total - n_copies - n_edited
    root = plan.folder(None, "", "root")
    photos = plan.folder(root, "Photos", "photos")
    backup = plan.folder(photos, "Phone backup", "backup")
    years, months = {}, {}

    def year_folder(y):
        if y not in years:
            years[y] = plan.folder(photos, str(y), "year")
        return years[y]

    def month_folder(t):
        key = stamp(t, "%Y-%m")
        if key not in months:
            months[key] = plan.folder(backup, key, "month")
        return months[key]

    events = []      # (folder, start time, name style, first number)
    for _ in range(max(2, int(round(n_distinct / MILLION_PER_EVENT)))):
        t0 = rng.randint(1104537600, DATE_MAX - 86400)     # 2005 .. 2024
        folder = plan.folder(year_folder(int(stamp(t0, "%Y"))),
                             stamp(t0, "%Y-%m-%d ") + million_event_name(rng), "event")
        style = rng.choices(("img_time", "pxl", "dsc", "img_num"), (45, 15, 20, 20))[0]
        events.append([folder, t0, style, rng.randint(1, 9000)])
    for _ in range(n_distinct):
        ev = events[rng.randrange(len(events))]
        folder, t0, style = ev[0], ev[1], ev[2]
        t = t0 + rng.randint(0, 12 * 3600)
        if style == "img_time":
            name = stamp(t, "IMG_%Y%m%d_%H%M%S.jpg")
        elif style == "pxl":
            name = stamp(t, "PXL_%Y%m%d_%H%M%S") + f"{rng.randint(0, 999):03d}.jpg"
        else:
            ev[3] += 1
            name = (f"DSC_{ev[3]:05d}.JPG" if style == "dsc" else f"IMG_{ev[3] % 10000:04d}.JPG")
        plan.add(folder, name, million_size(rng), magic=MAGIC[os.path.splitext(name)[1]],
                 mtime=t, kind="photo")
    originals = list(plan.files)
    # Edited versions: same size and bytes as their original but for one byte
    # in its last 512 bytes, next to it in the same folder.
    for base in rng.sample(originals, n_edited):
        stem, ext = os.path.splitext(base.name)
        lo = max(len(base.magic), base.size - 512)
        plan.add(base.folder, f"{stem}_edited{ext}", base.size, seed=base.seed,
                 magic=base.magic, patches=make_patches(rng, 1, lo, base.size),
                 mtime=base.mtime + rng.randint(60, 10**6), kind="photo-edited")
    # Exact copies: the phone's backup folder under the same name, another
    # event folder, or "(1)" beside the original.  Mostly one copy, a few 2-3.
    made, others = 0, [ev[0] for ev in events]
    for pf in rng.sample(originals, min(len(originals), n_copies)):
        if made >= n_copies:
            break
        for _ in range(min(rng.choices([1, 2, 3], [80, 15, 5])[0], n_copies - made)):
            t = min(pf.mtime + rng.randint(0, 10**7), DATE_MAX)
            r = rng.random()
            if r < 0.45:
                plan.add_copy(pf, month_folder(pf.mtime), pf.name, t)
            elif r < 0.75:
                plan.add_copy(pf, rng.choice(others), pf.name, t)
            else:
                stem, ext = os.path.splitext(pf.name)
                plan.add_copy(pf, pf.folder, f"{stem} (1){ext}", t)
            made += 1
    return plan


PLANNERS = {"mixed": plan_mixed, "samesize": plan_samesize, "large": plan_large,
            "million": plan_million}


def make_plan(tree, scale=1.0, seed=0):
    return PLANNERS[tree](scale, BASE_SEEDS[tree] + seed)


# ----------------------------------------------------------------- writing --

def write_file(path, chunks, mtime):
    with open(path, "xb") as f:
        for c in chunks:
            f.write(c)
    os.utime(path, (mtime, mtime))


def pool_parts(pool, pf):
    """The bytes of a file of a pool plan, as buffers for os.writev."""
    n = pf.size - len(pf.magic)
    off = (pf.seed * POOL_STEP) % (len(pool) - POOL_MARGIN)
    if not pf.patches:
        return [pf.magic, pool[off:off + n]]
    buf = bytearray(pf.magic) + pool[off:off + n]
    for o, x in pf.patches:
        buf[o] ^= x
    return [buf]


def write_pool_plan(plan, root):
    """Write a plan of small files made from one random pool: one open, writev,
    futimens and close per file, nothing else."""
    pool = memoryview(random.Random(plan.pool_seed).randbytes(POOL_BYTES))
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW | os.O_CLOEXEC
    for f in plan.folders:
        os.makedirs(os.path.join(root, f.rel) if f.rel else root, exist_ok=True)

    def put(path, parts, size, mtime):
        fd = os.open(path, flags, 0o644)
        try:
            if os.writev(fd, parts) != size:
                raise OSError(f"short write to {path}")
            os.utime(fd, (mtime, mtime))
        finally:
            os.close(fd)

    for pf in plan.files:
        parts = pool_parts(pool, pf)
        put(os.path.join(root, pf.folder.rel, pf.name), parts, pf.size, pf.mtime)
        for folder, name, t in pf.copies:
            put(os.path.join(root, folder.rel, name), parts, pf.size, t)


def write_plan(plan, root):
    if plan.pool_seed is not None:
        write_pool_plan(plan, root)
        return
    made = set()

    def ensure(folder):
        d = os.path.join(root, folder.rel) if folder.rel else root
        if d not in made:
            os.makedirs(d, exist_ok=True)
            made.add(d)
        return d

    for f in plan.folders:       # empty folders are part of the tree too
        ensure(f)
    for pf in plan.files:
        chunks = content_chunks(pf.seed, pf.size, pf.magic, pf.patches)
        if pf.size <= CHUNK:
            data = b"".join(chunks)
            write_file(os.path.join(ensure(pf.folder), pf.name), [data], pf.mtime)
            for folder, name, t in pf.copies:
                write_file(os.path.join(ensure(folder), name), [data], t)
        else:
            write_file(os.path.join(ensure(pf.folder), pf.name), chunks, pf.mtime)
            for folder, name, t in pf.copies:
                write_file(os.path.join(ensure(folder), name),
                           content_chunks(pf.seed, pf.size, pf.magic, pf.patches), t)


def plan_stats(plan):
    sizes = {}
    nfiles = nbytes = nchars = 0
    for rel, size in plan.all_files():
        nfiles += 1
        nbytes += size
        nchars += len(rel)
        sizes[size] = sizes.get(size, 0) + 1
    groups = plan.groups()
    return {
        "files": nfiles,
        "bytes": nbytes,
        "folders": len(plan.folders) - 1,
        "max_depth": max(f.depth for f in plan.folders),
        "same_size_files": sum(c for c in sizes.values() if c > 1),
        "duplicate_groups": len(groups),
        "duplicate_files": sum(len(g) for g in groups),
        "redundant_copies": sum(len(g) - 1 for g in groups),
        "mean_path_chars": round(nchars / max(1, nfiles), 1),
    }


def manifest_path(target, tree):
    return os.path.join(target, tree + ".manifest.json")


def generate(target, tree, scale=1.0, seed=0, force=False, quiet=False):
    """Make `tree` under `target`; returns the manifest (also written to disk)."""
    root = os.path.join(target, tree)
    mpath = manifest_path(target, tree)
    if os.path.lexists(root) or os.path.lexists(mpath):
        if not force:
            raise FileExistsError(f"{root} or its manifest already exists (use --force)")
        if os.path.lexists(mpath):
            os.remove(mpath)
        if os.path.lexists(root):
            shutil.rmtree(root)
    t0 = time.monotonic()
    plan = make_plan(tree, scale, seed)
    os.makedirs(root)
    write_plan(plan, root)
    manifest = {
        "tree": tree,
        "root": tree,
        "scale": scale,
        "seed": seed,
        "generator_version": GENERATOR_VERSION,
        "stats": plan_stats(plan),
        "duplicate_groups": plan.groups(),
    }
    tmp = mpath + ".part"
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(manifest, f, ensure_ascii=False, indent=1)
        f.write("\n")
    os.replace(tmp, mpath)          # the manifest appears only for a finished tree
    if not quiet:
        st = manifest["stats"]
        print(f"{tree}: {st['files']} files, {st['bytes'] / 1024**3:.2f} GiB, "
              f"{st['folders']} folders, {st['duplicate_groups']} duplicate groups, "
              f"{st['same_size_files']} files share a size "
              f"({time.monotonic() - t0:.1f} s) -> {root}", flush=True)
    return manifest


def load_manifest(target, tree):
    with open(manifest_path(target, tree), encoding="utf-8") as f:
        return json.load(f)


# --------------------------------------------------------------- checking --

def scan_tree(root):
    """Return {relative path: size} of the regular files under root, and a list
    of problems with the tree (things the corpus must not contain)."""
    files, problems = {}, []

    def walk(d, rel):
        with os.scandir(d) as it:
            for e in it:
                r = join_rel(rel, e.name)
                if e.name.startswith("."):
                    problems.append(f"hidden name: {r}")
                if ";" in e.name or "\n" in e.name:
                    problems.append(f"bad character in name: {r}")
                if e.is_symlink():
                    problems.append(f"symlink: {r}")
                elif e.is_dir():
                    walk(e.path, r)
                elif e.is_file():
                    size = e.stat().st_size
                    if size == 0:
                        problems.append(f"empty file: {r}")
                    files[r] = size
                else:
                    problems.append(f"not a regular file: {r}")

    walk(root, "")
    return files, problems


def hash_groups(root, files):
    """Duplicate groups found by hashing every file that shares its size."""
    by_size = {}
    for rel, size in files.items():
        by_size.setdefault(size, []).append(rel)
    groups = []
    for size, rels in by_size.items():
        if len(rels) < 2:
            continue
        by_digest = {}
        for rel in rels:
            h = hashlib.blake2b(digest_size=32)
            with open(os.path.join(root, rel), "rb") as f:
                while True:
                    b = f.read(MiB)
                    if not b:
                        break
                    h.update(b)
            by_digest.setdefault(h.digest(), []).append(rel)
        groups.extend(sorted(g) for g in by_digest.values() if len(g) > 1)
    return sorted(groups)


def verify(target, tree):
    """Check a generated tree against its manifest by hashing it; returns a
    list of problems (empty when everything matches)."""
    manifest = load_manifest(target, tree)
    root = os.path.join(target, manifest["root"])
    files, problems = scan_tree(root)
    st = manifest["stats"]
    if len(files) != st["files"]:
        problems.append(f"{len(files)} files on disk, manifest says {st['files']}")
    if sum(files.values()) != st["bytes"]:
        problems.append("byte total differs from the manifest")
    found = {frozenset(g) for g in hash_groups(root, files)}
    expected = {frozenset(g) for g in manifest["duplicate_groups"]}
    for g in sorted(expected - found, key=sorted):
        problems.append(f"manifest group not found by hashing: {sorted(g)}")
    for g in sorted(found - expected, key=sorted):
        problems.append(f"group found by hashing but missing from the manifest: {sorted(g)}")
    return problems


# ------------------------------------------------------------------- main --

def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("target", help="folder that receives TREE/ and TREE.manifest.json")
    ap.add_argument("--tree", choices=ALL_TREES + ("all",), default="all",
                    help="which tree to make (default: all = " + ", ".join(TREES)
                         + "; million only by name)")
    ap.add_argument("--scale", type=float, default=1.0,
                    help="multiply file counts (and the sizes of the big files) "
                         "by this factor, e.g. 0.02 for a smoke run (default 1)")
    ap.add_argument("--seed", type=int, default=0,
                    help="offset added to the fixed seeds (default 0)")
    ap.add_argument("--force", action="store_true",
                    help="replace a tree that already exists")
    ap.add_argument("--verify", action="store_true",
                    help="after writing (or instead, with --verify-only) hash the "
                         "tree and compare it with the manifest")
    ap.add_argument("--verify-only", action="store_true",
                    help="do not generate, only check existing trees")
    ap.add_argument("--dry-run", action="store_true",
                    help="print the statistics of the plan, write nothing")
    args = ap.parse_args(argv)
    if not args.scale > 0:
        ap.error("--scale must be positive")
    trees = TREES if args.tree == "all" else (args.tree,)
    status = 0
    for tree in trees:
        if args.dry_run:
            st = plan_stats(make_plan(tree, args.scale, args.seed))
            print(tree, json.dumps(st))
            continue
        if not args.verify_only:
            os.makedirs(args.target, exist_ok=True)
            try:
                generate(args.target, tree, args.scale, args.seed, args.force)
            except FileExistsError as e:
                print(f"error: {e}", file=sys.stderr)
                return 2
        if args.verify or args.verify_only:
            problems = verify(args.target, tree)
            for p in problems[:20]:
                print(f"  {tree}: {p}")
            if len(problems) > 20:
                print(f"  {tree}: ... {len(problems) - 20} more problems")
            print(f"{tree}: verify {'FAILED' if problems else 'ok'}")
            status = status or (1 if problems else 0)
    return status


if __name__ == "__main__":
    sys.exit(main())
