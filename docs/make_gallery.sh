#!/bin/sh
# Makes the pictures of the README's gallery. Every one is a PNG written by
# the suite's programs from the demo's own font; no picture comes from
# elsewhere. The commands are those the README shows beside each picture.
# Arguments: folder of the programs, folder of the demo tools (make_demo_font,
# spoil_cells), output folder.
set -eu
BIN=$(cd "$1" && pwd)
TOOLS=$(cd "$2" && pwd)
mkdir -p "$3"
OUT=$(cd "$3" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# A program's console text is shown only when it fails.
run() {
    if ! "$@" > console.txt 2>&1; then
        cat console.txt
        echo "make_gallery.sh: failed: $*" >&2
        exit 1
    fi
}

# The demo picture: the demo font laid out in multicolour.
run "$TOOLS/make_demo_font" demo.fnt
run "$BIN/typolan" demo demo_mc -k -00 -11 -22 -35

# exgravo, in the default palette 12 and in palette 10.
run "$BIN/exgravo" demo_mc exgravo_palette12.png
run "$BIN/exgravo" demo_mc exgravo_palette10.png -p10

# ingravo's errors image of a copy with seven spoiled cells.
run "$BIN/exgravo" demo_mc drawing.pcx
run "$TOOLS/spoil_cells" drawing.pcx spoiled.pcx
run "$BIN/ingravo" spoiled spoiled ingravo_errors.png -b0

# verimat: eight cells of a copy turned solid.
cp demo_mc.koa edited.koa
head -c 64 /dev/zero | tr '\0' '\377' | dd of=edited.koa bs=1 seek=330 conv=notrunc 2> /dev/null
run "$BIN/verimat" demo_mc edited patch verimat_difference.png

# emblex makes a logo of the picture; typolan lays the logo's font out.
run "$BIN/emblex" demo_mc logo logo logo -00 -11 -22
run "$BIN/typolan" logo logo_font -k -00 -11 -22 -35
run "$BIN/exgravo" logo_font typolan_logo_font.png

cp exgravo_palette12.png exgravo_palette10.png ingravo_errors.png verimat_difference.png typolan_logo_font.png "$OUT"
