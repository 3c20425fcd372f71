#!/usr/bin/env bash
# Runs the C host against a generated ledger in a database of its own.
set -euo pipefail
cli=$1 program=$2
db="vp_c_api_$$"
createdb "$db" --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}"
createdb "${db}_h" --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}"
work=$(mktemp -d)
trap 'dropdb --force "$db"; dropdb --force "${db}_h"; rm -rf "$work"' EXIT
for d in "$db" "${db}_h"; do
  "$cli" generate --connection "dbname=$d" --lines 3000 --wrong 12 --seed 11 >/dev/null
done
"$program" "dbname=$db" "$work/history.db" "dbname=${db}_h"
