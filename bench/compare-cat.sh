#!/usr/bin/env bash
# Times decode-bench against `cat LOG > OUT` on the same file, side by side, and prints the medians and
# their ratio (the goal is decode-bench at most 1.0 times cat).
# Each timed run writes a fresh output: the previous one is removed before the clock starts, for both
# sides, so neither pays for truncating (and freeing the pages of) an earlier output. cat writes beside
# the log, on the same file system as the decoder's ".sql".
# usage: compare-cat.sh DECODE_BENCH LOG [ROUNDS=7]
set -euo pipefail
bench=$1 log=$2 rounds=${3:-7}
source "$(dirname "$0")/compare-lib.sh"
sql=$(decoder_output "$log")
out=$(mktemp "$(dirname "$log")/cat-out.XXXXXX")
trap 'rm -f "$out"' EXIT
now() { date +%s%N; }
cats=() decs=()
cat "$log" > "$out"; "$bench" "$log" > /dev/null # warm the page cache
for ((i = 0; i < rounds; i++)); do
    rm -f "$out"
    t0=$(now); cat "$log" > "$out"; t1=$(now)
    rm -f "$sql"
    t2=$(now); "$bench" "$log" > /dev/null; t3=$(now)
    cats+=($(((t1 - t0) / 1000))) decs+=($(((t3 - t2) / 1000)))
done
report cat "${cats[@]}" -- "${decs[@]}"
