#!/usr/bin/env bash
# check --recheck: the flagged rows looked at again after the pause. Nothing mended: every one
# confirmed, exit 1; all rebuilt during the pause: every one transient, exit 0; the verdict in
# each output format; a second look that fails ends with 3; pauses out of bounds refused with 2;
# Ctrl-C in the pause ends the tool.
set -uo pipefail
set -m  # background jobs keep their signals
cli=$1
db="vp_recheck_$$"
createdb "$db" --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}" || exit 1
work=$(mktemp -d)
trap 'dropdb --force "$db" 2>/dev/null; rm -rf "$work"' EXIT
export VERIPROG_CONNECTION="dbname=$db"
"$cli" generate --connection "dbname=$db" --lines 1500 --wrong 3 --seed 5 >/dev/null || exit 1
fy="--company 1 --fiscal-year 2024 --fiscal-seq 1"

passed=0 failed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
check() { if eval "$1"; then passed=$((passed + 1)); else fail "$2: $(tail -3 "$work/err")"; fi; }
# until_said FILE TEXT: until FILE holds TEXT (at most 30 s).
until_said() {
  for _ in $(seq 1 600); do grep -q "$2" "$1" && return 0; sleep 0.05; done
  return 1
}

# Nothing changes in the pause: each flagged row confirmed.
"$cli" check accounts $fy --recheck 0 --flagged-only >"$work/out" 2>"$work/err"
check '[ $? -eq 1 ]' "unchanged ledger: exit 1"
flagged=$(grep -o "flagged=[0-9]*" "$work/err" | cut -d= -f2)
check '[ "$flagged" -gt 0 ] && [ "$(grep -c " confirmed$" "$work/out")" -eq "$flagged" ]' \
  "every printed row confirmed"
check 'head -1 "$work/out" | grep -q "RECHECK$"' "table: a RECHECK column"
check 'grep -q "^recheck: $flagged confirmed, 0 transient after 0 s$" "$work/err"' "the recheck line"
"$cli" check accounts $fy --recheck 0.2 --format csv >"$work/out" 2>"$work/err"
check '[ $? -eq 1 ] && head -1 "$work/out" | grep -q ",RECHECK.$"' "CSV: a RECHECK column"
check '[ "$(grep -c ",confirmed.$" "$work/out")" -eq "$flagged" ]' "CSV: the flagged rows confirmed"
"$cli" check accounts $fy --recheck 0 --flagged-only --format json >"$work/out" 2>/dev/null
check '[ "$(grep -c "\"RECHECK\": \"confirmed\"" "$work/out")" -eq "$flagged" ]' \
  "JSON: RECHECK on every row"

# The totals rebuilt while the check waits: nothing confirmed, exit 0. The second look waits for
# the rebuild's lock, so it sees the rebuilt totals even if the rebuild outlasts the pause.
"$cli" check accounts $fy --recheck 3 >"$work/out" 2>"$work/err" &
waiting=$!
until_said "$work/err" "checked again in 3 s" || fail "no pause announced"
"$cli" rebuild accounts $fy >/dev/null 2>"$work/rebuild_err" || fail "the rebuild in the pause: $(tail -3 "$work/rebuild_err")"
wait "$waiting"
check '[ $? -eq 0 ]' "all mended: exit 0"
check 'grep -q "^recheck: 0 confirmed, $flagged transient after 3 s$" "$work/err"' "all transient"
check '[ "$(grep -c " transient$" "$work/out")" -eq "$flagged" ]' "the rows marked transient"
# Nothing flagged now: no pause, exit 0.
"$cli" check accounts $fy --recheck 3600 >/dev/null 2>"$work/err"
check '[ $? -eq 0 ] && ! grep -q "^recheck" "$work/err"' "nothing flagged: no recheck"

# Pauses out of bounds or not numbers.
for bad in -1 3601 nan inf 1e9 2s ""; do
  "$cli" check accounts $fy --recheck "$bad" >/dev/null 2>&1
  check '[ $? -eq 2 ]' "--recheck '$bad' refused"
done

# The second look fails: no verdicts, and the failure is the outcome, never a clean bill.
psql -XAtq -d "$db" -c "UPDATE CG53_PROGA SET CG53_SALDOFIN = CG53_SALDOFIN + 1" >/dev/null
"$cli" check accounts $fy --recheck 3 >"$work/out" 2>"$work/err" &
waiting=$!
until_said "$work/err" "checked again in 3 s" || fail "no pause announced"
psql -XAtq -d "$db" -c "ALTER TABLE CG53_PROGA RENAME TO CG53_AWAY" >/dev/null
wait "$waiting"
code=$?
psql -XAtq -d "$db" -c "ALTER TABLE CG53_AWAY RENAME TO CG53_PROGA" >/dev/null
check '[ $code -eq 3 ] && grep -q "^recheck failed: " "$work/err"' "a failed second look: exit 3"
check '! grep -q "RECHECK" "$work/out"' "a failed second look: no verdicts"

# Ctrl-C in an hour's pause ends the tool, with 130 and nothing written (the test's time limit
# is far shorter than the pause).
"$cli" check accounts $fy --recheck 3600 >/dev/null 2>"$work/err" &
waiting=$!
until_said "$work/err" "checked again in 3600 s" || fail "no pause announced"
kill -INT "$waiting"
wait "$waiting"
check '[ $? -eq 130 ] && grep -q "interrupted: the recheck stopped" "$work/err"' "Ctrl-C in the pause"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
