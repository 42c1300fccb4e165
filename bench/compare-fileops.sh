#!/usr/bin/env bash
# compare-fileops.sh DIR [N] [RUNS] — times `lumisort-bench fileops DIR N` (N files of 1 MB,
# default 200) against `cp --preserve=mode,timestamps` (what a copy keeps), `mv` and
# trash-cli's `trash-put` doing the same to the same files, best of RUNS (3) each, and
# prints the ratios. Every trash is DIR/xdg's. Each tool runs once over all the files.
set -euo pipefail
shopt -s inherit_errexit
dir=${1:?usage: $0 DIR [N] [RUNS]}
n=${2:-200}
runs=${3:-3}
bench=${LUMISORT_BENCH:-$(dirname "$0")/../build/release/bin/lumisort-bench}
. "$(dirname "$0")/timing.sh"
command -v trash-put > /dev/null || { echo "needs trash-put (apt-get install trash-cli)" >&2; exit 1; }

# lumisort-bench times each step itself; it also makes DIR/src on its first run.
"$bench" fileops "$dir" "$n" > /dev/null
declare -A ours=([copy]= [move]= [trash]=)
for _ in $(seq "$runs"); do
    sync
    while read -r op ms; do
        if [ -z "${ours[$op]}" ] || awk -v a="$ms" -v b="${ours[$op]}" 'BEGIN { exit !(a < b) }'; then
            ours[$op]=$ms
        fi
    done < <("$bench" fileops "$dir" "$n" | sed -n 's/^op=\([a-z]*\) ms=\([0-9.]*\).*/\1 \2/p')
done

# The tools: run k copies into cp/k, moves cp/k to mv/k, trashes mv/k.
work="$dir/tools"
rm -rf "$work" "$dir/xdg"
mkdir -p "$work"
export XDG_DATA_HOME="$dir/xdg"
run_cp() { mkdir "$work/cp$1"; cp --preserve=mode,timestamps "$dir"/src/* "$work/cp$1/"; }
run_mv() { mkdir "$work/mv$1"; mv "$work/cp$1"/* "$work/mv$1/"; }
run_trash() { trash-put "$work/mv$1"/*; }
# As in lumisort-bench, each run starts with nothing left to write back.
best_synced() {
    local best= t
    for k in $(seq "$runs"); do
        sync
        t=$(best_ms 1 "$@" "$k")
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    echo "$best"
}
cp_ms=$(best_synced run_cp)
mv_ms=$(best_synced run_mv)
trash_ms=$(best_synced run_trash)
rm -rf "$work" "$dir/xdg"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf 'files=%d of 1 MB, best of %d, ms\n' "$n" "$runs"
printf 'copy:  lumisort %7.1f  cp        %6d  ratio %s\n' "${ours[copy]}" "$cp_ms" "$(ratio "${ours[copy]}" "$cp_ms")"
printf 'move:  lumisort %7.1f  mv        %6d  ratio %s\n' "${ours[move]}" "$mv_ms" "$(ratio "${ours[move]}" "$mv_ms")"
printf 'trash: lumisort %7.1f  trash-put %6d  ratio %s\n' "${ours[trash]}" "$trash_ms" "$(ratio "${ours[trash]}" "$trash_ms")"
