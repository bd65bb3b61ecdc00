# The server list and the update server for scripts/run: one local HTTP server (stack_http_server.py) whose
# list names itself as the update server ("자동업데이트_런처") and the database of stack-db.sh, when that ran
# first, as "사내메신저DB서버". The update folder ($zt_http_updates) holds the stand-ins for the sibling tools;
# scripts/run --update-demo adds a newer build of the program. Sourced by scripts/run after the build; the
# server stops when the run ends.

zt_http_root="$(mktemp -d)"
add_cleanup "rm -rf '$zt_http_root'"
zt_http_updates="$zt_http_root/download/자동업데이트_v1"
mkdir -p "$zt_http_updates"

# The sibling tools built with the program, under the names the program asks for, and their revision: the
# program starts from an empty folder (scripts/run), so its first start fetches them. ZT_STACK_TOOLS_DIR,
# ZT_STACK_TOOLS_SUFFIX and ZT_STACK_TOOLS_REVISION name other builds of them (the Windows ones, ".exe").
source "$ROOT/scripts/lib/newer-build.sh"
zt_tools_revision="${ZT_STACK_TOOLS_REVISION:-$(zt_build_revision)}"
for tool in RendloV1 Swapnik Palvex; do
    cp "${ZT_STACK_TOOLS_DIR:-$BUILD_DIR/tools/siblings}/$tool${ZT_STACK_TOOLS_SUFFIX:-}" "$zt_http_updates/$tool.exe"
done
printf '%s\r\n' "$zt_tools_revision" >"$zt_http_updates/RendloV1_lastver.txt"
printf '%s\r\n' "$zt_tools_revision" >"$zt_http_updates/Palvex_lastver.txt"

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
