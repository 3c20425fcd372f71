#!/usr/bin/env bash
# Runs the C host against a generated ledger in a database of its own.
set -euo pipefail
cli=$1 program=$2
db="vp_c_api_$$"
createdb "$db" --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}"
trap 'dropdb --force "$db"' EXIT
"$cli" generate --connection "dbname=$db" --lines 3000 --wrong 12 --seed 11 >/dev/null
"$program" "dbname=$db"
