#!/usr/bin/env bash
# Times decoder::DecodeFile in-process (decode-bench's own clock) against the I/O floor (io-floor: the same
# log read through user memory in 1 MiB read()s, as many bytes written as the ".sql" holds, nothing looked
# at), alternating, after a warm-up, and prints both medians and their ratio (the goal: at most 1.10).
# Each timed run writes a fresh output: the previous one is removed before the run, for both sides.
# usage: compare-floor.sh DECODE_BENCH IO_FLOOR LOG [ROUNDS=9] [DECODE_BENCH OPTIONS...]
set -euo pipefail
bench=$1 floor=$2 log=$3 rounds=${4:-9}
shift $(($# < 4 ? $# : 4))
name=${log##*/}
# The decoder's output: the path without its last four characters + ".sql" (a name shorter than five
# characters keeps its whole name).
if ((${#name} < 5)); then sql="$log.sql"; else sql="${log:0:${#log}-4}.sql"; fi
if [ "$sql" = "$log" ] || [ "$sql" -ef "$log" ]; then
    echo "compare-floor.sh: the decoder's output would be the log itself: $log" >&2
    exit 2
fi
out=$(mktemp "$(dirname "$log")/floor-out.XXXXXX")
trap 'rm -f "$out"' EXIT
# Seconds as the program printed them ("..., S s, ..."), in microseconds.
micros() { sed -n 's/.* bytes out, \([0-9.]*\) s.*/\1/p' | awk '{printf "%d\n", $1 * 1e6 + 0.5}'; }
"$bench" "$@" "$log" > /dev/null # warms the page cache and gives the size to write
bytes=$(stat -c %s "$sql")
rm -f "$out"; "$floor" "$log" "$out" "$bytes" > /dev/null
floors=() decs=()
for ((i = 0; i < rounds; i++)); do
    rm -f "$out"
    floors+=($("$floor" "$log" "$out" "$bytes" | micros))
    rm -f "$sql"
    decs+=($("$bench" "$@" "$log" | micros))
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
mf=$(median "${floors[@]}") md=$(median "${decs[@]}")
echo "io-floor     (us): ${floors[*]}  median $mf"
echo "decode-bench (us): ${decs[*]}  median $md"
awk -v f="$mf" -v d="$md" 'BEGIN {printf "ratio decode-bench / io-floor: %.2f\n", d / f}'
