#!/usr/bin/env bash
# Includes point down only: each folder may include what lies below it and nothing above.
# Prints every include that points the wrong way and fails when there is one.
set -uo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2

families='(contabili|fatturato|iva|regimi)'
# A family stands on the frame alone: it never includes another family.
# The public headers in include/veriprog/, by the floor they belong to.
pub_db='veriprog/(variant|date_time|decimal|error|recordset|connection|criteria|field|row_table)\.h'
pub_outside="($pub_db|veriprog/(company|services)\.h)"
pub_frame="($pub_outside|veriprog/(enums|events|input_output|run_limits|trace)\.h)"
declare -A allowed=(
  [db]="(db/|$pub_db)"
  [outside]="((db|outside)/|$pub_outside)"
  [platform]='platform/'
  [frame]="((db|outside|frame|platform)/|$pub_frame)"
  [contabili]="((db|outside|frame|contabili)/|$pub_frame)"
  [fatturato]="((db|outside|frame|fatturato)/|$pub_frame)"
  [iva]="((db|outside|frame|iva)/|$pub_frame)"
  [regimi]="((db|outside|frame|regimi)/|$pub_frame)"
  [component]="((db|outside|frame|component)/|veriprog/|$families/)"
  [gen]="((db|gen)/|$pub_db)"
  [history]="((db|component|history)/|veriprog/)"
  [cli]='(cli/|veriprog/|gen/|selftest/selftest\.h|platform/|db/text\.h)'
  [selftest]='((db|gen|selftest)/|veriprog/)'
)
bad=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r line; do
    target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:*:}")
    if ! grep -Eq "^${allowed[$folder]}" <<<"$target"; then
      echo "upward include: $line"
      bad=1
    fi
  done < <(grep -rn '#include "' "$folder" --include='*.h' --include='*.cc')
done
# Database client libraries stay inside their backends; the generator too writes through db/.
while IFS= read -r line; do
  echo "client library outside its backend: $line"
  bad=1
done < <(grep -rnE '#include <(libpq-fe\.h|sql\.h|sqlext\.h)>' db component frame outside cli gen \
           contabili fatturato iva regimi --include='*.h' --include='*.cc' 2>/dev/null |
         grep -vE '^db/(postgres|odbc)/[^:]*\.cc:')
# SQLite is the run history's alone.
while IFS= read -r line; do
  echo "SQLite outside the history: $line"
  bad=1
done < <(grep -rn '#include <sqlite3\.h>' db component frame outside cli gen selftest contabili \
           fatturato iva regimi --include='*.h' --include='*.cc' 2>/dev/null)
# The command line parses, calls the library and prints: it names no ledger table and composes no
# SQL.
while IFS= read -r line; do
  echo "ledger work in the command line: $line"
  bad=1
done < <(grep -rnE '\bCG[0-9A-Z]{2}_|LedgerTable\(|"[^"]*\b(SELECT|FROM|INSERT|UPDATE|DELETE)\b' cli \
           --include='*.h' --include='*.cc' 2>/dev/null)
exit $bad
