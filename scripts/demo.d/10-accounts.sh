# Account totals: check, rebuild, check again, for both companies' fiscal year 2024/1.
fy="--fiscal-year 2024 --fiscal-seq 1"
for company in 1 2; do
  echo
  echo "== Company $company, fiscal year 2024/1: account totals check, rows that differ"
  "$cli" check accounts --company "$company" $fy --flagged-only || test $? -eq 1
  echo
  echo "== Company $company: rebuild of the account totals (one transaction)"
  "$cli" rebuild accounts --company "$company" $fy
  echo
  echo "== Company $company: the check again"
  "$cli" check accounts --company "$company" $fy --flagged-only
done
