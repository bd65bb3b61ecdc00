# shellcheck shell=bash
# A throw-away MariaDB server: its own temporary data folder, 127.0.0.1 on a free port, its own socket. It runs
# as whoever runs the script, root or an ordinary user, and its files are that user's.
# Sourced after scripts/lib/common.sh (log, add_cleanup). scripts/test calls testdb_start; scripts/lib/stack-db.sh
# uses the same helpers for the server the program runs against.

# The in-house database's name and the account the program logs in with.
ZT_DB_NAME="zt_inhouse"
ZT_DB_USER="zt_inhouse"
ZT_DB_PASSWORD="qtzp5830"

# A TCP port nobody listens on at the moment.
zt_db_free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

# A MariaDB program by name: on PATH, or in /usr/sbin, where Debian puts the server and which an ordinary
# user's PATH lacks.
zt_db_program() {
    local path
    path="$(PATH="$PATH:/usr/sbin:/sbin" command -v "$1")" || {
        log "$1 not found (package mariadb-server)"
        return 1
    }
    echo "$path"
}

# Runs SQL as the database's root account over the server's socket: zt_db_sql SOCKET "statements".
zt_db_sql() {
    mariadb --no-defaults --user=root --socket="$1" --batch --skip-column-names -e "$2"
}

# A throw-away certificate authority and the server's certificate it signed, for 127.0.0.1 and localhost, in
# folder $1: ca.pem, server.pem (the certificate, then the authority's: the server sends the whole chain, as
# many do), server-key.pem. Nothing else trusts that authority.
zt_db_make_certificates() {
    local dir=$1
    mkdir -p "$dir"
    printf '%s\n' "subjectAltName=IP:127.0.0.1,DNS:localhost" "basicConstraints=CA:FALSE" \
        "keyUsage=critical,digitalSignature,keyEncipherment" "extendedKeyUsage=serverAuth" >"$dir/server.ext"
    if ! {
        openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=NorvaQuillet throw-away test CA" \
            -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
            -keyout "$dir/ca-key.pem" -out "$dir/ca.pem" &&
            openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$dir/server-key.pem" \
                -out "$dir/server.csr" &&
            openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca-key.pem" -CAcreateserial \
                -days 30 -extfile "$dir/server.ext" -out "$dir/server-only.pem" &&
            cat "$dir/server-only.pem" "$dir/ca.pem" >"$dir/server.pem"
    } >"$dir/openssl.log" 2>&1; then
        cat "$dir/openssl.log" >&2
        log "the database's throw-away certificates could not be made (openssl)"
        return 1
    fi
}

# Starts a server in a new temporary folder and waits until it answers; it offers TLS with a certificate of a
# throw-away authority ($ZT_DB_DIR/tls/ca.pem). Arguments are further server options. Sets ZT_DB_DIR,
# ZT_DB_PORT, ZT_DB_SOCKET, ZT_DB_PID and registers the server's stop with add_cleanup (whatever happens
# afterwards).
# Another process can take the free port before the server binds it: then it tries again on a new one.
# shellcheck disable=SC2120 # the local stack's server passes options
zt_db_launch() {
    ZT_DB_DIR="$(mktemp -d /tmp/zt-mariadb.XXXXXX)"
    ZT_DB_SOCKET="$ZT_DB_DIR/mysqld.sock"
    local datadir="$ZT_DB_DIR/data" attempt status install_db
    add_cleanup "zt_db_stop $(printf %q "$ZT_DB_DIR")"

    zt_db_make_certificates "$ZT_DB_DIR/tls" || return 1
    install_db="$(zt_db_program mariadb-install-db)" || return 1
    if ! "$install_db" --no-defaults --user="$(id -un)" --datadir="$datadir" \
        --auth-root-authentication-method=normal --skip-test-db >"$ZT_DB_DIR/install.log" 2>&1; then
        cat "$ZT_DB_DIR/install.log" >&2
        log "mariadb-install-db failed"
        return 1
    fi

    for ((attempt = 1; attempt <= 5; attempt++)); do
        ZT_DB_PORT="$(zt_db_free_port)"
        status=0
        zt_db_serve "$datadir" "$@" || status=$?
        case $status in
        0) return 0 ;;
        2) log "port $ZT_DB_PORT was taken before the MariaDB server bound it; trying another" ;;
        *) break ;;
        esac
    done
    cat "$ZT_DB_DIR/error.log" >&2 || true
    log "the MariaDB server did not start"
    return 1
}

# Runs the server of zt_db_launch on ZT_DB_PORT and waits until it answers: 0 when it does, 2 when it ended
# because the port was taken, 1 when it ended otherwise or never answered.
zt_db_serve() {
    local datadir=$1 tries server
    shift
    server="$(zt_db_program mariadbd)" || return 1
    : >"$ZT_DB_DIR/error.log"
    "$server" --no-defaults --user="$(id -un)" --datadir="$datadir" --bind-address=127.0.0.1 --port="$ZT_DB_PORT" \
        --socket="$ZT_DB_SOCKET" --pid-file="$ZT_DB_DIR/mysqld.pid" --character-set-server=latin1 \
        --collation-server=latin1_swedish_ci --log-error="$ZT_DB_DIR/error.log" \
        --ssl-cert="$ZT_DB_DIR/tls/server.pem" --ssl-key="$ZT_DB_DIR/tls/server-key.pem" \
        --skip-log-bin --innodb-buffer-pool-size=16M "$@" >/dev/null 2>&1 &
    ZT_DB_PID=$!
    echo "$ZT_DB_PID" >"$ZT_DB_DIR/launcher.pid"

    for ((tries = 0; tries < 600; tries++)); do
        if zt_db_sql "$ZT_DB_SOCKET" "SELECT 1" >/dev/null 2>&1; then
            return 0
        fi
        if ! kill -0 "$ZT_DB_PID" 2>/dev/null; then
            if grep -q -e 'Bind on TCP/IP port' -e 'Address already in use' "$ZT_DB_DIR/error.log"; then
                return 2
            fi
            return 1
        fi
        sleep 0.1
    done
    return 1
}

# Stops the server started in folder $1 and removes the folder.
zt_db_stop() {
    local dir="$1" pid tries
    [ -d "$dir" ] || return 0
    pid="$(cat "$dir/launcher.pid" 2>/dev/null || true)"
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        for ((tries = 0; tries < 300; tries++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
}

# The in-house database, its login account and its two tables, empty. Rows are the tests' (or the run's) own.
zt_db_create_schema() {
    zt_db_sql "$1" "
        CREATE DATABASE $ZT_DB_NAME CHARACTER SET latin1;
        CREATE USER '$ZT_DB_USER'@'127.0.0.1' IDENTIFIED BY '$ZT_DB_PASSWORD';
        CREATE USER '$ZT_DB_USER'@'localhost' IDENTIFIED BY '$ZT_DB_PASSWORD';
        GRANT SELECT ON $ZT_DB_NAME.* TO '$ZT_DB_USER'@'127.0.0.1';
        GRANT SELECT ON $ZT_DB_NAME.* TO '$ZT_DB_USER'@'localhost';
        CREATE TABLE $ZT_DB_NAME.user (
            id VARCHAR(50) NOT NULL PRIMARY KEY,
            password2 VARCHAR(40) NOT NULL DEFAULT '',
            hidden TINYINT NOT NULL DEFAULT 0
        ) CHARACTER SET latin1;
        CREATE TABLE $ZT_DB_NAME.user_mac (
            user_id VARCHAR(50) NOT NULL,
            mac_addr VARCHAR(17) NOT NULL,
            block TINYINT NOT NULL DEFAULT 0,
            KEY (mac_addr)
        ) CHARACTER SET latin1;"
}

# The server for one test run; the tests find it through ZT_TEST_DB_HOST / _PORT / _SOCKET, and the authority
# that signed its certificate through ZT_TEST_DB_CA.
testdb_start() {
    log "starting a throw-away MariaDB server"
    zt_db_launch
    zt_db_create_schema "$ZT_DB_SOCKET"
    export ZT_TEST_DB_HOST="127.0.0.1"
    export ZT_TEST_DB_PORT="$ZT_DB_PORT"
    export ZT_TEST_DB_SOCKET="$ZT_DB_SOCKET"
    export ZT_TEST_DB_CA="$ZT_DB_DIR/tls/ca.pem"
    log "MariaDB on 127.0.0.1:$ZT_DB_PORT (socket $ZT_DB_SOCKET)"
}
