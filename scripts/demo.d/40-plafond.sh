# Plafond totals, calendar year 2024: per company and per activity, check, rebuild, check again.
for company in 1 2; do
  for mode in "" "--by-activity"; do
    what="company $company${mode:+, per activity}"
    echo
    echo "== Plafond totals 2024, $what: months that differ"
    "$cli" check plafond --company "$company" --year 2024 $mode --flagged-only || test $? -eq 1
    echo
    echo "== Plafond totals 2024, $what: rebuild (one transaction)"
    "$cli" rebuild plafond --company "$company" --year 2024 $mode
    echo
    echo "== Plafond totals 2024, $what: the check again"
    "$cli" check plafond --company "$company" --year 2024 $mode --flagged-only
  done
done
