#!/bin/sh
# Runs the browser test of the web page (page_test.mjs) with node and the
# puppeteer-core that `npm ci` installs in this folder.
# Arguments: folder of the built page, folder of the programs, and optionally
# --screenshot FILE. Without node, puppeteer-core or Chromium the test reports
# itself skipped (status 77), unless CI is true: there it fails.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
missing() {
    if [ "${CI:-}" = true ]; then
        echo "FAILED: $1 (CI is true: the browser test must run)"
        exit 1
    fi
    echo "SKIPPED: $1"
    exit 77
}
command -v node >/dev/null 2>&1 || missing "node is missing (Debian: nodejs)"
[ -d "$HERE/node_modules/puppeteer-core" ] || missing "puppeteer-core is missing: run 'npm ci' in $HERE"
exec node "$HERE/page_test.mjs" "$@"
