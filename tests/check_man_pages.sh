#!/bin/sh
# Every man page renders in 80 columns without a warning from man (a table
# wider than the line, a bad request). Without man the test reports itself
# skipped (status 77).
# Argument: the folder of the man pages.
set -eu
command -v man >/dev/null 2>&1 || { echo "man is not installed"; exit 77; }
status=0
for page in "$1"/*.1; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || {
        echo "$page: man failed"
        status=1
    }
    if [ -n "$warnings" ]; then
        echo "$page:"
        echo "$warnings"
        status=1
    fi
done
exit $status
