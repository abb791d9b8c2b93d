#!/usr/bin/env bash
# Installs (if missing) and starts a Firebird 3 server (Debian's
# firebird3.0-server, ServerMode Super) for the tests: SYSDBA's password is
# "pinecrest", it listens on 127.0.0.1:3050 only. Works with or without
# systemd (in a container it starts fbguard itself). Run as root. Idempotent:
# a server already running with this setup is left alone.
#
# How the client library, the embedded engine and this server share a file
# (measured on Debian 12, Firebird 3.0.11, both sides running ServerMode Super,
# the client running as root; libfbclient's providers: Remote,Engine12,Loopback):
#
# (a) While the server holds a file open (an attachment to
#     "localhost:/dir/x.fdb"), a client attaching with the PLAIN path
#     "/dir/x.fdb" and the right password SUCCEEDS: the embedded engine cannot
#     lock the file, and the Loopback provider then attaches through the server
#     on 127.0.0.1 (MON$ATTACHMENTS shows MON$REMOTE_PROTOCOL = 'TCPv4').
#     With a wrong password, or none, the plain-path attach is REFUSED, and the
#     error reported is the embedded engine's, not the server's login error:
#         SQLSTATE = 08001
#         I/O error during "lock" operation for file "/dir/x.fdb"
#         -Database already opened with engine instance, incompatible with current
#     (Through "localhost:/dir/x.fdb" a wrong password gives SQLSTATE 28000
#     "Your user name and password are not defined. Ask your database
#     administrator to set up a Firebird login.")
#     The same lock error is what a second process gets when another process
#     holds the file through the EMBEDDED engine: embedded Super mode opens the
#     file exclusively, and the server cannot open it either, so neither the
#     plain path nor "localhost:" works then.
# (b) While no server attachment holds the file, the plain path opens through
#     the embedded engine even though the server is running
#     (MON$REMOTE_PROTOCOL is NULL). The embedded engine checks no password:
#     a wrong one or none is accepted.
# (c) The server runs as user firebird: it needs read AND write permission on
#     the file (mode 0666, or owner firebird) and search (x) permission on
#     every folder of the path; it does not need write permission on the
#     folder (0755 and even 0711 work). A folder from mktemp -d (0700) or one
#     under /root (0700) is not reachable. Errors seen:
#         file 0660 root:root, or folder 0700:
#           I/O error during "open" operation for file "/dir/y.fdb"
#           -Error while trying to open file
#           -Permission denied
#         file 0644 root:root:
#           SQLSTATE = 28000
#           no permission for read-write access to database /dir/y.fdb
#     The embedded engine as root needs nothing special. Lock files in
#     /tmp/firebird are made owned by firebird even by a root client, except
#     ones left from before user firebird existed (this script chowns them).
# (d) The server does not keep the file locked after its last attachment
#     closes: an embedded attach 30 ms later succeeds, after a clean detach,
#     after committed writes, and after the client was killed with SIGKILL in
#     the middle of an open write transaction (first try, ~30 ms after the
#     kill). No waiting or retry is needed (database LINGER is 0 by default).
set -euo pipefail

readonly PASSWORD=pinecrest
readonly CONF=/etc/firebird/3.0/firebird.conf
readonly SEC_DB=/var/lib/firebird/3.0/system/security3.fdb
readonly RUN_DIR=/run/firebird3.0
readonly PID_FILE=$RUN_DIR/firebird.pid
readonly LOCK_DIR=/tmp/firebird
readonly PORT=3050

say() { echo "firebird-test-server.sh: $*"; }
die() { echo "firebird-test-server.sh: $*" >&2; exit 1; }

[[ $(id -u) -eq 0 ]] || die "run as root"

export DEBIAN_FRONTEND=noninteractive

# --- install -----------------------------------------------------------------
if ! dpkg-query -W -f='${Status}' firebird3.0-server 2>/dev/null | grep -q '^install ok installed$' ||
   ! dpkg-query -W -f='${Status}' firebird3.0-utils 2>/dev/null | grep -q '^install ok installed$'; then
    say "installing firebird3.0-server"
    echo "firebird3.0-server shared/firebird/sysdba_password/first_install password $PASSWORD" |
        debconf-set-selections
    log=$(mktemp)
    { apt-get update -qq &&
      apt-get install -y -qq --no-install-recommends firebird3.0-server firebird3.0-utils; } >"$log" 2>&1 || {
        cat "$log" >&2
        rm -f "$log"
        die "apt-get install firebird3.0-server failed"
    }
    rm -f "$log"
fi

# --- state helpers -------------------------------------------------------------
have_systemd() { [[ -d /run/systemd/system ]]; }

# Live (not zombie) processes of user firebird with the given command name.
live_pids() {
    ps -u firebird -o pid=,stat=,comm= 2>/dev/null |
        awk -v name="$1" '$3 == name && $2 !~ /^Z/ { print $1 }'
}

server_pids() { live_pids fbguard; live_pids firebird; }

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null; }

# Succeeds when the server on 127.0.0.1 accepts SYSDBA with our password.
login_ok() {
    fbsvcmgr "127.0.0.1/$PORT:service_mgr" -user SYSDBA -password "$PASSWORD" \
        info_server_version >/dev/null 2>&1
}

stop_server() {
    if have_systemd; then
        systemctl stop firebird3.0.service >/dev/null 2>&1 || true
    fi
    local pids
    pids=$(live_pids fbguard)
    [[ -z $pids ]] || kill $pids 2>/dev/null || true
    for _ in $(seq 50); do
        [[ -z $(live_pids fbguard) ]] && break
        sleep 0.1
    done
    pids=$(live_pids firebird)
    [[ -z $pids ]] || kill $pids 2>/dev/null || true
    for _ in $(seq 100); do
        [[ -z $(server_pids) ]] && return 0
        sleep 0.1
    done
    die "the Firebird server did not stop"
}

# --- configuration -------------------------------------------------------------
# Sets "Key = value" in firebird.conf (replacing active lines, else appending).
# Prints "changed" when the file was modified.
set_conf() {
    local key=$1 value=$2
    if grep -Eq "^[[:space:]]*$key[[:space:]]*=[[:space:]]*$value[[:space:]]*$" "$CONF" &&
       [[ $(grep -Ec "^[[:space:]]*$key[[:space:]]*=" "$CONF") -eq 1 ]]; then
        return 0
    fi
    sed -i -E "/^[[:space:]]*$key[[:space:]]*=/d" "$CONF"
    echo "$key = $value" >>"$CONF"
    echo changed
}

changed=$(set_conf RemoteBindAddress 127.0.0.1; set_conf ServerMode Super; set_conf RemoteServicePort "$PORT")

# Lock and run folders as the package expects them (embedded use as root may
# have left root-owned files in the lock folder, which the server, running as
# user firebird, could not open).
mkdir -p "$LOCK_DIR" "$RUN_DIR"
chown -R firebird:firebird "$LOCK_DIR" "$RUN_DIR"
chmod 0770 "$LOCK_DIR" "$RUN_DIR"

# --- already running? ----------------------------------------------------------
if [[ -n $(server_pids) ]]; then
    if [[ -z $changed ]] && port_open && login_ok; then
        say "already running on 127.0.0.1:$PORT"
        exit 0
    fi
    say "restarting the running server"
    stop_server
fi

# --- SYSDBA password -------------------------------------------------------------
# With no server running, the security database is opened through the embedded
# engine (no password checked there). Run as user firebird so that lock files
# and the database keep their owner.
[[ -f $SEC_DB ]] || die "$SEC_DB missing (is firebird3.0-server configured?)"
out=$(echo "create or alter user SYSDBA password '$PASSWORD'; commit;" |
      runuser -u firebird -- isql-fb -q -user SYSDBA "$SEC_DB" 2>&1) ||
    die "setting the SYSDBA password failed: $out"
[[ -z $out ]] || die "setting the SYSDBA password failed: $out"

# Keep Debian's record of the password in step (it is read by maintenance scripts).
if [[ -f /etc/firebird/3.0/SYSDBA.password ]]; then
    sed -i -E "s/^[[:space:]]*ISC_PASSWORD=.*/ISC_PASSWORD=\"$PASSWORD\"/" /etc/firebird/3.0/SYSDBA.password
fi

# --- start ---------------------------------------------------------------------
if have_systemd; then
    systemctl start firebird3.0.service
else
    rm -f "$PID_FILE"
    runuser -u firebird -- /usr/sbin/fbguard -daemon -forever -pidfile "$PID_FILE" >/dev/null
fi

for _ in $(seq 100); do
    if port_open; then
        login_ok || die "server is up but SYSDBA/$PASSWORD is refused"
        say "running on 127.0.0.1:$PORT"
        exit 0
    fi
    sleep 0.1
done
die "the Firebird server did not open 127.0.0.1:$PORT within 10 s"
