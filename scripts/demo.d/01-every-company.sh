# Before anything is rebuilt: every family of every company at once, and what a rebuild of the VAT
# register totals of company 1 would change, without writing it.
echo
echo "== Every company, fiscal year and family: check all on two connections"
"$cli" check all --jobs 2 || test $? -eq 1
echo
echo "== Company 1, 2024: what a rebuild of the VAT register totals would change (dry run)"
"$cli" rebuild vat --company 1 --year 2024 --dry-run || test $? -eq 1
