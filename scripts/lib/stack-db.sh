# shellcheck shell=bash
# The in-house database of the local stack: a local MariaDB (testdb.sh's) with this PC on the allowlist and
# one demo account. Sourced after scripts/lib/common.sh and testdb.sh; zt_stack_db_start starts it (after the
# build), and it stops when the script ends.

ZT_DEMO_USER="demo"
ZT_DEMO_PASSWORD="demo1234"

# Starts the server and fills it in. Sets what testdb.sh's zt_db_launch sets (ZT_DB_PORT, ZT_DB_SOCKET, ...)
# and zt_machine_mac, and exports ZT_DEFAULT_SERVER, the database's address.
zt_stack_db_start() {
    log "starting the local MariaDB"
    zt_db_launch
    zt_db_create_schema "$ZT_DB_SOCKET"

    # The MAC address the allowlist asks for first: the best of this PC's candidates as the program ranks them
    # (platform::rankMacCandidates, physical adapters first). ZT_STACK_MACHINE_MAC gives it instead when the
    # program runs elsewhere (the Windows build under Wine sees other adapters).
    zt_machine_mac="${ZT_STACK_MACHINE_MAC-$("$BUILD_DIR/src/platform/machine/zt_machine_mac" || true)}"
    if [ -z "$zt_machine_mac" ]; then
        log "no network adapter with an address: the login dialog will refuse this PC"
    fi
    zt_db_sql "$ZT_DB_SOCKET" "
        INSERT INTO $ZT_DB_NAME.user (id, password2, hidden) VALUES ('$ZT_DEMO_USER', SHA1('$ZT_DEMO_PASSWORD'), 0);
        INSERT INTO $ZT_DB_NAME.user_mac (user_id, mac_addr, block) VALUES ('$ZT_DEMO_USER', '$zt_machine_mac', 0);"

    # The program's database host until the server list names another.
    export ZT_DEFAULT_SERVER="127.0.0.1:$ZT_DB_PORT"
    log "MariaDB on $ZT_DEFAULT_SERVER: this PC ($zt_machine_mac) logs in as $ZT_DEMO_USER / $ZT_DEMO_PASSWORD"
}
