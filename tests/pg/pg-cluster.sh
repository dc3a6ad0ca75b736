#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests:
#   pg-cluster.sh start STATE_DIR   initdb in a new folder under /tmp, start the
#                                   server on a Unix socket in that folder only,
#                                   run scripts/pg-setup.sql, write STATE_DIR/server.env
#   pg-cluster.sh stop STATE_DIR    stop the server, remove its folder and server.env
# The server never runs as root: as root the cluster belongs to the system user
# velmtest (made here when missing).
set -euo pipefail
cmd=${1:-}
state=${2:-}
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: $0 start|stop STATE_DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
setup_sql="$here/../../scripts/pg-setup.sql"
env_file="$state/server.env"

find_bin() {
  if [ -n "${VELM_PG_BIN:-}" ]; then
    [ -x "$VELM_PG_BIN/initdb" ] && echo "$VELM_PG_BIN"
    return
  fi
  local d
  for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ] && { echo "$d"; return; }
  done
}

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u "$owner" -- "$@"; else "$@"; fi
}

stop_cluster() {
  [ -f "$env_file" ] || return 0
  local data bin
  data=$(sed -n 's/^VELM_PG_DATA=//p' "$env_file")
  bin=$(sed -n 's/^VELM_PG_BIN=//p' "$env_file")
  owner=$(sed -n 's/^VELM_PG_OWNER=//p' "$env_file")
  if [ -n "$data" ] && [ -d "$data/db" ]; then
    as_owner "$bin/pg_ctl" -D "$data/db" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  case "$data" in /tmp/velm-pg.*) rm -rf "$data" ;; esac
  rm -f "$env_file"
}

start_cluster() {
  local bin data pw app_pw report_pw
  bin=$(find_bin || true)
  if [ -z "$bin" ]; then
    echo "FAILED: no PostgreSQL server binaries (initdb, pg_ctl) in /usr/lib/postgresql/*/bin." >&2
    echo "The server tests need Debian's package postgresql: run scripts/install-deps.sh." >&2
    exit 1
  fi
  command -v psql >/dev/null || { echo "FAILED: psql not found (Debian package postgresql-client)." >&2; exit 1; }
  owner=$(id -un)
  if [ "$(id -u)" -eq 0 ]; then
    owner=velmtest
    # Made once; where no user can be made, the system's unprivileged one.
    id -u "$owner" >/dev/null 2>&1 ||
      useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$owner" 2>/dev/null ||
      owner=nobody
  fi
  stop_cluster
  mkdir -p "$state"
  data=$(mktemp -d /tmp/velm-pg.XXXXXX)
  chmod 700 "$data"
  [ "$(id -u)" -eq 0 ] && chown "$owner:" "$data"
  pw=$(head -c 18 /dev/urandom | base64 | tr -dc 'A-Za-z0-9')
  app_pw=$(head -c 18 /dev/urandom | base64 | tr -dc 'A-Za-z0-9')
  report_pw=$(head -c 18 /dev/urandom | base64 | tr -dc 'A-Za-z0-9')
  printf '%s\n' "$pw" >"$data/superuser.pw"
  [ "$(id -u)" -eq 0 ] && chown "$owner:" "$data/superuser.pw"
  # Written first, so that stop finds the folder even when start fails below.
  cat >"$env_file" <<ENV
VELM_PG_BIN=$bin
VELM_PG_DATA=$data
VELM_PG_OWNER=$owner
ENV
  if ! as_owner "$bin/initdb" -D "$data/db" -U postgres --pwfile="$data/superuser.pw" -E UTF8 \
      --locale=C.UTF-8 --auth-local=scram-sha-256 --auth-host=reject >"$data/initdb.log" 2>&1; then
    cat "$data/initdb.log" >&2; echo "FAILED: initdb" >&2; exit 1
  fi
  # Only the socket in the cluster's folder: no TCP port at all. The data
  # is thrown away afterwards, so nothing is synced to disk.
  cat >>"$data/db/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$data'
fsync = off
synchronous_commit = off
full_page_writes = off
shared_buffers = 32MB
max_connections = 60
CONF
  if ! as_owner "$bin/pg_ctl" -D "$data/db" -l "$data/server.log" -w -t 30 start >/dev/null; then
    cat "$data/server.log" >&2; echo "FAILED: the server did not start" >&2; exit 1
  fi
  PGPASSWORD=$pw psql -X -q -v ON_ERROR_STOP=1 -h "$data" -U postgres -d postgres \
    -v app_password="$app_pw" -v report_password="$report_pw" -f "$setup_sql" >/dev/null
  cat >>"$env_file" <<ENV
VELM_PG_SOCKET=$data
VELM_PG_ADMIN=host=$data user=postgres dbname=postgres password=$pw
VELM_PG_TEMPLATE=velm
VELM_PG_APP_USER=velm_app
VELM_PG_APP_PASSWORD=$app_pw
VELM_PG_REPORT_USER=velm_report
VELM_PG_REPORT_PASSWORD=$report_pw
ENV
  echo "PostgreSQL $("$bin/postgres" --version | awk '{print $3}') running on the socket in $data as $owner"
}

case "$cmd" in
  start) start_cluster ;;
  stop) stop_cluster ;;
  *) echo "usage: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac
