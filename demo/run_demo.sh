#!/bin/sh
# Runs every demo step in order, in a fresh output folder.
# Arguments: folder of the programs, the font maker, output folder, steps folder.
set -eu
BIN=$1
MAKE_FONT=$2
OUT=$3
STEPS=$(cd "$4" && pwd)
DEMO_TOOLS=$(cd "$(dirname "$MAKE_FONT")" && pwd)
SOURCE_DIR=$(cd "$STEPS/../.." && pwd)
rm -rf "$OUT"
mkdir -p "$OUT"
cd "$OUT"
"$MAKE_FONT" demo.fnt
export BIN DEMO_TOOLS SOURCE_DIR
for step in "$STEPS"/*.sh; do
    echo
    echo "=== $(basename "$step" .sh)"
    sh "$step"
done
echo
echo "Demo files are in $OUT"
