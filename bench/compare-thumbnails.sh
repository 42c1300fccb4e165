#!/usr/bin/env bash
# compare-thumbnails.sh DIR [RUNS] — times `lumisort-bench thumbnails DIR 100` against
# `vipsthumbnail -s 150x150 --smartcrop centre` over the same photos (the first 100 the
# scan lists), warm cache, best of RUNS (3) wall times, and prints their ratio.
# Needs vipsthumbnail: apt-get install libvips-tools
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 DIR [RUNS]" >&2
    exit 2
fi
dir=$(realpath "$1")
runs=${2:-3}
bench=${LUMISORT_BENCH:-$(dirname "$0")/../build/release/bin/lumisort-bench}
command -v vipsthumbnail > /dev/null || { echo "vipsthumbnail is missing (apt-get install libvips-tools)" >&2; exit 2; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The scan lists the photos first, then its summary line.
mapfile -t files < <("$bench" scan --list "$dir" | grep -v '^photos=' | head -n 100)
[ ${#files[@]} -gt 0 ] || { echo "no photos under $dir" >&2; exit 1; }

run() {
    case $1 in
        0) "$bench" thumbnails "$dir" 100 2> /dev/null ;;
        1) vipsthumbnail -s 150x150 --smartcrop centre -o "$scratch/%s.jpg" "${files[@]}" ;;
    esac
}
. "$(dirname "$0")/timing.sh"

run 0 > /dev/null; run 1 > /dev/null # warm the cache
best=()
for i in 0 1; do best+=("$(best_ms "$runs" run "$i")"); done
echo "photos=${#files[@]} $(run 0)"
printf '%-48s %8s\n' tool ms
printf '%-48s %8d\n' "lumisort-bench thumbnails" "${best[0]}" "vipsthumbnail -s 150x150 --smartcrop centre" "${best[1]}"
echo "lumisort / vipsthumbnail: $(awk -v a="${best[0]}" -v b="${best[1]}" 'BEGIN { printf "%.2f", a / b }')" \
     "(wall times, best of $runs; target <= 0.6)"
