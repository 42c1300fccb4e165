#!/usr/bin/env bash
# make-photos.sh DIR [COUNT] — writes COUNT (100) photo-like 4000 x 3000 JPEGs (quality 90,
# about 4.4 MB each) into DIR with `lumisort-bench make-photos`.
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 DIR [COUNT]" >&2
    exit 2
fi
bench=${LUMISORT_BENCH:-$(dirname "$0")/../build/release/bin/lumisort-bench}
"$bench" make-photos "$1" "${2:-100}"
echo "made ${2:-100} photos ($(du -sh "$1" | cut -f1)) under $1"
