#!/bin/bash
# A second scan of an unchanged library against the bare walk: alternating runs of
# `lumisort-bench scan DIR` and `lumisort-bench duplicates --warm --cache CACHE DIR` (the walk
# and the duplicate stage with the cache an earlier run filled), their medians and ratio.
# usage: warm-scan-ratio.sh DIR CACHE [RUNS] [BENCH]   (fill CACHE first: duplicates --cache CACHE DIR)
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 DIR CACHE [RUNS] [BENCH]" >&2; exit 2; }
dir=$1 cache=$2 runs=${3:-7}
bench=${4:-$(dirname "$0")/../build/release/bin/lumisort-bench}
walk=() warm=()
for _ in $(seq "$runs"); do
    walk+=("$("$bench" scan "$dir" | sed 's/.*seconds=//')")
    warm+=("$("$bench" duplicates --warm --cache "$cache" "$dir" 2>&1 >/dev/null | grep -o 'warm_seconds=[0-9.]*' | cut -d= -f2)")
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
w=$(median "${walk[@]}") d=$(median "${warm[@]}")
echo "walk_seconds=${walk[*]}"
echo "warm_seconds=${warm[*]}"
echo "median_walk=$w median_warm=$d ratio=$(echo "scale=3; $d / $w" | bc)"
