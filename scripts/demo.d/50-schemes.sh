# Special VAT schemes, calendar year 2024: margin scheme (per company and per activity),
# agriculture, travel agencies. Check, rebuild, check again.
for scheme in "margin" "margin --by-activity" "agriculture" "travel"; do
  for company in 1 2; do
    what="$scheme, company $company"
    echo
    echo "== Special schemes 2024, $what: rows that differ"
    "$cli" check $scheme --company "$company" --year 2024 --flagged-only || test $? -eq 1
    echo
    echo "== Special schemes 2024, $what: rebuild (one transaction)"
    "$cli" rebuild $scheme --company "$company" --year 2024
    echo
    echo "== Special schemes 2024, $what: the check again"
    "$cli" check $scheme --company "$company" --year 2024 --flagged-only
  done
done
