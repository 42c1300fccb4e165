#!/usr/bin/env python3
"""Makes DIR with N photo-named files of real photo sizes (log-normal, median about
3.3 MB) that take little disk: each holds 4 KB of random bytes at its start and end, the
rest is a hole. About 10% are copies of an earlier file (same size, same bytes).

Usage: bench/make-sized-tree.py DIR [N]   (N: 100000)"""
import os
import random
import sys

root = sys.argv[1]
count = int(sys.argv[2]) if len(sys.argv) > 2 else 100_000
random.seed(7)
made = []
for i in range(count):
    folder = os.path.join(root, f"y{i % 20:02d}", f"m{(i // 20) % 50:02d}")
    os.makedirs(folder, exist_ok=True)
    if made and random.random() < 0.1:
        size, head, tail = random.choice(made)
    else:
        size = max(20_000, int(random.lognormvariate(15.0, 0.5)))
        head, tail = os.urandom(4096), os.urandom(4096)
        made.append((size, head, tail))
    with open(os.path.join(folder, f"IMG_{i:06d}.jpg"), "wb") as f:
        f.write(head)
        f.truncate(size)
        f.seek(size - 4096)
        f.write(tail)
