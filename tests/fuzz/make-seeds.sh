#!/usr/bin/env bash
# make-seeds.sh DIR — writes the decoder fuzzer's seed files into DIR (built by `make fuzz`).
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
mkdir -p "$1"
QT_QPA_PLATFORM=offscreen "$(dirname "$0")/../../build/fuzz/make_seeds" "$1"
