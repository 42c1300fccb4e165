#!/usr/bin/env bash
# make-duplicate-tree.sh DIR [FILES] — makes a tree for the duplicate benchmarks: FILES
# (2500) photo-sized files of 100 KB to 8 MB (log-uniform) in 40 folders, with image
# extensions; about 10% are copies in groups of 2-4, about 10% share their size with
# others but differ (from the first byte, in the middle or only in the last bytes), and
# the rest have sizes of their own. The layout is the same on every run, the bytes not.
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 DIR [FILES]" >&2
    exit 2
fi
root=$1 files=${2:-2500}
mkdir -p "$root"
cd "$root"
pool=$(mktemp)
trap 'rm -f "$pool"' EXIT
head -c $((16 << 20)) /dev/urandom > "$pool"

# One line per file: path size offset [mark-position | "copy" source-path].
awk -v n="$files" -v poolsize=$((16 << 20)) 'BEGIN {
    srand(11)
    split("jpg JPG jpeg png PNG heic tif tiff webp bmp gif", ext, " ")
    lo = log(100000); hi = log(8000000)
    for (i = 0; i < n;) {
        size = int(exp(lo + rand() * (hi - lo)))
        offset = int(rand() * (poolsize - size))
        r = rand()
        count = (r < 0.08) ? 2 + int(rand() * 3) : 1
        for (k = 0; k < count && i < n; k++) {
            path = sprintf("dir%02d/IMG_%05d.%s", int(rand() * 40), i, ext[int(rand() * 11) + 1])
            if (r < 0.04) {           # a copy of the first of its group
                if (k == 0) { first = path; print path, size, offset, -1 }
                else print path, size, offset, "copy", first
            } else if (r < 0.08) {    # same size, different bytes
                how = int(rand() * 3)
                if (how == 0) print path, size, int(rand() * (poolsize - size)), -1
                else print path, size, offset, (how == 1 ? int(size / 2) : size - 8)
            } else {
                print path, size, offset, -1
            }
            i++
        }
    }
}' > .plan.txt

mkdir -p $(printf 'dir%02d ' $(seq 0 39))
while read -r path size offset mark source; do
    if [ "$mark" = copy ]; then
        cp "$source" "$path"
        continue
    fi
    dd if="$pool" of="$path" bs=1M iflag=skip_bytes,count_bytes skip="$offset" count="$size" status=none
    # Files of one size cut from the same place differ by the number written at `mark`.
    if [ "$mark" -ge 0 ]; then
        number=${path##*_}
        printf '%08d' "$((10#${number%%.*}))" | dd of="$path" bs=1 seek="$mark" conv=notrunc status=none
    fi
done < .plan.txt
rm -f .plan.txt
echo "made $files files ($(du -sh . | cut -f1)) under $root"
