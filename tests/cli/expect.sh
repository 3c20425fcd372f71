#!/usr/bin/env bash
# expect.sh CODE TEXT COMMAND...: passes when COMMAND exits with CODE and says TEXT on stderr.
set -u
want_code=$1 want_text=$2
shift 2
err=$("$@" 2>&1 >/dev/null)
code=$?
if [ "$code" -ne "$want_code" ]; then echo "exit code $code, wanted $want_code: $err"; exit 1; fi
case "$err" in *"$want_text"*) ;; *) echo "stderr lacks '$want_text': $err"; exit 1 ;; esac
echo "1 passed, 0 failed"
