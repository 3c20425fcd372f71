#!/usr/bin/env bash
# The command line's dry runs, explanations and work on every company, as a user meets them:
# exit codes, the summary line every operation ends with, the JSON format version, hostile
# values refused with 2, and a dry run that leaves every row of every table as it was.
set -uo pipefail
cli=$1
db="vp_features_$$"
createdb "$db" --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}" || exit 1
work=$(mktemp -d)
role="vp_one_$$"
trap 'dropdb --force "$db" 2>/dev/null; dropuser "$role" 2>/dev/null; rm -rf "$work"' EXIT
export VERIPROG_CONNECTION="dbname=$db"
"$cli" generate --connection "dbname=$db" --lines 1500 --wrong 4 --wrong-months 2 --companies 3 --seed 5 \
  --format json >"$work/generated.json" || exit 1

passed=0 failed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
pass() { passed=$((passed + 1)); }
# run WANT COMMAND...: exit code WANT and a last stderr line "summary: ... exit=WANT".
run() {
  local want=$1
  shift
  "$@" >"$work/out" 2>"$work/err"
  local code=$?
  if [ "$code" -ne "$want" ]; then
    fail "$* exited $code, wanted $want: $(tail -3 "$work/err")"
  elif ! tail -1 "$work/err" | grep -Eq "^summary: .* rows=[0-9-]+ flagged=[0-9-]+ elapsed=[0-9.]+s exit=$want$"; then
    fail "$*: no summary line: $(tail -1 "$work/err")"
  else
    pass
  fi
}
dump() {
  psql -XAtq -d "$db" -c "SELECT md5(string_agg(x, ',' ORDER BY x)) FROM (
      SELECT 'a' || t::text AS x FROM CG53_PROGA t UNION ALL SELECT 'b' || t::text FROM CG52_PROGM t
      UNION ALL SELECT 'c' || t::text FROM CGV0_PROGAVAL t UNION ALL SELECT 'd' || t::text FROM CGV1_PROGMVAL t
      UNION ALL SELECT 'e' || t::text FROM CG59_PROGIVAM t UNION ALL SELECT 'f' || t::text FROM CG68_NUMERDESC t
      UNION ALL SELECT 'g' || t::text FROM CG51_PROGPLAFOND t UNION ALL SELECT 'h' || t::text FROM CGL4_PROGIVAPLAF t
      UNION ALL SELECT 'i' || t::text FROM CGM3_PROGIVAM t UNION ALL SELECT 'j' || t::text FROM CGL3_PROGIVAMARG t
      UNION ALL SELECT 'k' || t::text FROM CGA0_PROGIVAM t UNION ALL SELECT 'l' || t::text FROM CGL6_PROGIVAAGVIAG t) s"
}

# Dry runs: something would change (1), every table as it was after them.
before=$(dump)
fy="--company 1 --fiscal-year 2024 --fiscal-seq 1"
for rebuild in accounts accounts-legacy turnover; do
  run 1 "$cli" rebuild $rebuild $fy --dry-run
done
for rebuild in "vat" "plafond" "plafond --by-activity" "margin" "margin --by-activity" \
               "agriculture" "travel"; do
  run 1 "$cli" rebuild $rebuild --company 1 --year 2024 --dry-run --format json
  grep -q '"format_version": 1' "$work/out" || fail "rebuild $rebuild --dry-run: no format version"
done
run 1 "$cli" rebuild accounts $fy --dry-run --format csv
head -1 "$work/out" | grep -q '^TABLE,CHANGE,KEY,COLUMN,OLD,NEW' || fail "dry run CSV header"
[ "$(dump)" = "$before" ] && pass || fail "a dry run changed the stored totals"
run 2 "$cli" rebuild accounts $fy --dry-run --no-transaction
run 2 "$cli" rebuild accounts --company 1 --fiscal-year 2024 --fiscal-seq "1 OR 1=1" --dry-run
run 2 "$cli" rebuild vat --company "1'; DELETE FROM CG59_PROGIVAM; --" --year 2024 --dry-run
[ "$(dump)" = "$before" ] && pass || fail "a refused dry run changed the stored totals"
# After the rebuild, nothing left to change.
run 0 "$cli" rebuild accounts $fy
run 0 "$cli" rebuild accounts $fy --dry-run

# explain: a key that agrees (0); parameters refused (2); a fiscal year that is not there (2).
run 0 "$cli" explain accounts $fy --account 6041 --branch 1
run 0 "$cli" explain accounts $fy --account "x'OR'1'='1" --format json
grep -q '"verdict": "stored and journal agree' "$work/out" || fail "explain of an unknown account"
run 2 "$cli" explain accounts $fy --account 1401 --customer "1:5 OR 1=1"
run 2 "$cli" explain accounts $fy --account 1401 --customer 15
run 2 "$cli" explain accounts --company 1 --fiscal-year "2024;" --fiscal-seq 1 --account 1401
run 2 "$cli" explain accounts $fy --account 12345678901
run 2 "$cli" explain accounts --company 1 --fiscal-year 2031 --fiscal-seq 1 --account 1401
run 2 "$cli" explain accounts $fy

# Every company: the totals made wrong are flagged (1); once rebuilt, nothing (0).
run 1 "$cli" check all --jobs 2
grep -Eq '^ +3 +2024/1 +accounts' "$work/out" || fail "check all: no row for company 3"
run 1 "$cli" check all --companies 2-3 --fiscal-years 2024 --families accounts,vat --format json
grep -q '"format_version": 1' "$work/out" || fail "check all: no format version"
grep -q '"ditta": 1,' "$work/out" && fail "check all: company 1 was not asked for"
run 2 "$cli" check all --companies "1;DROP TABLE CG53_PROGA"
run 2 "$cli" check all --fiscal-years 2025-2024
run 2 "$cli" check all --families accounts,payroll
run 2 "$cli" check all --companies 99
"$cli" check all --jobs 0 2>/dev/null
[ $? -eq 2 ] && pass || fail "check all --jobs 0: a bad option value ends with 2"
run 2 "$cli" check all --connection "host=127.0.0.1 port=1 connect_timeout=2"
run 0 "$cli" rebuild all --jobs 3
run 0 "$cli" check all --jobs 3 --format csv
head -1 "$work/out" | grep -q '^COMPANY,PERIOD,FAMILY,ROWS,FLAGGED,SECONDS,OUTCOME,MESSAGE' ||
  fail "check all CSV header"
run 0 "$cli" check accounts $fy --format json
grep -q '"format_version": 1' "$work/out" || fail "check: no format version"

# A database that holds a ledger already: generate refuses it (2) and writes nothing.
before=$(dump)
"$cli" generate --connection "dbname=$db" --lines 100 --seed 9 >/dev/null 2>"$work/err"
code=$?
[ "$code" -eq 2 ] && grep -q "already holds a ledger" "$work/err" && pass ||
  fail "generate over a ledger: exit $code: $(cat "$work/err")"
[ "$(dump)" = "$before" ] && pass || fail "a refused generate changed the stored totals"

# A failure is never reported as done, nor as a count of nothing.
run 2 "$cli" check accounts --company 1 --fiscal-year 2031 --fiscal-seq 1
grep -q "done" "$work/err" && fail "check of a missing fiscal year said done: $(cat "$work/err")"
run 2 "$cli" check accounts $fy --connection "host=127.0.0.1 port=1 connect_timeout=2"
tail -1 "$work/err" | grep -q " rows=- flagged=- " || fail "no connection, yet: $(tail -1 "$work/err")"
run 0 "$cli" check accounts $fy --flagged-only
grep -q "^done: " "$work/err" && pass || fail "a check that ran said nothing of its end"
# The companies' connections refused (the role may hold the one that lists them): none counted.
createuser --connection-limit=1 "$role" && psql -XAtq -d "$db" -c "GRANT SELECT ON ALL TABLES IN SCHEMA public TO $role" ||
  fail "no role with one connection"
run 2 "$cli" check all --jobs 64 --connection "dbname=$db user=$role"
grep -q " on 0 connections$" "$work/err" && tail -1 "$work/err" | grep -q " rows=- flagged=- " ||
  fail "refused connections counted: $(tail -2 "$work/err")"
run 0 "$cli" check all --jobs 64
grep -q " on 3 connections$" "$work/err" || fail "check all --jobs 64: $(tail -2 "$work/err")"

# Company 1 locked by another run: the wait is said, and with a limit it ends there, nothing
# written; an operator takes the lock by the name the README gives.
psql -XAtq -d "$db" -c "SELECT pg_advisory_lock(hashtextextended('veriprog ditta 1', 0)), pg_sleep(4)" \
  >/dev/null &
holder=$!
sleep 0.5
before=$(dump)
run 3 "$cli" rebuild accounts $fy --lock-timeout 1
grep -q "waiting for company 1, locked by another run" "$work/err" &&
  grep -q "company 1 is locked by another run" "$work/err" && pass ||
  fail "rebuild behind a held lock: $(cat "$work/err")"
[ "$(dump)" = "$before" ] && pass || fail "a rebuild that gave up on the lock wrote"
"$cli" check accounts $fy >/dev/null 2>"$work/err"
grep -q "waiting for company 1" "$work/err" && pass || fail "a check waited unsaid: $(cat "$work/err")"
wait "$holder"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
