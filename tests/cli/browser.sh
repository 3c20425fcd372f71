#!/usr/bin/env bash
# The HTML report in a real browser (headless Chromium, no network): the page of one check and
# that of every company load without an error, reference nothing outside themselves, and show
# the summary, the flagged rows and a chart per flagged account key. Without Chromium the test
# is skipped (exit 77) on a developer's machine and fails in CI (CI=true): scripts/deps browser
# installs it.
set -uo pipefail
cli=$1
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  if [ "${CI:-}" = true ]; then
    echo "chromium is not installed: run scripts/deps browser"
    exit 1
  fi
  echo "skipped: chromium is not installed (scripts/deps browser installs it)"
  exit 77
fi
db="vp_browser_$$"
createdb "$db" --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}" || exit 1
work=$(mktemp -d)
trap 'dropdb --force "$db" 2>/dev/null; rm -rf "$work"' EXIT
export VERIPROG_CONNECTION="dbname=$db"
"$cli" generate --connection "$VERIPROG_CONNECTION" --lines 1500 --wrong 5 --seed 8 >/dev/null ||
  exit 1

passed=0 failed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
pass() { passed=$((passed + 1)); }

fy="--company 1 --fiscal-year 2024 --fiscal-seq 1"
"$cli" check accounts $fy --format html >"$work/one.html" 2>/dev/null
[ $? -eq 1 ] || fail "check accounts --format html: exit code"
"$cli" check all --jobs 2 --format html >"$work/all.html" 2>/dev/null
[ $? -eq 1 ] || fail "check all --format html: exit code"
# The account keys the check flags, as the page must show them.
mapfile -t flagged < <("$cli" check accounts $fy --flagged-only --format csv 2>/dev/null |
                       tail -n +2 | cut -d, -f1 | tr -d '\r ' | sort -u)
[ ${#flagged[@]} -gt 0 ] || fail "the generated ledger has no flagged account"

# Records every error of the page (a script's, or a resource that does not load) on <html>.
probe='<script>addEventListener("error",function(e){var h=document.documentElement;var t=e.target;h.setAttribute("data-load-errors",(h.getAttribute("data-load-errors")||"")+(e.message||("could not load "+(t.src||t.href||"?")))+"; ");},true);</script>'
for page in one all; do
  html="$work/$page.html"
  # Self-contained: no script, no reference outside the page but the SVG namespace.
  outside=$(grep -Eo '(src|href)="[^"#][^"]*"|<script|@import|url\(' "$html" | grep -v '^href="data:,"$')
  [ -z "$outside" ] && pass || fail "$page: refers outside itself: $outside"
  content=$(cat "$html")
  printf '%s' "${content/<head>/<head>$probe}" >"$work/$page.probed.html"
  rm -rf "$work/profile"
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --virtual-time-budget=3000 \
    --dump-dom "file://$work/$page.probed.html" >"$work/$page.dom" 2>"$work/$page.log"
  code=$?
  if [ "$code" -ne 0 ] || ! grep -q '</html>' "$work/$page.dom"; then
    fail "$page: the browser did not load the page (exit $code): $(tail -3 "$work/$page.log")"
    continue
  fi
  errors=$(grep -o '<html[^>]*data-load-errors="[^"]*"' "$work/$page.dom")
  [ -z "$errors" ] && pass || fail "$page: $errors"
  grep -q '<h2>Summary</h2>' "$work/$page.dom" && pass || fail "$page: no summary"
  charts=$(grep -o '<svg' "$work/$page.dom" | wc -l)
  [ "$charts" -ge "${#flagged[@]}" ] && pass || fail "$page: $charts charts for ${#flagged[@]} keys"
  for conto in "${flagged[@]}"; do
    grep -q "<td>$conto</td>" "$work/$page.dom" && pass || fail "$page: flagged $conto not shown"
  done
done
# Every flagged check of every company has its section on the page of them all.
sections=$(grep -o '<section id="check-' "$work/all.dom" | wc -l)
[ "$sections" -ge 4 ] && pass || fail "all: $sections sections of flagged checks"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
