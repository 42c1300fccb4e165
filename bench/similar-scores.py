#!/usr/bin/python3
"""Pairwise precision, recall and F1 of a grouping against a corpus's truth file.

usage: similar-scores.py TRUTH GROUPS SEPARATOR
TRUTH: path<TAB>label per file; GROUPS: one group per line, paths split by SEPARATOR ('tab' or
'space'). A pair is positive when both files carry one label; a grouping claims every pair
within one of its groups."""
import itertools
import os
import sys

truth_file, groups_file, separator = sys.argv[1:4]
label = {}
for line in open(truth_file):
    path, name = line.rstrip('\n').split('\t')
    label[os.path.realpath(path)] = name
claimed = set()
for line in open(groups_file, errors='surrogateescape'):
    members = line.rstrip('\n').split('\t' if separator == 'tab' else None)
    members = sorted(os.path.realpath(m) for m in members if m)
    claimed.update(itertools.combinations(members, 2))
by_label = {}
for path, name in label.items():
    by_label.setdefault(name, []).append(path)
positive = {pair for paths in by_label.values() for pair in itertools.combinations(sorted(paths), 2)}
true_positive = len(claimed & positive)
precision = true_positive / len(claimed) if claimed else 1.0
recall = true_positive / len(positive) if positive else 1.0
f1 = 2 * precision * recall / (precision + recall) if precision + recall else 0.0
print(f'precision={precision:.3f} recall={recall:.3f} f1={f1:.3f} pairs={len(claimed)} true_pairs={len(positive)}')
