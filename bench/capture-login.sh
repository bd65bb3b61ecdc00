#!/usr/bin/env bash
# bench/capture-login.sh [--without-tls | --attack strip|break]: what someone on the way sees of a login. In a
# network namespace of its own, the local stack of scripts/run starts (its database offering TLS, or with
# --without-tls none), the real program from $BUILD_DIR logs in with a remembered password, and tcpdump records
# every packet to and from the database's port. With --attack the database is reached through the tests' relay
# ($BUILD_DIR/bench/mysql-relay): a first login goes through it honestly, then the relay strips the greeting's
# offer of TLS or breaks the TLS handshake, and the second login is the one recorded. Prints whether it logged
# in, the packets, their bytes on the wire, the bytes the program sent, and how often the password, the
# account's name ("zt_inhouse", also the database's) and the two statements (the login's "svrtime", the
# allowlist's "user_mac") appear in all of them and in what the program sent. As root (unshare, tcpdump).
set -euo pipefail
if [ -z "${ZT_CAPTURE_NAMESPACE:-}" ]; then
    exec unshare -n env ZT_CAPTURE_NAMESPACE=1 "$0" "$@"
fi
source "$(dirname "$0")/../scripts/lib/common.sh"
source "$ROOT/scripts/lib/newer-build.sh"
source "$ROOT/scripts/lib/testdb.sh"
source "$ROOT/scripts/lib/stack-db.sh"
source "$ROOT/scripts/lib/stack-http.sh"

if ! command -v tcpdump >/dev/null; then
    log "tcpdump not found (package tcpdump)"
    exit 1
fi
server_options=()
attack=""
case "${1:-} ${2:-}" in
" ") ;;
"--without-tls ") server_options=(--skip-ssl) ;;
"--attack strip" | "--attack break") attack=$2 ;;
*) echo "usage: bench/capture-login.sh [--without-tls | --attack strip|break]" >&2; exit 2 ;;
esac
# Loopback, and one adapter with an address: this PC's MAC address for the allowlist.
ip link set lo up
ip link add zt-capture type veth peer name zt-capture-peer
ip addr add 10.254.0.1/24 dev zt-capture
ip link set zt-capture up
ip link set zt-capture-peer up
work="$(mktemp -d /tmp/zt-capture.XXXXXX)"
add_cleanup "rm -rf $(printf %q "$work")"
zt_stack_db_start "${server_options[@]}"
port=$ZT_DB_PORT
if [ -n "$attack" ]; then
    # The server list names the relay as the database: it answers for the server's address.
    mkfifo "$work/relay.in"
    "$BUILD_DIR/bench/mysql-relay" "$ZT_DB_PORT" <"$work/relay.in" >"$work/relay.port" &
    add_cleanup "kill $! 2>/dev/null"
    exec 3>"$work/relay.in"
    for ((n = 0; n < 100; n++)); do
        [ -s "$work/relay.port" ] && read -r port <"$work/relay.port" && break
        sleep 0.1
    done
    export ZT_DEFAULT_SERVER="127.0.0.1:$port"
fi
zt_stack_http_start

mkdir -p "$work/app" "$work/config/NorvaQuillet"
cp "$BUILD_DIR/src/app/NorvaQuillet" "$work/app/"
# shellcheck disable=SC2154 # ZT_DEMO_PASSWORD comes from stack-db.sh
printf '[Config]\nissave_passwd=1\npasswd=%s\n' "$ZT_DEMO_PASSWORD" >"$work/config/NorvaQuillet/Norva 업무관리.ini"

zt_start_display
# log_in UI_FILE: runs the program until its main window is up (true) or it ends after a refused login (false).
log_in() {
    XDG_CONFIG_HOME="$work/config" ZT_UI_RECORD="$1" "$work/app/NorvaQuillet" &
    local program_pid=$! n
    add_cleanup "kill $program_pid 2>/dev/null"
    for ((n = 0; n < 300; n++)); do
        grep -q '"frmMain"' "$1" 2>/dev/null && break
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" || true
    grep -q '"frmMain"' "$1" 2>/dev/null
}
if [ -n "$attack" ]; then
    if ! log_in "$work/honest.jsonl"; then
        cat "$work/honest.jsonl" >&2 2>/dev/null || true
        log "the program did not log in through the honest relay"
        exit 1
    fi
    echo "$attack" >&3
fi

tcpdump -i lo --immediate-mode -U -w "$work/login.pcap" "tcp port $port" 2>"$work/tcpdump.log" &
tcpdump_pid=$!
add_cleanup "kill $tcpdump_pid 2>/dev/null"
for ((n = 0; n < 100; n++)); do
    grep -q listening "$work/tcpdump.log" && break
    sleep 0.1
done
logged_in=yes
log_in "$work/ui.jsonl" || logged_in=no
if [ -z "$attack" ] && [ $logged_in = no ]; then
    cat "$work/ui.jsonl" >&2 2>/dev/null || true
    log "the program did not log in"
    exit 1
fi
sleep 0.5
kill -INT "$tcpdump_pid"
wait "$tcpdump_pid" || true
echo "logged in: $logged_in"
grep -o '"text":"[^"]*"' "$work/ui.jsonl" 2>/dev/null || true

python3 - "$work/login.pcap" "$port" "$ZT_DEMO_PASSWORD" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
port = int(sys.argv[2])
offset, packets, wire, sent = 24, 0, 0, b""
while offset + 16 <= len(data):
    _, _, captured, length = struct.unpack("<IIII", data[offset:offset + 16])
    frame = data[offset + 16:offset + 16 + captured]
    offset += 16 + captured
    packets += 1
    wire += length
    # Ethernet, IPv4, TCP: what the program sent is the payload towards the database's port.
    ip = frame[14:]
    tcp = ip[(ip[0] & 0x0F) * 4:]
    if struct.unpack(">H", tcp[2:4])[0] == port:
        sent += tcp[(tcp[12] >> 4) * 4:]
print(f"packets {packets}, bytes on the wire {wire}, bytes the program sent {len(sent)}")
for what in (sys.argv[3], "zt_inhouse", "svrtime", "user_mac"):
    print(f'"{what}": {data.count(what.encode())} times, {sent.count(what.encode())} in what the program sent')
PY
