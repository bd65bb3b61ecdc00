#!/usr/bin/env bash
# Times decoder::DecodeFile in-process (decode-bench's own clock) against the I/O floor (io-floor: the same
# log read through user memory in 1 MiB read()s, as many bytes written as the ".sql" holds, nothing looked
# at), alternating, after a warm-up, and prints both medians and their ratio (the goal: at most 1.10).
# Each timed run writes a fresh output: the previous one is removed before the run, for both sides.
# usage: compare-floor.sh DECODE_BENCH IO_FLOOR LOG [ROUNDS=9] [DECODE_BENCH OPTIONS...]
set -euo pipefail
bench=$1 floor=$2 log=$3 rounds=${4:-9}
shift $(($# < 4 ? $# : 4))
source "$(dirname "$0")/compare-lib.sh"
sql=$(decoder_output "$log")
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
    floors+=("$("$floor" "$log" "$out" "$bytes" | micros)")
    rm -f "$sql"
    decs+=("$("$bench" "$@" "$log" | micros)")
done
report io-floor "${floors[@]}" -- "${decs[@]}"
