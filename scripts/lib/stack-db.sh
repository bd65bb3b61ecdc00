# shellcheck shell=bash
# The in-house database of the local stack: a local MariaDB (testdb.sh's) with this PC on the allowlist and
# one demo account. Sourced after scripts/lib/common.sh and testdb.sh; zt_stack_db_start starts it (after the
# build), and it stops when the script ends.

ZT_DEMO_USER="demo"
ZT_DEMO_PASSWORD="demo1234"

# Starts the server and fills it in; arguments are further server options. Sets what testdb.sh's zt_db_launch sets (ZT_DB_PORT, ZT_DB_SOCKET, ...)
# and zt_machine_mac, and exports ZT_DEFAULT_SERVER, the database's address.
zt_stack_db_start() {
    log "starting the local MariaDB"
    # The performance schema holds each connection's own TLS status, for zt_stack_db_connections; the general log
    # (in the data folder) every statement the server receives, for zt_stack_db_login_log.
    zt_db_launch --performance-schema=ON --general-log=1 --general-log-file=general.log "$@"
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
    log "it offers TLS (its authority: $ZT_DB_DIR/tls/ca.pem); while the login dialog is open, its connection and" \
        "cipher: mariadb --no-defaults -uroot --socket=$ZT_DB_SOCKET -e \"SELECT PROCESSLIST_ID, VARIABLE_VALUE" \
        "FROM performance_schema.status_by_thread JOIN performance_schema.threads USING (THREAD_ID)" \
        "WHERE PROCESSLIST_USER = '$ZT_DB_USER' AND VARIABLE_NAME = 'Ssl_cipher'\""
}

# The server's own view of the program's open connections (the login dialog holds one): each one's id, where it
# comes from, and the TLS cipher it speaks (empty: no TLS).
zt_stack_db_connections() {
    mariadb --no-defaults --user=root --socket="$ZT_DB_SOCKET" --table -e "
        SELECT t.PROCESSLIST_ID AS id, t.PROCESSLIST_HOST AS host, s.VARIABLE_VALUE AS Ssl_cipher
        FROM performance_schema.threads t JOIN performance_schema.status_by_thread s USING (THREAD_ID)
        WHERE t.PROCESSLIST_USER = '$ZT_DB_USER' AND s.VARIABLE_NAME = 'Ssl_cipher'"
}

# What the server's general log holds of the program's logins: the login statements it received (the password's
# hash, never the password), or a line saying there were none.
zt_stack_db_login_log() {
    grep -a 'svrtime' "$ZT_DB_DIR/data/general.log" || echo "(no login statement reached the server)"
}
