#!/usr/bin/env bash
# The Windows command line under Wine, through Wine's ODBC and psqlODBC, against the throwaway
# PostgreSQL: on a generated ledger its checks of the accounts, the VAT registers and the margin
# scheme give the rows the Linux build gives over libpq; its rebuilds leave a ledger the Linux
# build checks clean; a rebuild whose connection the server ends midway leaves the totals as
# they were. Run inside scripts/with-database: wine_ledger.sh LINUX_CLI WINDOWS_CLI
set -uo pipefail
linux=$1 windows=$2
export WINEDEBUG=-all
db="vp_wine_$$"
fail() { echo "FAILED: $*"; exit 1; }
createdb "$db" --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}" || exit 1
trap 'dropdb --force "$db" 2>/dev/null' EXIT
"$linux" generate --connection "dbname=$db" --lines 4000 --wrong 8 --seed 5 >/dev/null || exit 1
# Descriptions with letters beyond ASCII, which must cross Wine's ODBC as UTF-16 without loss.
psql -XAtq -d "$db" -c "UPDATE CG24_TABPDC SET CG24_DESCR = 'Perdità € ' || CG24_CONTO" >/dev/null || exit 1
odbc="Driver={PostgreSQL Unicode};Server=${PGHOST:-localhost};Port=${PGPORT:-5432};Database=$db;UID=${PGUSER:-postgres}"
win() { wine "$windows" "$@" 2>/dev/null | tr -d '\r'; }
# The rows without the column of identifiers made afresh on every run.
rows() { python3 -c '
import csv, sys
r = list(csv.reader(sys.stdin))
drop = r[0].index("ID") if r and "ID" in r[0] else None
for row in r:
    print(",".join(v for i, v in enumerate(row) if i != drop))'; }
checks=("accounts --company 1 --fiscal-year 2024 --fiscal-seq 1"
        "accounts --company 2 --fiscal-year 2024 --fiscal-seq 1"
        "vat --company 1 --year 2024"
        "margin --company 1 --year 2024")
for c in "${checks[@]}"; do
  expected=$("$linux" check $c --connection "dbname=$db" --format csv 2>/dev/null | rows)
  got=$(win check $c --connection "$odbc" --format csv | rows)
  [ "$(wc -l <<<"$expected")" -gt 5 ] || fail "check $c: too few rows on Linux"
  case $c in accounts*) grep -q "Perdità € " <<<"$expected" || fail "check $c: no accented description" ;; esac
  [ "$got" = "$expected" ] || fail "check $c: the Windows rows differ: $(diff <(echo "$expected") <(echo "$got") | head -5)"
done
[ "$(win --help >/dev/null; echo $?)" = 0 ] || fail "--help"
# Arguments come in as UTF-16 and reach the library as UTF-8; output leaves as UTF-8.
batch="SELECT ISNULL(N'Perdità €', 'x')"
[ "$(win translate "$batch")" = "$("$linux" translate "$batch")" ] || fail "an accented argument"

# A rebuild through Windows whose connection the server ends while it writes: nothing changes.
# The write of the VAT totals waits on a trigger, so that the end comes in the middle of it.
digest() {
  psql -XAtq -d "$db" -c "SELECT md5(string_agg(t::text, ',' ORDER BY t::text)) FROM CG59_PROGIVAM t"
}
psql -XAtq -d "$db" -c "CREATE FUNCTION slow_write() RETURNS trigger LANGUAGE plpgsql AS
    \$\$ BEGIN PERFORM pg_sleep(3); RETURN NULL; END \$\$;
  CREATE TRIGGER slow_write AFTER INSERT OR UPDATE ON CG59_PROGIVAM
    FOR EACH STATEMENT EXECUTE FUNCTION slow_write()" >/dev/null || exit 1
before=$(digest)
( for _ in $(seq 1 50); do
    sleep 0.2
    n=$(psql -XAtq -d "$db" -c "SELECT pg_terminate_backend(pid) FROM pg_stat_activity
          WHERE datname = '$db' AND wait_event = 'PgSleep'" | grep -c t)
    [ "$n" -gt 0 ] && break
  done ) &
out=$(win rebuild vat --company 1 --year 2024 --connection "$odbc" 2>&1)
code=$?
wait
[ $code -ne 0 ] || fail "the rebuild whose connection was ended said it went well"
[ "$(digest)" = "$before" ] || fail "a rebuild ended by the server left the VAT totals changed"
psql -XAtq -d "$db" -c "DROP TRIGGER slow_write ON CG59_PROGIVAM; DROP FUNCTION slow_write()" >/dev/null

# The rebuilds through Windows leave a ledger the Linux build checks clean.
for r in "accounts --company 1 --fiscal-year 2024 --fiscal-seq 1" "vat --company 1 --year 2024" \
         "margin --company 1 --year 2024"; do
  win rebuild $r --connection "$odbc" >/dev/null || fail "rebuild $r under Wine"
done
for c in "accounts --company 1 --fiscal-year 2024 --fiscal-seq 1" "margin --company 1 --year 2024"; do
  "$linux" check $c --connection "dbname=$db" >/dev/null 2>&1 || fail "check $c after the Windows rebuild flags rows"
done
echo "wine: the Windows build gives the Linux build's rows and leaves a clean ledger"
