#!/usr/bin/env python3
"""Writes a deterministic tree of files for the file-system benchmarks.

usage: make_tree.py DIR FILES TOTAL_MIB SEED
       make_tree.py --big FILE MIB SEED

The tree has FILES files of pseudo-random bytes, about TOTAL_MIB MiB in all, sizes spread like
real folders (many small files, a few large ones), 100 files to a folder, 32 folders to a group:
  group_00/folder_0000/report_000000.dat ...
Beside DIR it writes DIR.sha256 (`sha256sum -c` lines for every file in creation order, paths
relative to DIR) and prints one line: "files bytes bytes_in_4k_clusters bytes_in_32k_clusters folders".
With --big it writes one file of MIB MiB and prints its SHA-256.
"""
import hashlib
import os
import random
import sys

POOL_BYTES = 16 << 20


def write_bytes(path, size, rng, pool, digest):
    with open(path, "wb") as out:
        left = size
        while left > 0:
            start = rng.randrange(0, POOL_BYTES - 1)
            piece = pool[start:start + min(left, POOL_BYTES - start)]
            out.write(piece)
            if digest is not None:
                digest.update(piece)
            left -= len(piece)


def big(path, mib, seed):
    rng = random.Random(seed)
    digest = hashlib.sha256()
    with open(path, "wb") as out:
        for _ in range(mib):
            chunk = rng.randbytes(1 << 20)
            out.write(chunk)
            digest.update(chunk)
    print(digest.hexdigest())


def tree(root, files, total_mib, seed):
    rng = random.Random(seed)
    pool = rng.randbytes(POOL_BYTES)
    average = (total_mib << 20) / max(files, 1)
    raw = [rng.expovariate(1.0) for _ in range(files)]
    scale = (total_mib << 20) / max(sum(raw), 1e-9)
    cap = min(64 * average, POOL_BYTES * 4)
    sizes = [int(min(r * scale, cap)) for r in raw]
    paths = []
    folders = set()
    for i in range(files):
        folder = i // 100
        rel = "group_%02d/folder_%04d/report_%06d.dat" % (folder // 32, folder, i)
        paths.append(rel)
        folders.add(os.path.dirname(rel))
        folders.add(os.path.dirname(os.path.dirname(rel)))
    for f in sorted(folders):
        os.makedirs(os.path.join(root, f), exist_ok=True)
    with open(root + ".sha256", "w") as sums:
        for rel, size in zip(paths, sizes):
            digest = hashlib.sha256()
            write_bytes(os.path.join(root, rel), size, rng, pool, digest)
            sums.write("%s  %s\n" % (digest.hexdigest(), rel))
    r4 = sum((s + 4095) // 4096 * 4096 for s in sizes)
    r32 = sum((s + 32767) // 32768 * 32768 for s in sizes)
    print(files, sum(sizes), r4, r32, len(folders))


def main(argv):
    if len(argv) == 4 and argv[0] == "--big":
        big(argv[1], int(argv[2]), int(argv[3]))
    elif len(argv) == 4:
        tree(argv[0], int(argv[1]), int(argv[2]), int(argv[3]))
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
