#!/usr/bin/env bash
# Includes point down only: each folder may include what lies below it and nothing above.
# Prints every include that points the wrong way and fails when there is one.
set -uo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2

families='(contabili|fatturato|iva|regimi)'
declare -A allowed=(
  [db]='db/'
  [outside]='(db|outside)/'
  [frame]='(db|outside|frame)/'
  [contabili]="((db|outside|frame)/|$families/)"
  [fatturato]="((db|outside|frame)/|$families/)"
  [iva]="((db|outside|frame)/|$families/)"
  [regimi]="((db|outside|frame)/|$families/)"
  [component]="((db|outside|frame|component|include)/|$families/)"
  [gen]='(db|gen)/'
  [cli]='(cli|component|gen|db/(connection|recordset|variant|decimal|text|error|field|row_table|date_time|criteria)\.h)'
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
# Database client libraries stay inside their backends (the generator bulk-loads on its own).
while IFS= read -r line; do
  echo "client library outside its backend: $line"
  bad=1
done < <(grep -rnE '#include <(libpq-fe\.h|sql\.h|sqlext\.h)>' db component frame outside cli \
           contabili fatturato iva regimi --include='*.h' --include='*.cc' 2>/dev/null |
         grep -vE '^db/(postgres|odbc)/[^:]*\.cc:')
exit $bad
