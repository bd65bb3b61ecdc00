# shellcheck shell=bash
# The server list and the update server of the local stack: one local HTTP server (stack_http_server.py) whose
# list names itself as the update server ("자동업데이트_런처") and the database of zt_stack_db_start, when that
# ran first, as "사내메신저DB서버". The update folder ($zt_http_updates) holds the stand-ins for the sibling
# tools; scripts/run --update-demo adds a newer build of the program. Every program there carries its
# signature, made with the build's throw-away key (zt_update_key; ZT_STACK_SIGNING_KEY names another secret
# key). Sourced after scripts/lib/common.sh and newer-build.sh (zt_build_revision); zt_stack_http_start starts
# it (after the build), and it stops when the script ends.

# zt_stack_publish FILE NAME: FILE in the update folder as NAME, with its signature NAME.minisig, whose trusted
# comment is minisign's own ("timestamp:...<TAB>file:NAME"): the program takes a file only under the name signed.
zt_stack_publish() {
    local file=$1 name=$2 key="${ZT_STACK_SIGNING_KEY:-$BUILD_DIR/update-key/minisign.key}"
    cp "$file" "$zt_http_updates/$name"
    minisign -S -s "$key" -m "$zt_http_updates/$name" -x "$zt_http_updates/$name.minisig" >/dev/null
}

# Starts the server. Sets zt_http_root, zt_http_updates, zt_http_port and exports ZT_SERVER_LIST_URL and
# no_proxy; its requests go to $BUILD_DIR/stack-http.log.
zt_stack_http_start() {
    zt_http_root="$(mktemp -d /tmp/zt-http.XXXXXX)"
    add_cleanup "rm -rf $(printf %q "$zt_http_root")"
    zt_http_updates="$zt_http_root/download/자동업데이트_v1"
    mkdir -p "$zt_http_updates"

    # The sibling tools built with the program, under the names the program asks for, and their revision:
    # the program starts from an empty folder (scripts/run), so its first start fetches them.
    # ZT_STACK_TOOLS_DIR, ZT_STACK_TOOLS_SUFFIX and ZT_STACK_TOOLS_REVISION name other builds of them (the
    # Windows ones, ".exe").
    local tools_revision tool
    tools_revision="${ZT_STACK_TOOLS_REVISION:-$(zt_build_revision)}"
    for tool in RendloV1 Swapnik Palvex; do
        zt_stack_publish "${ZT_STACK_TOOLS_DIR:-$BUILD_DIR/tools/siblings}/$tool${ZT_STACK_TOOLS_SUFFIX:-}" "$tool.exe"
    done
    printf '%s\r\n' "$tools_revision" >"$zt_http_updates/RendloV1_lastver.txt"
    printf '%s\r\n' "$tools_revision" >"$zt_http_updates/Palvex_lastver.txt"

    local port_file="$zt_http_root/port" db_host="${ZT_DEFAULT_SERVER:-127.0.0.1}" pid n
    python3 "$ROOT/scripts/lib/stack_http_server.py" --root "$zt_http_root" --port-file "$port_file" \
        --db-host "$db_host" >"$BUILD_DIR/stack-http.log" 2>&1 &
    pid=$!
    add_cleanup "kill $pid 2>/dev/null"

    # The server writes its port once it listens.
    for ((n = 0; n < 100; n++)); do
        [ ! -s "$port_file" ] || break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$port_file" ]; then
        tail -n 20 "$BUILD_DIR/stack-http.log" >&2 || true
        log "the local HTTP server did not start (see $BUILD_DIR/stack-http.log)"
        return 1
    fi
    zt_http_port="$(cat "$port_file")"

    export ZT_SERVER_LIST_URL="http://127.0.0.1:$zt_http_port"
    # Requests to the local stack never go through a proxy.
    export no_proxy="127.0.0.1,localhost${no_proxy:+,$no_proxy}"
    log "server list and update server on $ZT_SERVER_LIST_URL (database entry: $db_host); log in $BUILD_DIR/stack-http.log"
}
