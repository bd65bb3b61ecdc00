#!/usr/bin/env bash
# bench/capture-login.sh [--without-tls]: what someone on the way sees of a login. In a network namespace of its
# own, the local stack of scripts/run starts (its database offering TLS, or with --without-tls none), the real
# program from $BUILD_DIR logs in with a remembered password, and tcpdump records every packet to and from the
# database's port. Prints the packets, their bytes on the wire, how often the password, its hash and the two
# statements (the login's "svrtime", the allowlist's "user_mac") appear in them, and the login statement as the
# server's general log holds it. As root (unshare, tcpdump).
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
case "${1:-}" in
"") ;;
--without-tls) server_options=(--skip-ssl) ;;
*) echo "usage: bench/capture-login.sh [--without-tls]" >&2; exit 2 ;;
esac
# Loopback, and one adapter with an address: this PC's MAC address for the allowlist.
ip link set lo up
ip link add zt-capture type veth peer name zt-capture-peer
ip addr add 10.254.0.1/24 dev zt-capture
ip link set zt-capture up
ip link set zt-capture-peer up
zt_stack_db_start "${server_options[@]}"
zt_stack_http_start

work="$(mktemp -d /tmp/zt-capture.XXXXXX)"
add_cleanup "rm -rf $(printf %q "$work")"
mkdir -p "$work/app" "$work/config/NorvaQuillet"
cp "$BUILD_DIR/src/app/NorvaQuillet" "$work/app/"
# shellcheck disable=SC2154 # ZT_DEMO_PASSWORD comes from stack-db.sh
printf '[Config]\nissave_passwd=1\npasswd=%s\n' "$ZT_DEMO_PASSWORD" >"$work/config/NorvaQuillet/Norva 업무관리.ini"

tcpdump -i lo --immediate-mode -U -w "$work/login.pcap" "tcp port $ZT_DB_PORT" 2>"$work/tcpdump.log" &
tcpdump_pid=$!
add_cleanup "kill $tcpdump_pid 2>/dev/null"
for ((n = 0; n < 100; n++)); do
    grep -q listening "$work/tcpdump.log" && break
    sleep 0.1
done
zt_start_display
XDG_CONFIG_HOME="$work/config" ZT_UI_RECORD="$work/ui.jsonl" "$work/app/NorvaQuillet" &
program_pid=$!
add_cleanup "kill $program_pid 2>/dev/null"
# The main window is up once the login went through.
for ((n = 0; n < 300; n++)); do
    grep -q '"frmMain"' "$work/ui.jsonl" 2>/dev/null && break
    sleep 0.1
done
if ! grep -q '"frmMain"' "$work/ui.jsonl" 2>/dev/null; then
    cat "$work/ui.jsonl" >&2 2>/dev/null || true
    log "the program did not log in"
    exit 1
fi
kill "$program_pid"
wait "$program_pid" || true
sleep 0.5
kill -INT "$tcpdump_pid"
wait "$tcpdump_pid" || true

python3 - "$work/login.pcap" "$ZT_DEMO_PASSWORD" <<'PY'
import hashlib, struct, sys
data = open(sys.argv[1], "rb").read()
offset, packets, wire = 24, 0, 0
while offset + 16 <= len(data):
    _, _, captured, length = struct.unpack("<IIII", data[offset:offset + 16])
    offset += 16 + captured
    packets += 1
    wire += length
print(f"packets {packets}, bytes on the wire {wire}")
for what in (sys.argv[2], hashlib.sha1(sys.argv[2].encode()).hexdigest(), "svrtime", "user_mac"):
    print(f'"{what}": {data.count(what.encode())} times')
PY
echo "the server's general log:"
zt_stack_db_login_log
