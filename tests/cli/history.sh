#!/usr/bin/env bash
# The run history from the command line: two checks with one new fault between them, --new-only
# showing exactly that fault and nothing once acknowledged; the runs and a key's story listed;
# a history file that is not sound refused with exit 2 and left as it was.
set -uo pipefail
cli=$1
db="vp_history_$$"
createdb "$db" --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}" || exit 1
work=$(mktemp -d)
trap 'dropdb --force "$db" 2>/dev/null; rm -rf "$work"' EXIT
export VERIPROG_CONNECTION="dbname=$db" VERIPROG_HISTORY="$work/h/history.db"
"$cli" generate --connection "dbname=$db" --lines 1500 --wrong 3 --seed 5 >/dev/null || exit 1
fy="--company 1 --fiscal-year 2024 --fiscal-seq 1"

# column N of CSV: the rows' values of that column (CSV quotes the keys: they hold commas).
column() { /usr/bin/python3 -c 'import csv,sys; r=list(csv.DictReader(open(sys.argv[1]))); print("\n".join(x[sys.argv[2]] for x in r))' "$@"; }
passed=0 failed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
check() { if eval "$1"; then passed=$((passed + 1)); else fail "$2: $(tail -3 "$work/err")"; fi; }

"$cli" check accounts $fy --new-only --format csv >"$work/out" 2>"$work/err"
check '[ $? -eq 1 ]' "first run: everything flagged is new, exit 1"
flagged=$(grep -o "flagged=[0-9]*" "$work/err" | cut -d= -f2)
check '[ "$flagged" -gt 0 ] && [ "$(column "$work/out" FINDING | grep -c "^new$")" -eq "$flagged" ]' \
  "first run: $flagged new rows"
check 'grep -q "^history: run 1; $flagged flagged: $flagged new, 0 known, 0 acknowledged$" "$work/err"' \
  "the history line"
check 'grep -qx "history: a new history at $VERIPROG_HISTORY" "$work/err"' "a new history said so"

# One total made wrong between the checks: that key, and only it, is new.
conto=$(psql -qtA "dbname=$db" -c "UPDATE CG53_PROGA SET CG53_SALDOFIN = CG53_SALDOFIN + 0.01
  WHERE CG53_IDPROGA = (SELECT MAX(CG53_IDPROGA) FROM CG53_PROGA WHERE CG53_DITTA_CG18 = 1
    AND CG53_ANNO_CG19 = 2024 AND CG53_PROGESER_CG19 = 1 AND CG53_CONTO_CG24 IS NOT NULL)
  RETURNING TRIM(CG53_CONTO_CG24)")
"$cli" check accounts $fy --new-only --format csv >"$work/out" 2>"$work/err"
check '[ $? -eq 1 ]' "one new fault: exit 1"
check '! grep -q "a new history" "$work/err"' "a history that was there: not new"
check '[ "$(tail -n +2 "$work/out" | wc -l)" -eq 1 ] && tail -1 "$work/out" | grep -q "^$conto *,"' \
  "exactly the new fault ($conto)"
key=$(column "$work/out" KEY)
check '[[ "$key" == accounts:1:2024/1:CONTO=$conto,* ]]' "its key: $key"

"$cli" ack "$key" --note "posted by hand, agreed with the accountant" >/dev/null 2>"$work/err"
check '[ $? -eq 0 ] && grep -q "1 key acknowledged" "$work/err"' "ack"
"$cli" check accounts $fy --new-only >"$work/out" 2>"$work/err"
check '[ $? -eq 0 ] && grep -q "(0 rows)" "$work/out"' "after ack: nothing new, exit 0"
"$cli" check accounts $fy --keys --flagged-only --format csv >"$work/out" 2>/dev/null
check '[ "$(column "$work/out" FINDING | sort | uniq -c | xargs)" = "1 acknowledged $flagged known" ]' \
  "--keys: the acknowledged one and the known ones"
"$cli" ack "accounts:1:2024/1:CONTO=nessuno" --note x >/dev/null 2>"$work/err"
check '[ $? -eq 2 ] && grep -q "no check has flagged the key" "$work/err"' "ack of an unknown key: 2"

# Options that say nothing or contradict each other: refused before anything runs (exit 2).
refused() { "$@" >/dev/null 2>"$work/err"; [ $? -eq 2 ] && grep -q "$expect" "$work/err"; }
expect="excludes" check 'refused "$cli" check accounts $fy --history "$work/x.db" --no-history' \
  "--history with --no-history"
check '[ ! -e "$work/x.db" ]' "... and no history made"
expect="path cannot be empty" check 'refused "$cli" check accounts $fy --history ""' "--history ''"
expect="key cannot be empty" check 'refused "$cli" history --key ""' "history --key ''"
expect="note cannot be empty" check 'refused "$cli" ack "$key" --note "  "' "ack --note '  '"
for n in 0 -1 1.5 +1 99999999999999999999 9223372036854775808 " 1"; do
  expect="a run number as history lists it (1 or more)"
  check 'refused "$cli" undo "$n" && refused "$cli" history --run "$n"' "run number '$n'"
done

# The runs, one run's findings, the key's story.
"$cli" history --format json >"$work/out" 2>"$work/err"
check '[ $? -eq 0 ] && [ "$(grep -c "\"OPERATION\": \"check accounts\"" "$work/out")" -eq 4 ]' \
  "history lists the four checks"
"$cli" history --key "$key" >"$work/out" 2>"$work/err"
check 'grep -q "first seen in run 2, last seen in run 4" "$work/err"' "the key's story"
"$cli" history --run 2 --format json >"$work/out" 2>"$work/err"
check '/usr/bin/python3 -c "import json,sys; f=json.load(open(sys.argv[1]))[\"findings\"]; sys.exit(0 if [x[\"FIRST_SEEN\"] for x in f if x[\"KEY\"] == sys.argv[2]] == [\"2\"] else 1)" "$work/out" "$key"' \
  "run 2's findings: the key first seen in it"


# A rebuild taken back: the four account-total tables hold the same values by key as before
# (identities aside: rewritten rows get new ones); a second undo is refused; after a later change
# to a total the rebuild wrote, undo refuses and names it.
# The four tables' values by key, as the ledger reads a key (a key column left null reads as 0
# or ''), identities left out.
values() {
  psql -qtA "dbname=$db" -c "
    CREATE TEMP VIEW y AS SELECT CG53_IDPROGA AS id, concat_ws(',', CG53_DITTA_CG18, CG53_ANNO_CG19,
      CG53_PROGESER_CG19, CG53_GRUPPO_CG10, COALESCE(CG53_CONTO_CG24, ''),
      COALESCE(CG53_TIPOCF_CG44, 0), COALESCE(CG53_CLIFOR_CG44, 0), COALESCE(CG53_CODICE_CG31, 0))
      AS k, concat_ws(',', CG53_SALDOAPE, CG53_RETTDARE, CG53_RETTAVERE, CG53_SALDOFIN,
      CG53_SALDOCHIU, CG53_IMPORTOIVA) AS v FROM CG53_PROGA;
    CREATE TEMP VIEW m AS SELECT CG52_IDPROGM AS id, concat_ws(',', CG52_DITTA_CG18, CG52_ANNO_CG53,
      CG52_PROGESER_CG53, CG52_GRUPPO_CG10, COALESCE(CG52_CONTO_CG24, ''),
      COALESCE(CG52_TIPOCF_CG44, 0), COALESCE(CG52_CLIFOR_CG44, 0), COALESCE(CG52_CODICE_CG31, 0),
      CG52_ANNOSOL, CG52_MESE) AS k, concat_ws(',', CG52_IMPORTODARE, CG52_IMPORTOAVERE,
      CG52_FATTURATO) AS v FROM CG52_PROGM;
    SELECT md5(string_agg(r, '|' ORDER BY r)) FROM (
      SELECT 'y' || k || ':' || v AS r FROM y
      UNION ALL SELECT 'm' || k || ':' || v FROM m
      UNION ALL SELECT 'yv' || y.k || ',' || (to_jsonb(t) - 'cgv0_idproga_cg53')::text
        FROM CGV0_PROGAVAL t JOIN y ON y.id = t.CGV0_IDPROGA_CG53
      UNION ALL SELECT 'mv' || m.k || ',' || (to_jsonb(t) - 'cgv1_idprogm_cg52' - 'cgv1_idproga_cgv0')::text
        FROM CGV1_PROGMVAL t JOIN m ON m.id = t.CGV1_IDPROGM_CG52) x"
}
before=$(values)
"$cli" rebuild accounts $fy >/dev/null 2>"$work/err"
run=$(grep -o "veriprog-cli undo [0-9]*" "$work/err" | grep -o "[0-9]*$")
check '[ -n "$run" ] && [ "$(values)" != "$before" ]' "the rebuild kept its change set (run $run)"
"$cli" undo "$run" >/dev/null 2>"$work/err"
check '[ $? -eq 0 ] && [ "$(values)" = "$before" ]' "undo: the same values by key as before"
check 'grep -Eq "^run $run: (1 stored row|([02-9]|[0-9]{2,}) stored rows) written back" "$work/err"' \
  "undo: the rows counted"
"$cli" undo "$run" >/dev/null 2>"$work/err"
check '[ $? -eq 2 ] && grep -q "taken back already" "$work/err"' "a second undo: 2"
"$cli" rebuild accounts $fy >/dev/null 2>"$work/err"
run=$(grep -o "veriprog-cli undo [0-9]*" "$work/err" | grep -o "[0-9]*$")
# The account made wrong above is one the rebuild wrote.
psql -q "dbname=$db" -c "UPDATE CG53_PROGA SET CG53_SALDOFIN = CG53_SALDOFIN + 5
  WHERE CG53_DITTA_CG18 = 1 AND CG53_ANNO_CG19 = 2024 AND CG53_PROGESER_CG19 = 1
    AND TRIM(CG53_CONTO_CG24) = '$conto'"
after=$(values)
"$cli" undo "$run" >/dev/null 2>"$work/err"
check '[ $? -eq 4 ] && grep -q "moved since: CG53_PROGA .*CG53_SALDOFIN" "$work/err" && [ "$(values)" = "$after" ]' \
  "undo after a later change: refused (4), the key named, nothing written"

# A run over every company taken back: one line sums it up; its units that had nothing to write
# back are only counted there.
"$cli" rebuild all --companies 1 --fiscal-years 2024 >/dev/null 2>"$work/err"
all=$(grep -o "^history: run [0-9]*" "$work/err" | grep -o "[0-9]*$")
"$cli" undo "$all" >/dev/null 2>"$work/err"
check '[ $? -eq 0 ] && grep -Eq "^[0-9]+ rebuilds? taken back \([0-9]+ stored rows?\)" "$work/err" &&
  ! grep -q " 0 stored rows written back" "$work/err"' "undo of a run over every company (run $all)"

# --new-only without a history, and a history that is not one.
"$cli" check accounts $fy --new-only --no-history >/dev/null 2>"$work/err"
check '[ $? -eq 2 ]' "--new-only --no-history: 2"
head -c 3000 "$VERIPROG_HISTORY" >"$work/cut.db"
cp "$work/cut.db" "$work/cut.orig"
"$cli" check accounts $fy --history "$work/cut.db" >/dev/null 2>"$work/err"
check '[ $? -eq 2 ] && grep -q "refused, left as it is" "$work/err" && cmp -s "$work/cut.db" "$work/cut.orig"' \
  "a truncated history: exit 2, untouched"
check '! grep -q "^summary" "$work/err"' "nothing ran on a refused history"

# prune takes the history options after it as well as before it.
"$cli" history prune --older-than 0 --history "$work/other.db" >/dev/null 2>"$work/err"
check '[ $? -eq 0 ] && grep -q "^history: 0 runs" "$work/err" && [ -s "$work/other.db" ]' \
  "prune --history"
"$cli" history --history "$work/other.db" prune --older-than 0 >/dev/null 2>"$work/err"
check '[ $? -eq 0 ] && grep -q "^history: 0 runs" "$work/err"' "history --history prune"

runs=$("$cli" history --limit 1000 | grep -c "^[0-9]")
"$cli" history prune --older-than 0 >/dev/null 2>"$work/err"
check 'grep -q "^history: $runs runs older than 0 days forgotten" "$work/err" && ! "$cli" history | grep -q "^[0-9]"' \
  "prune forgets every run"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
