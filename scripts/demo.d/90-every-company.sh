# After every family's rebuild: every company at once again, and the same as one page.
echo
echo "== Every company, fiscal year and family, once rebuilt: check all"
"$cli" check all --jobs 2 --format csv || test $? -eq 1
"$cli" check all --jobs 2 --format html >"${TMPDIR:-/tmp}/veriprog-demo.html" 2>/dev/null ||
  test $? -eq 1
echo "(the same as one page: ${TMPDIR:-/tmp}/veriprog-demo.html)"
