#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs every test headless; the tests labelled
# postgresql run against a throw-away PostgreSQL server (or the one TALUVO_TEST_PG already names).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PG_DIR=""
PG_BIN=""
PG_USER="" # empty: the server runs as whoever runs this script

as_server_user() {
    if [ -n "$PG_USER" ]; then
        runuser -u "$PG_USER" -- "$@"
    else
        "$@"
    fi
}

stop_test_server() {
    if [ -z "$PG_DIR" ]; then
        return 0
    fi
    if [ -f "$PG_DIR/data/postmaster.pid" ]; then
        as_server_user "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -m fast -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$PG_DIR"
    PG_DIR=""
}

# The server listens on its socket only, but the port still names the socket and keys its shared
# memory: take one nobody listens on.
free_port() {
    local port
    for _ in $(seq 50); do
        port=$((20000 + RANDOM % 40000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return
        fi
    done
    echo 54329
}

# initdb into a fresh directory with trust for the local socket, a socket in that directory
# only, durability off (the cluster is thrown away). The server refuses to run as root.
start_test_server() {
    if [ -n "${TALUVO_TEST_PG:-}" ]; then
        echo "PostgreSQL tests: on the server named by TALUVO_TEST_PG."
        return
    fi
    # Debian keeps initdb and pg_ctl out of PATH.
    PG_BIN="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
    if [ -z "$PG_BIN" ] && command -v initdb >/dev/null; then
        PG_BIN="$(dirname "$(command -v initdb)")"
    fi
    if [ -z "$PG_BIN" ] || [ ! -x "$PG_BIN/initdb" ] || [ ! -x "$PG_BIN/pg_ctl" ]; then
        echo "No PostgreSQL server installed (package postgresql): the postgresql tests skip."
        return
    fi
    PG_DIR="$(mktemp -d /tmp/taluvo-pg.XXXXXX)"
    trap stop_test_server EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    if [ "$(id -u)" -eq 0 ]; then
        PG_USER=nobody
        chown "$PG_USER" "$PG_DIR"
    fi
    local port
    port="$(free_port)"
    if as_server_user "$PG_BIN/initdb" -D "$PG_DIR/data" -U postgres --auth=trust -E UTF8 \
            --locale=C.UTF-8 --no-sync >"$PG_DIR/initdb.log" 2>&1 \
        && as_server_user "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/server.log" -w \
            -o "-k $PG_DIR -p $port -c listen_addresses='' -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
            start >/dev/null 2>&1; then
        export TALUVO_TEST_PG="postgresql:///postgres?host=$PG_DIR&port=$port&user=postgres"
        echo "PostgreSQL tests: a throw-away server in $PG_DIR, removed at the end."
    else
        echo "The test PostgreSQL server did not start: the postgresql tests skip. Its log:"
        tail -n 5 "$PG_DIR/server.log" "$PG_DIR/initdb.log" 2>/dev/null || true
        stop_test_server
    fi
}

install_packages
build_all
export QT_QPA_PLATFORM=offscreen
start_test_server
ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)"
