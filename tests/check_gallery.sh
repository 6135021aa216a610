#!/bin/sh
# The committed gallery must be what docs/make_gallery.sh makes now: the same
# files, byte for byte.
# Arguments: folder of the programs, folder of the demo tools, source folder.
set -eu
BIN=$1
TOOLS=$2
SOURCE=$3
FRESH=$(mktemp -d)
trap 'rm -rf "$FRESH"' EXIT
sh "$SOURCE/docs/make_gallery.sh" "$BIN" "$TOOLS" "$FRESH"
status=0
if ! diff -r -q "$SOURCE/docs/gallery" "$FRESH"; then
    echo "docs/gallery is stale: run 'cmake --build build --target gallery' and commit docs/gallery"
    status=1
fi
exit $status
