# VAT register totals: for each company and calendar year with VAT lines, the check with the
# stored totals beside the journal's (keys that differ only), the rebuild, and the check again.
for company_year in "1 2023" "1 2024" "2 2024" "2 2025"; do
  read -r company year <<<"$company_year"
  echo
  echo "== Company $company, $year: VAT register totals check, keys that differ"
  "$cli" check vat --company "$company" --year "$year" --include-stored --flagged-only ||
    test $? -eq 1
  echo
  echo "== Company $company, $year: rebuild of the VAT register totals (one transaction)"
  "$cli" rebuild vat --company "$company" --year "$year"
  echo
  echo "== Company $company, $year: the check again"
  "$cli" check vat --company "$company" --year "$year" --include-stored --flagged-only
done
