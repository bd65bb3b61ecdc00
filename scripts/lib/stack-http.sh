# The server list and the update server for scripts/run: one local HTTP server (stack_http_server.py) whose
# list names itself as the update server ("자동업데이트_런처") and the database of stack-db.sh, when that ran
# first, as "사내메신저DB서버". The update folder holds stand-ins for the sibling tools. Sourced by scripts/run
# after the build; the server stops when the run ends.

zt_http_root="$(mktemp -d)"
add_cleanup "rm -rf '$zt_http_root'"
zt_http_updates="$zt_http_root/download/자동업데이트_v1"
mkdir -p "$zt_http_updates"

# Revision 1 of each tool: newer than the stand-ins beside the program, which carry no version at all, so
# each start fetches them again and the update path is always walked.
printf '1\r\n' >"$zt_http_updates/RendloV1_lastver.txt"
printf '1\r\n' >"$zt_http_updates/Palvex_lastver.txt"

# The version checker: offers no newer build of the program ("revision;program" is its one argument).
cat >"$zt_http_updates/RendloV1.exe" <<'TOOL'
#!/bin/sh
echo "RendloV1 (stand-in): checked $1, no newer build" >&2
exit 0
TOOL

# The file replacer: "old;new" — waits for the program to end, then puts the new build in the old one's place.
cat >"$zt_http_updates/Swapnik.exe" <<'TOOL'
#!/bin/sh
old="${1%%;*}"
new="${1#*;}"
sleep 2
mv -f "$new" "$old" && chmod +x "$old" && echo "Swapnik (stand-in): $new replaced $old" >&2
TOOL

# The external DES decoder: the log path and the pass phrase; writes the ".sql" file beside the log.
cat >"$zt_http_updates/Palvex.exe" <<'TOOL'
#!/bin/sh
out="$(printf '%s' "$1" | sed 's/....$//').sql"
{ echo "-- decoded by Palvex (stand-in)"; cat "$1"; } >"$out"
TOOL

zt_http_port_file="$zt_http_root/port"
zt_http_db_host="${ZT_DEFAULT_SERVER:-127.0.0.1}"
python3 "$ROOT/scripts/lib/stack_http_server.py" --root "$zt_http_root" --port-file "$zt_http_port_file" \
    --db-host "$zt_http_db_host" >"$BUILD_DIR/stack-http.log" 2>&1 &
add_cleanup "kill $! 2>/dev/null"

for _ in $(seq 100); do
    [ -s "$zt_http_port_file" ] && break
    sleep 0.1
done
if [ ! -s "$zt_http_port_file" ]; then
    log "the local HTTP server did not start (see $BUILD_DIR/stack-http.log)"
    exit 1
fi
zt_http_port="$(cat "$zt_http_port_file")"

export ZT_SERVER_LIST_URL="http://127.0.0.1:$zt_http_port"
# Requests to the local stack never go through a proxy.
export no_proxy="127.0.0.1,localhost${no_proxy:+,$no_proxy}"
log "server list and update server on $ZT_SERVER_LIST_URL (database entry: $zt_http_db_host); log in $BUILD_DIR/stack-http.log"
