#!/usr/bin/env bash
# The acceptance kit on scratch databases, through libpq or through ODBC (psqlODBC): it passes on
# an empty database and leaves it empty; it refuses, with exit 2 and nothing written, a database
# that holds the ledger and one where tables cannot be made; and with a result row falsified it
# fails on that row.
set -uo pipefail
cli=$1 backend=$2
base="vp_selftest_$$"
fail() { echo "FAILED: $*"; exit 1; }
conn() {
  if [ "$backend" = odbc ]; then
    echo "Driver={${VERIPROG_TEST_ODBC_DRIVER:-PostgreSQL Unicode}};Server=${PGHOST:-localhost};Port=${PGPORT:-5432};Database=$1;UID=${2:-${PGUSER:-postgres}}"
  else
    echo "dbname=$1${2:+ user=$2}"
  fi
}
tables() { psql -XAtq -d "$1" -c "SELECT count(*) FROM information_schema.tables WHERE table_schema IN ('public', 'dbo')"; }
cleanup() {
  for d in "$base"_empty "$base"_ledger "$base"_locked "$base"_wrong; do dropdb --force --if-exists "$d" 2>/dev/null; done
  psql -XAtq -d postgres -c "DROP ROLE IF EXISTS ${base}_reader" >/dev/null 2>&1
}
trap cleanup EXIT

# An empty database: every step passes, the report names the server and the driver, and nothing
# is left behind.
createdb "$base"_empty || exit 1
out=$("$cli" selftest --connection "$(conn "$base"_empty)" --lines 6000 --report "$base.json" 2>&1)
code=$?
[ $code -eq 0 ] || fail "selftest on an empty database ended with $code: $out"
grep -q '^FAIL' <<<"$out" && fail "a step failed: $out"
for step in "check        accounts" "check        every company" "dry run      turnover" \
            "rebuild      vat" "client fault travel" "server fault accounts" "drop         schema"; do
  grep -q "^pass  $step" <<<"$out" || fail "no passing step '$step': $out"
done
python3 - "$base.json" "$backend" <<'PY' || fail "report"
import json, sys
r = json.load(open(sys.argv[1]))
assert r["passed"] is True and r["refused"] == "", r
assert r["server"]["server_version"].startswith("PostgreSQL"), r["server"]
assert ("psqlodbc" in r["server"]["client"]) == (sys.argv[2] == "odbc"), r["server"]
assert all(s["passed"] for s in r["steps"]) and len(r["steps"]) > 40
PY
rm -f "$base.json"
[ "$(tables "$base"_empty)" = 0 ] || fail "the kit left tables behind"

# A database that holds the ledger: refused before anything is written.
createdb "$base"_ledger --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}" || exit 1
before=$(tables "$base"_ledger)
out=$("$cli" selftest --connection "$(conn "$base"_ledger)" 2>&1)
code=$?
[ $code -eq 2 ] || fail "a database holding the ledger: exit $code: $out"
grep -q "already holds .* ledger tables" <<<"$out" || fail "refusal not said: $out"
[ "$(tables "$base"_ledger)" = "$before" ] || fail "the refusal wrote something"

# A role that may connect but not make tables (PostgreSQL 15 gives no one but the owner that).
createdb "$base"_locked || exit 1
psql -XAtq -d "$base"_locked -c "CREATE ROLE ${base}_reader LOGIN; REVOKE CREATE ON SCHEMA public FROM PUBLIC" >/dev/null || exit 1
out=$("$cli" selftest --connection "$(conn "$base"_locked "${base}_reader")" 2>&1)
code=$?
[ $code -eq 2 ] || fail "a database where tables cannot be made: exit $code: $out"
grep -q "tables cannot be made" <<<"$out" || fail "refusal not said: $out"
[ "$(tables "$base"_locked)" = 0 ] || fail "the refusal wrote something"

# One row of the VAT check falsified: the kit fails on that row, and exits 1.
if [ "$backend" = libpq ]; then
  createdb "$base"_wrong || exit 1
  out=$("$cli" selftest --connection "$(conn "$base"_wrong)" --lines 3000 --corrupt-result vat --format json 2>/dev/null)
  code=$?
  [ $code -eq 1 ] || fail "a falsified row: exit $code"
  python3 -c '
import json, sys
r = json.loads(sys.stdin.read())
failed = [s for s in r["steps"] if not s["passed"]]
assert r["passed"] is False
assert [(s["step"], s["operation"]) for s in failed] == [("check", "vat"), ("check", "every company")], failed
assert failed[0]["difference"].startswith(("flagged, not wrong: register type", "made wrong, not flagged: register type")), failed[0]
' <<<"$out" || fail "the falsified row was not the failure: $out"
fi
echo "selftest ($backend): passes, refuses and fails as it should"
