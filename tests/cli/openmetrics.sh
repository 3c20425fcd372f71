#!/usr/bin/env bash
# --format openmetrics read back by a real parser (the Python client's, python3-prometheus-client
# from scripts/deps): a check with flagged totals, check all over two companies, a rebuild all and
# the check after it that finds nothing, and option values hostile to the label syntax.
set -uo pipefail
cli=$1
here=$(dirname "$0")
python=
for p in /usr/bin/python3 python3; do
  if "$p" -c 'import prometheus_client.openmetrics.parser' 2>/dev/null; then
    python=$p
    break
  fi
done
if [ -z "$python" ]; then
  echo "python3-prometheus-client is not installed: run scripts/deps"
  exit 1
fi
db="vp_metrics_$$"
createdb "$db" --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}" || exit 1
work=$(mktemp -d)
trap 'dropdb --force "$db" 2>/dev/null; rm -rf "$work"' EXIT
export VERIPROG_CONNECTION="dbname=$db"
"$cli" generate --connection "dbname=$db" --lines 1500 --wrong 4 --companies 2 --seed 11 \
  >/dev/null || exit 1

passed=0 failed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
pass() { passed=$((passed + 1)); }
# metrics WANT COMMAND...: exit code WANT, the text parsed into $work/samples, a summary on stderr.
metrics() {
  local want=$1
  shift
  "$@" --format openmetrics >"$work/out" 2>"$work/err"
  local code=$?
  [ "$code" -eq "$want" ] || fail "$* exited $code, wanted $want: $(tail -3 "$work/err")"
  tail -1 "$work/err" | grep -q "^summary: .* exit=$want$" || fail "$*: no summary line"
  [ "$(tail -1 "$work/out")" = "# EOF" ] || fail "$*: the text does not end with # EOF"
  if "$python" "$here/openmetrics_samples.py" <"$work/out" >"$work/samples" 2>"$work/parse"; then
    pass
  else
    fail "$*: the parser refused the text: $(tail -1 "$work/parse")"
  fi
}
# sum NAME [FILTER]: the values of NAME's samples (matching FILTER) added up.
sum() { grep "^$1{" "$work/samples" | grep -e "${2:-}" | awk '{ s += $NF } END { print s + 0 }'; }
count() { grep -c "^$1{" "$work/samples"; }
summary_flagged() { tail -1 "$work/err" | sed -E 's/.* flagged=([0-9-]+) .*/\1/'; }
# Within ten minutes of now: this run's own time.
recent() {
  local now
  now=$(date +%s)
  grep "^veriprog_last_success_timestamp_seconds{" "$work/samples" |
    awk -v now="$now" '$NF < now - 600 || $NF > now + 600 { bad = 1 } END { exit bad }'
}

# One check with flagged totals: the count the summary gives, the run's time, success.
fy="--company 1 --fiscal-year 2024 --fiscal-seq 1"
metrics 1 "$cli" check accounts $fy
one='{company="1",family="accounts",operation="check",period="2024/1"}'
flagged=$(summary_flagged)
[ "$flagged" -gt 0 ] || fail "the generated ledger has no flagged account total"
grep -qxF "veriprog_flagged_totals$one $flagged" "$work/samples" || fail "check: flagged totals"
grep -qxF "veriprog_exit_code$one 1" "$work/samples" || fail "check: exit code"
grep -qxF "veriprog_success$one 1" "$work/samples" || fail "check: success"
grep -qF "veriprog_run_seconds$one " "$work/samples" || fail "check: run time"
[ "$(count veriprog_last_success_timestamp_seconds)" -eq 1 ] && recent || fail "check: last success"
grep -qv '^\(#\|veriprog_\)' "$work/out" && fail "check: rows printed" || pass

# Every company: a sample of each family per operation, flagged as the summary counts them.
metrics 1 "$cli" check all --companies 1-2 --fiscal-years 2024 --jobs 2
"$cli" check all --companies 1-2 --fiscal-years 2024 --format csv >"$work/units.csv" 2>/dev/null
units=$(($(wc -l <"$work/units.csv") - 1))
[ "$units" -gt 2 ] || fail "check all: too few operations ($units)"
for name in veriprog_flagged_totals veriprog_run_seconds veriprog_exit_code veriprog_success \
            veriprog_last_success_timestamp_seconds; do
  [ "$(count $name)" -eq "$units" ] || fail "check all: $(count $name) samples of $name, not $units"
done
[ "$(sum veriprog_flagged_totals)" -eq "$(summary_flagged)" ] || fail "check all: flagged totals"
[ "$(sum veriprog_success)" -eq "$units" ] || fail "check all: not every operation went through"
for c in 1 2; do
  [ "$(sum veriprog_exit_code "company=\"$c\"")" -gt 0 ] || fail "check all: company $c has no flag"
done
grep -q 'family="vat".*period="2024"' "$work/samples" || fail "check all: no VAT check of 2024"
recent || fail "check all: last success"

# A rebuild gives no flagged totals; the check after it finds nothing.
metrics 0 "$cli" rebuild all --companies 1 --fiscal-years 2024
[ "$(count veriprog_flagged_totals)" -eq 0 ] || fail "rebuild all: flagged totals"
grep -q '^veriprog_success{company="1",family="turnover",operation="rebuild",period="2024/1"} 1$' \
  "$work/samples" || fail "rebuild all: the turnover rebuild"
metrics 0 "$cli" check all --companies 1 --fiscal-years 2024
[ "$(sum veriprog_flagged_totals)" -eq 0 ] || fail "check all after the rebuild: flagged totals"

# Option values that would break the label syntax: refused (2), the text still parses, the
# values come back as given (a byte that is not UTF-8 as U+FFFD), and no success is claimed.
metrics 2 "$cli" check accounts --company $'1"} 9\n# EOF\\' --fiscal-year 2024 --fiscal-seq $'1\xff'
grep -qF 'company="1\"} 9\n# EOF\\",family="accounts",operation="check",period="2024/1\ufffd"} 2' \
  "$work/samples" || fail "hostile labels: $(grep exit_code "$work/samples")"
[ "$(count veriprog_last_success_timestamp_seconds)" -eq 0 ] || fail "hostile: a last success"
[ "$(count veriprog_flagged_totals)" -eq 0 ] || fail "hostile: flagged totals counted"
grep -q '^veriprog_success{.*} 0$' "$work/samples" || fail "hostile: success"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
