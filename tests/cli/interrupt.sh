#!/usr/bin/env bash
# Ctrl-C and SIGTERM in the middle of a rebuild: the rebuild stops, rolls back and says so, the
# tool ends with 130 or 143, no transaction stays open and the stored totals are as they were.
# The same when the server ends the connection under the rebuild: the tool reports the server's
# words and ends with 3, and the next rebuild runs normally.
# The rebuild is held in the middle by a lock on a table its third step reads, after its first
# two steps have deleted the totals, so the signal always lands inside the transaction.
set -euo pipefail
set -m  # background jobs keep their signals
cli=$1
db="vp_interrupt_$$"
createdb "$db" --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}"
locker=
# The server session holding the lock ends only when told to: its client going away is not enough.
release_lock() {
  psql -XAtq -d "$db" -c "SELECT pg_terminate_backend(pid) FROM pg_stat_activity
                          WHERE application_name = 'vp_locker' AND datname = '$db'" >/dev/null
  wait "$locker" 2>/dev/null || true
}
cleanup() {
  [ -n "$locker" ] && release_lock
  dropdb --force "$db" 2>/dev/null || true
}
trap cleanup EXIT
"$cli" generate --connection "dbname=$db" --lines 4000 --wrong 2 --seed 5 >/dev/null

totals() {
  psql -XAtq -d "$db" -c "SELECT md5(string_agg(x, ',' ORDER BY x)) FROM (
      SELECT t::text AS x FROM CG53_PROGA t UNION ALL SELECT t::text FROM CG52_PROGM t
      UNION ALL SELECT t::text FROM CGV0_PROGAVAL t UNION ALL SELECT t::text FROM CGV1_PROGMVAL t) s"
}
wait_for() {  # wait_for SQL: until the query answers t
  for _ in $(seq 1 600); do
    [ "$(psql -XAtq -d "$db" -c "$1")" = t ] && return 0
    sleep 0.05
  done
  echo "timed out waiting for: $1"
  exit 1
}

before=$(totals)
for signal in INT TERM SERVER; do
  PGAPPNAME=vp_locker psql -XAtq -d "$db" -c "BEGIN; LOCK TABLE CG33_TABCAU IN ACCESS EXCLUSIVE MODE;
                          SELECT pg_sleep(60);" >/dev/null 2>&1 &
  locker=$!
  wait_for "SELECT EXISTS (SELECT 1 FROM pg_locks l JOIN pg_class c ON c.oid = l.relation
            WHERE c.relname = 'cg33_tabcau' AND l.mode = 'AccessExclusiveLock' AND l.granted)"
  err=$(mktemp)
  "$cli" rebuild accounts --company 1 --fiscal-year 2024 --fiscal-seq 1 \
    --connection "dbname=$db" 2>"$err" &
  rebuild=$!
  wait_for "SELECT EXISTS (SELECT 1 FROM pg_stat_activity
            WHERE application_name = 'veriprog' AND wait_event_type = 'Lock' AND datname = '$db')"
  if [ "$signal" = SERVER ]; then
    psql -XAtq -d "$db" -c "SELECT pg_terminate_backend(pid) FROM pg_stat_activity
                            WHERE application_name = 'veriprog' AND datname = '$db'" >/dev/null
  else
    kill -"$signal" "$rebuild"
  fi
  set +e
  wait "$rebuild"
  code=$?
  set -e
  case $signal in INT) want=130 say="the rebuild was rolled back" ;;
                  TERM) want=143 say="the rebuild was rolled back" ;;
                  SERVER) want=3 say="terminating connection" ;; esac
  [ "$code" -eq "$want" ] || { echo "$signal: exit code $code, wanted $want"; cat "$err"; exit 1; }
  grep -q "$say" "$err" || { echo "$signal: stderr lacks '$say'"; cat "$err"; exit 1; }
  release_lock
  locker=
  open=$(psql -XAtq -d "$db" -c "SELECT count(*) FROM pg_stat_activity
         WHERE application_name = 'veriprog' AND state LIKE 'idle in transaction%' AND datname = '$db'")
  [ "$open" = 0 ] || { echo "$signal: a transaction was left open"; exit 1; }
  [ "$(totals)" = "$before" ] || { echo "$signal: the stored totals changed"; exit 1; }
  [ -z "${SHOW:-}" ] || cat "$err"
  rm -f "$err"
done
"$cli" rebuild accounts --company 1 --fiscal-year 2024 --fiscal-seq 1 \
  --connection "dbname=$db" 2>/dev/null || { echo "the rebuild after them failed"; exit 1; }
[ "$(totals)" != "$before" ] || { echo "the rebuild after them changed nothing"; exit 1; }
echo "3 passed, 0 failed"
