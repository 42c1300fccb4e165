#!/usr/bin/env bash
# make-tree.sh DIR FILES DIRS — makes a synthetic photo tree for the benchmarks:
# DIRS nested folders (some hidden, some named "~..."), FILES empty files spread over them,
# about 70% with image extensions in mixed letter case, the rest other types.
set -euo pipefail
if [ $# -ne 3 ]; then
    echo "usage: $0 DIR FILES DIRS" >&2
    exit 2
fi
root=$1 files=$2 dirs=$3
mkdir -p "$root"
cd "$root"

# Folder i hangs below a random earlier folder, which gives a bushy tree a few levels deep.
awk -v n="$dirs" 'BEGIN {
    srand(42); path[0] = "."
    for (i = 1; i < n; i++) {
        parent = int(rand() * i); r = rand()
        name = (r < 0.03) ? ".hidden" i : (r < 0.04) ? "~tmp" i : "dir" i
        if (length(path[parent]) > 120) parent = 0
        path[i] = path[parent] "/" name
        print path[i]
    }
}' > .dirs.txt
xargs -d '\n' mkdir -p < .dirs.txt

awk -v n="$files" 'BEGIN {
    srand(7)
    split("jpg JPG jpeg png PNG heic HEIC gif tif tiff webp bmp", image, " ")
    split("txt pdf mp4 xmp mov json", other, " ")
}
{ dir[NR] = $0 }
END {
    dir[0] = "."
    for (i = 0; i < n; i++) {
        d = dir[int(rand() * (NR + 1))]
        r = rand()
        if (r < 0.70)      ext = "." image[int(rand() * 12) + 1]
        else if (r < 0.97) ext = "." other[int(rand() * 6) + 1]
        else               ext = ""
        prefix = (rand() < 0.01) ? "." : "IMG_"
        print d "/" prefix i ext
    }
}' .dirs.txt > .files.txt
xargs -d '\n' touch < .files.txt
rm -f .dirs.txt .files.txt
echo "made $files files in $dirs folders under $root"
