#!/bin/sh
# Makes the pictures of the README's gallery. Every one is a PNG written by
# the suite's programs from the demo's own scene and font, except the photo:
# scikit-image's astronaut (NASA, public domain), copied as it is, beside its
# conversions. The commands are those the README shows beside each picture.
# Arguments: folder of the programs, folder of the demo tools (make_demo_scene,
# make_demo_font, spoil_cells), output folder.
# The photo comes from Debian's python3-skimage (GALLERY_PHOTO names another
# copy of the same file); without it the photo's three pictures are left out
# and a line says so.
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

# The demo scene, drawn in C64 colour numbers, made a Koala picture.
run "$TOOLS/make_demo_scene" scene.pcx
run "$BIN/ingravo" scene.pcx scene -b0

# exgravo, in the default palette 12 and in palette 5.
run "$BIN/exgravo" scene exgravo_palette12.png
run "$BIN/exgravo" scene exgravo_palette5.png -p5

# ingravo's errors image of a copy with seven spoiled cells.
run "$TOOLS/spoil_cells" scene.pcx spoiled.pcx
run "$BIN/ingravo" spoiled spoiled ingravo_errors.png -b0

# verimat: the same scene with a sailing boat on the lake.
run "$TOOLS/make_demo_scene" boat.pcx boat
run "$BIN/ingravo" boat.pcx boat -b0
run "$BIN/verimat" scene boat patch verimat_difference.png

# emblex makes a logo of the demo font laid out in multicolour; typolan
# lays the logo's font out.
run "$TOOLS/make_demo_font" demo.fnt
run "$BIN/typolan" demo demo_mc -k -00 -11 -22 -35
run "$BIN/emblex" demo_mc logo logo logo -00 -11 -22
run "$BIN/typolan" logo logo_font -k -00 -11 -22 -35
run "$BIN/exgravo" logo_font typolan_logo_font.png

# ingravo -d converts the photo into multicolour and hires in palette 13,
# for a television and for crisp pixels (-v1); exgravo shows them in that
# palette.
PHOTO=${GALLERY_PHOTO:-/usr/lib/python3/dist-packages/skimage/data/astronaut.png}
if [ -f "$PHOTO" ]; then
    cp "$PHOTO" astronaut.png
    run "$BIN/ingravo" astronaut.png astronaut -d -c13
    run "$BIN/exgravo" astronaut ingravo_photo_multicolour.png -c13
    run "$BIN/ingravo" astronaut.png astronaut -d -c13 -s
    run "$BIN/exgravo" astronaut ingravo_photo_hires.png -s -c13
    run "$BIN/ingravo" astronaut.png astronaut -d -v1 -c13
    run "$BIN/exgravo" astronaut ingravo_photo_crisp_multicolour.png -c13
    run "$BIN/ingravo" astronaut.png astronaut -d -v1 -c13 -s
    run "$BIN/exgravo" astronaut ingravo_photo_crisp_hires.png -s -c13
    cp astronaut.png ingravo_photo_multicolour.png ingravo_photo_hires.png ingravo_photo_crisp_multicolour.png \
        ingravo_photo_crisp_hires.png "$OUT"
else
    echo "make_gallery.sh: no $PHOTO (Debian: python3-skimage): the photo's pictures are left out"
fi

cp exgravo_palette12.png exgravo_palette5.png ingravo_errors.png verimat_difference.png typolan_logo_font.png "$OUT"
