#!/usr/bin/env bash
# Times decode-bench against `cat LOG > OUT` on the same file, side by side, and prints the medians and
# their ratio (the goal is decode-bench at most 1.0 times cat).
# Each timed run writes a fresh output: the previous one is removed before the clock starts, for both
# sides, so neither pays for truncating (and freeing the pages of) an earlier output. cat writes beside
# the log, on the same file system as the decoder's ".sql".
# usage: compare-cat.sh DECODE_BENCH LOG [ROUNDS=7]
set -euo pipefail
bench=$1 log=$2 rounds=${3:-7}
name=${log##*/}
# The decoder's output: the path without its last four characters + ".sql" (a name shorter than five
# characters keeps its whole name).
if ((${#name} < 5)); then sql="$log.sql"; else sql="${log:0:${#log}-4}.sql"; fi
if [ "$sql" = "$log" ] || [ "$sql" -ef "$log" ]; then
    echo "compare-cat.sh: the decoder's output would be the log itself: $log" >&2
    exit 2
fi
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
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
mc=$(median "${cats[@]}") md=$(median "${decs[@]}")
echo "cat          (us): ${cats[*]}  median $mc"
echo "decode-bench (us): ${decs[*]}  median $md"
awk -v c="$mc" -v d="$md" 'BEGIN {printf "ratio decode-bench / cat: %.2f\n", d / c}'
