#!/bin/bash
# Makes the labelled corpus of the similar-photo benchmark in DIR (see make-similar-corpus.py).
# Needs Debian's python3 with PIL, numpy and skimage's data, cwebp and heif-enc.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
exec /usr/bin/python3 "$(dirname "$0")/make-similar-corpus.py" "$1"
