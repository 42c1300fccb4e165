#!/usr/bin/env bash
# compare-scan.sh DIR [RUNS] — times `lumisort-bench scan` against a find(1) that stats
# every file with one of the ten image extensions, warm cache, best of RUNS (default 5).
set -euo pipefail
dir=${1:?usage: $0 DIR [RUNS]}
runs=${2:-5}
bench=${LUMISORT_BENCH:-$(dirname "$0")/../build/release/bin/lumisort-bench}

find_photos() {
    find "$@" -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' -o -iname '*.gif' \
        -o -iname '*.heic' -o -iname '*.heif' -o -iname '*.tiff' -o -iname '*.tif' \
        -o -iname '*.bmp' -o -iname '*.webp' \) -printf '%s %T@\n'
}
best() { sort -n | head -n 1; }
now() { date +%s.%N; }

find_photos "$dir" > /dev/null       # warm the cache
"$bench" scan "$dir" > /dev/null

find_times=() scan_times=()
for _ in $(seq "$runs"); do
    t0=$(now); find_photos "$dir" > /dev/null; t1=$(now)
    find_times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
    out=$("$bench" scan "$dir")
    scan_times+=("$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<< "$out")")
done
find_best=$(printf '%s\n' "${find_times[@]}" | best)
scan_best=$(printf '%s\n' "${scan_times[@]}" | best)
echo "$out"
printf 'find: %.3f s  lumisort-bench scan: %.3f s  ratio: %.2f (best of %d)\n' \
    "$find_best" "$scan_best" "$(awk -v a="$scan_best" -v b="$find_best" 'BEGIN { print a / b }')" "$runs"
