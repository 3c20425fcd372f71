#!/usr/bin/env bash
# Every option of every check and rebuild tried with hostile values: each run ends with exit 2
# and a message, never a crash, and the ledger's totals are as they were (a rebuild that ran
# because an empty optional value counts as not given writes the same totals again).
set -uo pipefail
cli=$1
db="vp_hostile_$$"
createdb "$db" --template "${VERIPROG_TEST_TEMPLATE:-veriprog_template}" || exit 1
trap 'dropdb --force "$db" 2>/dev/null' EXIT
"$cli" generate --connection "dbname=$db" --lines 500 --wrong 0 --seed 3 >/dev/null || exit 1
digest() {
  psql -XAtq -d "$db" -c "SELECT md5(string_agg(x, ',' ORDER BY x)) FROM (
      SELECT (to_jsonb(t) - 'cg53_idproga')::text AS x FROM CG53_PROGA t
      UNION ALL SELECT (to_jsonb(t) - 'cg52_idprogm' - 'cg52_idproga_cg53')::text FROM CG52_PROGM t
      UNION ALL SELECT t::text FROM CG59_PROGIVAM t UNION ALL SELECT t::text FROM CG51_PROGPLAFOND t
      UNION ALL SELECT t::text FROM CGM3_PROGIVAM t UNION ALL SELECT t::text FROM CGA0_PROGIVAM t
      UNION ALL SELECT t::text FROM CGL6_PROGIVAAGVIAG t) s"
}
before=$(digest)
long=$(printf '9%.0s' $(seq 1 5000))
values=("1'; DROP TABLE CG53_PROGA; --" "1 OR 1=1 /**/" "99999999999999999999999" "$long" "")
failed=0 runs=0 later=()
for command in "check accounts" "rebuild accounts" "rebuild accounts-legacy" "rebuild turnover" \
               "check vat" "rebuild vat" "check plafond" "rebuild plafond" "check margin" \
               "rebuild margin" "check agriculture" "rebuild agriculture" "check travel" \
               "rebuild travel"; do
  # The options this command offers, from its own help.
  options=$("$cli" $command --help | grep -oE -- '--(company|fiscal-year|fiscal-seq|year|branch|activity-code|activity-id|format)\b' | sort -u)
  for option in $options; do
    for value in "${values[@]}"; do
      # The other parameters the command reads, with good values; the one under test hostile.
      base=()
      for o in --company --fiscal-year --fiscal-seq --year; do
        [ "$o" = "$option" ] && continue
        grep -qx -- "$o" <<<"$options" || continue
        case $o in --company) base+=("$o" 1) ;; --fiscal-seq) base+=("$o" 1) ;; *) base+=("$o" 2024) ;; esac
      done
      # An empty optional parameter is one not given: the command runs as without it (after
      # the ledger has been compared, since a rebuild rewrites what it covers).
      if [ -z "$value" ] && [[ "$option" =~ ^--(branch|activity-code|activity-id)$ ]]; then
        later+=("$command|$option|${base[*]}")
        continue
      fi
      out=$("$cli" $command --connection "dbname=$db" "${base[@]}" "$option" "$value" 2>&1 >/dev/null)
      code=$?
      runs=$((runs + 1))
      if [ "$code" -ne 2 ] || [ -z "$out" ]; then
        echo "$command $option '${value:0:30}': exit $code: ${out:0:200}"
        failed=$((failed + 1))
      fi
    done
  done
done
[ "$(digest)" = "$before" ] || { echo "the ledger changed"; failed=$((failed + 1)); }
for entry in "${later[@]}"; do
  IFS='|' read -r command option base <<<"$entry"
  out=$("$cli" $command --connection "dbname=$db" $base "$option" "" 2>&1 >/dev/null)
  code=$?
  runs=$((runs + 1))
  if [ "$code" -gt 1 ]; then
    echo "$command $option (empty): exit $code: ${out:0:200}"
    failed=$((failed + 1))
  fi
done
echo "$((runs - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
