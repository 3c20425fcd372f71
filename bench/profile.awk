# Sums up the statement times that VERIPROG_SQL_TIMES=1 prints on stderr, per operation of
# operations_bench: statements run, their time, and the slowest kinds of statement (the first
# words of the PostgreSQL text, a temporary table's name where there is one).
#
#   VERIPROG_SQL_TIMES=1 operations_bench --lines 1000000 --runs 1 2>profile.log
#   awk -f bench/profile.awk profile.log
function flush(   k, n, line) {
  if (op == "") return
  printf "%s: %d statements, %.1f s in the server\n", op, count, total / 1000
  n = 0
  # The five slowest kinds, slowest first.
  while (n < 5) {
    best = ""
    for (k in kind) if (!(k in shown) && (best == "" || kind[k] > kind[best])) best = k
    if (best == "" || kind[best] < 50) break
    shown[best] = 1
    printf "  %8.0f ms %5d x %s\n", kind[best], times[best], best
    n++
  }
  delete kind; delete times; delete shown
  count = 0; total = 0
}
/^\[operation\] / { flush(); op = substr($0, 13); next }
/^\[sql +[0-9]+ ms\] / {
  ms = $2 + 0
  text = $0
  sub(/^\[sql +[0-9]+ ms\] /, "", text)
  if (text ~ /^(CREATE TABLE pg_temp|\(index or statistics)/ && match(text, /pg_temp\."#[A-Z0-9_]+"/)) {
    what = substr(text, 1, index(text, " ") - 1) " " substr(text, RSTART + 8, RLENGTH - 8)
  } else {
    split(text, w, /[ (]+/)
    what = w[1] " " w[2] " " w[3] " " w[4]
  }
  kind[what] += ms; times[what]++
  count++; total += ms
}
END { flush() }
