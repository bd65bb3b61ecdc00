#!/usr/bin/env bash
# The peak memory of one verified program download: a "#!" program of MEGABYTES (default 200) signed with a
# throw-away minisign key, served by python's http.server on 127.0.0.1 and fetched once by update-bench
# (FetchFile, as the program fetches a sibling tool) under /usr/bin/time -v.
#
#   bench/download-memory.sh BUILD_DIR [MEGABYTES]
set -euo pipefail
build=$1
megabytes=${2:-200}
server=""
port=""
work="$(mktemp -d /tmp/zt-download-memory.XXXXXX)"
trap '[ -z "$server" ] || kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/served" "$work/app"
{
    printf '#!/bin/sh\n'
    head -c $((megabytes * 1024 * 1024)) /dev/urandom
} >"$work/served/program.exe"
minisign -G -W -p "$work/key.pub" -s "$work/key.secret" >/dev/null
minisign -S -s "$work/key.secret" -m "$work/served/program.exe" >/dev/null
python3 -u -m http.server --bind 127.0.0.1 --directory "$work/served" 0 >"$work/server.log" 2>&1 &
server=$!
for ((n = 0; n < 100; n++)); do
    port=$(sed -n 's/^Serving HTTP on .* port \([0-9]*\) .*/\1/p' "$work/server.log")
    [ -z "$port" ] || break
    sleep 0.1
done
[ -n "$port" ] || { cat "$work/server.log" >&2; echo "the HTTP server did not start" >&2; exit 1; }
no_proxy=127.0.0.1 /usr/bin/time -v "$build/bench/update-bench" fetch "http://127.0.0.1:$port/program.exe" \
    "$work/app/program.exe" "$(sed -n 2p "$work/key.pub")" 2>&1 |
    grep -E 'saved|Maximum resident set size|Elapsed \(wall clock\)'
