# shellcheck shell=bash
# Shared by compare-cat.sh and compare-floor.sh: the decoder's output name and the medians' report.

# The decoder's output for log $1: the path without its last four characters + ".sql" (a name shorter than
# five characters keeps its whole name). Fails when that would be the log itself.
decoder_output() {
    local log=$1 name=${1##*/} sql
    if ((${#name} < 5)); then sql="$log.sql"; else sql="${log:0:${#log}-4}.sql"; fi
    if [ "$sql" = "$log" ] || [ "$sql" -ef "$log" ]; then
        echo "${0##*/}: the decoder's output would be the log itself: $log" >&2
        return 2
    fi
    echo "$sql"
}

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

# report NAME TIMES... -- the floor's times, then decode-bench's: both medians and their ratio.
report() {
    local name=$1 floor=() decode=()
    shift
    while [ "$1" != "--" ]; do floor+=("$1"); shift; done
    shift
    decode=("$@")
    local mf md
    mf=$(median "${floor[@]}") md=$(median "${decode[@]}")
    printf '%-12s (us): %s  median %s\n' "$name" "${floor[*]}" "$mf"
    echo "decode-bench (us): ${decode[*]}  median $md"
    awk -v f="$mf" -v d="$md" -v n="$name" 'BEGIN {printf "ratio decode-bench / %s: %.2f\n", n, d / f}'
}
