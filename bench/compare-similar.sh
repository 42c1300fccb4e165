#!/bin/bash
# Pairwise precision, recall and F1, and the wall time, of `lumisort-bench similar` and of
# findimagedupes (default threshold) on a corpus made by make-similar-corpus.sh.
# usage: compare-similar.sh DIR [BENCH]   (BENCH: build/release/bin/lumisort-bench)
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 DIR [BENCH]" >&2; exit 2; }
dir=$(realpath "$1")
here=$(dirname "$0")
bench=${2:-$here/../build/release/bin/lumisort-bench}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

wall() { # seconds of the command, its output into $1
    local file=$1; shift
    local start end
    start=$(date +%s.%N)
    "$@" >"$file" 2>"$file.err"
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

lumisort=$(wall "$out/lumisort" "$bench" similar "$dir")
# findimagedupes fingerprints every file afresh (no database), as a first run does.
mapfile -t files < <(cut -f1 "$dir/truth.tsv")
finder=$(wall "$out/finder" findimagedupes -q "${files[@]}")

printf '%-16s %s seconds=%s\n' lumisort "$(/usr/bin/python3 "$here/similar-scores.py" "$dir/truth.tsv" "$out/lumisort" tab)" "$lumisort"
printf '%-16s %s seconds=%s\n' findimagedupes "$(/usr/bin/python3 "$here/similar-scores.py" "$dir/truth.tsv" "$out/finder" space)" "$finder"
