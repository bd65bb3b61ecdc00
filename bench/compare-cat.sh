#!/usr/bin/env bash
# Times decode-bench against `cat LOG > OUT` on the same file, side by side, and prints the medians and
# their ratio (the goal is decode-bench at most 1.3 times cat).
# usage: compare-cat.sh DECODE_BENCH LOG [ROUNDS=7]
set -euo pipefail
bench=$1 log=$2 rounds=${3:-7}
out=$(mktemp "${TMPDIR:-/tmp}/cat-out.XXXXXX")
trap 'rm -f "$out"' EXIT
now() { date +%s%N; }
cats=() decs=()
cat "$log" > "$out"; "$bench" "$log" > /dev/null # warm the page cache and the output files
for ((i = 0; i < rounds; i++)); do
    t0=$(now); cat "$log" > "$out"; t1=$(now)
    "$bench" "$log" > /dev/null; t2=$(now)
    cats+=($(((t1 - t0) / 1000))) decs+=($(((t2 - t1) / 1000)))
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
mc=$(median "${cats[@]}") md=$(median "${decs[@]}")
echo "cat          (us): ${cats[*]}  median $mc"
echo "decode-bench (us): ${decs[*]}  median $md"
awk -v c="$mc" -v d="$md" 'BEGIN {printf "ratio decode-bench / cat: %.2f\n", d / c}'
