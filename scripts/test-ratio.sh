#!/usr/bin/env bash
# Lines of tests against lines of code: non-blank lines not starting with "//" in
# src/**/*.{h,cpp} and tests/**/*.{h,cpp}. Run from anywhere in the checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
    find "$1" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 \
        | xargs -0 cat | grep -cvE '^[[:space:]]*(//|$)'
}
src=$(count src)
tests=$(count tests)
awk -v s="$src" -v t="$tests" 'BEGIN { printf "src %d  tests %d  ratio %.2f\n", s, t, t / s }'
