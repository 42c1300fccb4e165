#!/usr/bin/env bash
# compare-duplicates.sh DIR [RUNS] — times `lumisort-bench duplicates` against jdupes,
# fdupes and rmlint (MD5) on the same tree, warm cache, best of RUNS (default 5) wall
# times, checks that its groups are fdupes's, and prints the ratios; then the same with the
# library cache: a cold run (cache emptied) and a warm one (cache filled), and their groups.
set -euo pipefail
dir=${1:?usage: $0 DIR [RUNS]}
runs=${2:-5}
bench=${LUMISORT_BENCH:-$(dirname "$0")/../build/release/bin/lumisort-bench}
for tool in jdupes fdupes rmlint; do
    command -v "$tool" > /dev/null || { echo "$tool is missing (apt-get install $tool)" >&2; exit 2; }
done
# rmlint writes its reports into the working folder: keep them out of the tree.
scratch=$(mktemp -d)
mkdir "$scratch/cache"
trap 'rm -rf "$scratch"' EXIT

names=("lumisort-bench duplicates" "jdupes -r -z" "fdupes -r" "rmlint --algorithm=md5")
run() {
    case $1 in
        0) "$bench" duplicates "$dir" 2> "$scratch/lumisort.err" ;;
        1) jdupes -r -z "$dir" 2> /dev/null ;;
        2) fdupes -r "$dir" 2> /dev/null ;;
        3) (cd "$scratch" && rmlint --algorithm=md5 "$dir" -o fdupes:"$scratch/rmlint.txt" 2> /dev/null) ;;
    esac
}
. "$(dirname "$0")/timing.sh"

# One line per group: its paths sorted and joined by a tab; lines sorted.
fdupes_groups() {
    awk 'NF == 0 { if (n) print line; line = ""; n = 0; next }
         { line = n ? line "\t" $0 : $0; n++ }
         END { if (n) print line }' |
        while IFS= read -r line; do tr '\t' '\n' <<< "$line" | sort | paste -sd '\t'; done | sort
}

for i in 0 1 2 3; do run "$i" > /dev/null; done # warm the cache
run 0 > "$scratch/lumisort.txt"
run 2 | fdupes_groups > "$scratch/fdupes.txt"
if ! cmp -s "$scratch/lumisort.txt" "$scratch/fdupes.txt"; then
    echo "groups differ from fdupes's (< lumisort, > fdupes):" >&2
    diff "$scratch/lumisort.txt" "$scratch/fdupes.txt" | head -n 20 >&2
    exit 1
fi
echo "$(cat "$scratch/lumisort.err"); groups agree with fdupes -r"

best=()
for i in 0 1 2 3; do best+=("$(best_ms "$runs" run "$i")"); done
printf '%-28s %8s  %s\n' tool ms "lumisort / tool"
for i in 0 1 2 3; do
    ratio=$(awk -v a="${best[0]}" -v b="${best[$i]}" 'BEGIN { printf "%.2f", a / b }')
    printf '%-28s %8d  %s\n' "${names[$i]}" "${best[$i]}" "$ratio"
done
echo "(wall times, best of $runs; targets: <= 0.5 of fdupes and rmlint, <= 1.5 of jdupes)"

# With the library cache: cold (emptied first), then warm; the groups must not change.
"$bench" duplicates --cache "$scratch/cache" "$dir" > "$scratch/cached.txt" 2> "$scratch/cached.err"
cmp -s "$scratch/cached.txt" "$scratch/lumisort.txt" || { echo "groups differ with the library cache" >&2; exit 1; }
echo "with the library cache: $(grep cold_seconds "$scratch/cached.err") (targets: cold <= 1.05x the run without it)"
