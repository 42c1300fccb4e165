#!/usr/bin/python3
"""Pairwise precision and recall of every pair of band limits, from the signatures that
`lumisort-bench similar --signatures FILE DIR` wrote, against DIR's truth file; and the widest
distances of each variant kind to its original.  usage: similar-thresholds.py TRUTH SIGNATURES"""
import collections
import os
import sys

import numpy as np

truth = {os.path.realpath(p): l for p, l in (line.rstrip('\n').split('\t') for line in open(sys.argv[1]))}
rows = [line.rstrip('\n').split('\t') for line in open(sys.argv[2])]
paths = [os.path.realpath(r[0]) for r in rows]
labels = np.array([truth[p] for p in paths])
kinds = [os.path.basename(p).rsplit('_', 1)[1].split('.')[0] for p in paths]
bits = lambda column: np.array([[int(r[column], 16) >> b & 1 for b in range(64)] for r in rows], np.uint8)
coarse, fine = bits(1), bits(2)
dc = (coarse[:, None] != coarse[None]).sum(2)
df = (fine[:, None] != fine[None]).sum(2)
n = len(rows)
same = labels[:, None] == labels[None]
upper = np.triu_indices(n, 1)
orig = {labels[i]: i for i in range(n) if kinds[i] == 'orig'}
widest = collections.defaultdict(lambda: [0, 0])
for i in range(n):
    if kinds[i] != 'orig' and labels[i] in orig:
        o = orig[labels[i]]
        widest[kinds[i]] = [max(widest[kinds[i]][0], dc[i, o]), max(widest[kinds[i]][1], df[i, o])]
print('widest coarse/fine per kind:', ' '.join(f'{k}:{c}/{f}' for k, (c, f) in widest.items()))
negative = ~same & (np.arange(n)[:, None] < np.arange(n)[None])
close = sorted((dc[i, j], df[i, j], os.path.basename(paths[i]), os.path.basename(paths[j]))
               for i, j in zip(*np.nonzero(negative & (dc <= 8) & (df <= 24))))
print('closest other pictures:', close[:8])


def grouped(link):
    parent = list(range(n))

    def find(x):
        while parent[x] != x:
            parent[x] = parent[parent[x]]
            x = parent[x]
        return x
    for i, j in zip(*np.nonzero(np.triu(link, 1))):
        parent[find(i)] = find(j)
    roots = np.array([find(i) for i in range(n)])
    return roots[:, None] == roots[None]


for c in range(2, 10, 2):
    line = []
    for f in range(0, 26, 2):
        g = grouped((dc <= c) & (df <= f))
        tp, fp, fn = (g & same)[upper].sum(), (g & ~same)[upper].sum(), (~g & same)[upper].sum()
        line.append(f'{f}:{tp / max(1, tp + fp):.3f}/{tp / max(1, tp + fn):.3f}')
    print(f'coarse<={c} fine<=P/R', ' '.join(line))
