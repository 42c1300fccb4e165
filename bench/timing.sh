# Sourced by the compare scripts.

# best_ms RUNS COMMAND...: the shortest wall time of RUNS runs of COMMAND (its output
# dropped), in milliseconds.
best_ms() {
    local runs=$1 best= t0 t
    shift
    for _ in $(seq "$runs"); do
        t0=$(date +%s%N)
        "$@" > /dev/null
        t=$(( ($(date +%s%N) - t0) / 1000000 ))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    echo "$best"
}
