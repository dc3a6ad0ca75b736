#!/usr/bin/env bash
# Checks the throwaway cluster the way the program and reports use it: the
# program's role logs on with its password (scram-sha-256), a wrong password
# is refused, the report role cannot write, there is no TCP port, and ICU
# collations exist.
set -euo pipefail
env_file=$1
[ -f "$env_file" ] || { echo "FAILED: no $env_file: the cluster fixture did not start" >&2; exit 1; }
while IFS='=' read -r key value; do
  [ -n "$key" ] && printf -v "$key" '%s' "$value"
done <"$env_file"
fail() { echo "FAILED: $*" >&2; exit 1; }
db="velmcheck_$$"
q() { PGPASSWORD=$2 psql -X -q -t -A -v ON_ERROR_STOP=1 -h "$VELM_PG_SOCKET" -U "$1" -d "$3" -c "$4"; }
admin_pw=$(sed -n 's/.*password=//p' <<<"$VELM_PG_ADMIN")
q postgres "$admin_pw" postgres "CREATE DATABASE $db TEMPLATE $VELM_PG_TEMPLATE OWNER $VELM_PG_APP_USER"
trap 'q postgres "$admin_pw" postgres "DROP DATABASE IF EXISTS $db WITH (FORCE)" >/dev/null' EXIT

[ "$(q postgres "$admin_pw" postgres 'SHOW listen_addresses')" = "" ] || fail "the server listens on TCP"
[ "$(q postgres "$admin_pw" postgres "SELECT rolpassword LIKE 'SCRAM-SHA-256%' FROM pg_authid WHERE rolname='$VELM_PG_APP_USER'")" = t ] \
  || fail "the program's password is not stored as scram-sha-256"
q "$VELM_PG_APP_USER" "$VELM_PG_APP_PASSWORD" "$db" \
  "CREATE COLLATION f (provider = icu, locale = 'und-u-ks-level2', deterministic = false);
   CREATE TABLE t (k text COLLATE f PRIMARY KEY); INSERT INTO t VALUES ('Émile')" || fail "the program's role cannot create"
if q "$VELM_PG_APP_USER" "$VELM_PG_APP_PASSWORD" "$db" "INSERT INTO t VALUES ('éMILE')" 2>/dev/null; then
  fail "a key differing only in letter case was stored twice"
fi
if q "$VELM_PG_APP_USER" wrong "$db" "SELECT 1" 2>/dev/null; then fail "a wrong password was accepted"; fi
[ "$(q "$VELM_PG_REPORT_USER" "$VELM_PG_REPORT_PASSWORD" "$db" 'SELECT count(*) FROM t')" = 1 ] \
  || fail "the report role cannot read"
if q "$VELM_PG_REPORT_USER" "$VELM_PG_REPORT_PASSWORD" "$db" "DELETE FROM t" 2>/dev/null; then
  fail "the report role could write"
fi
echo "cluster ok: scram logon, wrong password refused, report role read-only, socket only, ICU keys"
