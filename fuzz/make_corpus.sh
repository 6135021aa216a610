#!/bin/sh
# Makes the seed corpora of fuzz/corpus/ with the suite's own programs: the
# demo font is laid out, exported, imported, remapped and cut, and a few of
# the files on the way become seeds; the seeds of PNG kinds the suite does not
# write, of GIF and of the packed picture formats come from make_fuzz_seeds,
# and a few GIF fixtures of other programs join them. Needs the
# default build (cmake --preset default && cmake --build build --target all
# make_demo_font).
#
#   fuzz/make_corpus.sh [build folder]
set -eu
source_dir=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$source_dir/../build}" && pwd)
BIN=$build/bin
corpus=$source_dir/corpus
work=$(mktemp -d /tmp/suite-corpus.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

quiet() { "$@" >/dev/null; }
"$build/demo-tools/make_demo_font" demo.fnt
quiet "$BIN/typolan" demo -014 -16
quiet "$BIN/typolan" demo demo_mc -k -00 -11 -22 -35
quiet "$BIN/typolan" demo demo_mc -a -00 -11 -22 -35
quiet "$BIN/exgravo" demo_mc
quiet "$BIN/exgravo" -s demo demo_hires -p5
quiet "$BIN/exgravo" demo_mc demo_mc.png -p3
quiet "$BIN/ingravo" -s demo_hires demo_back
quiet "$BIN/ingravo" demo_mc demo_mc_bad -b6
quiet "$BIN/tintrix" demo_mc demo_mc_swapped -00 -12 -21 -35
quiet "$BIN/tintrix" demo_mc demo_mc_reversed -a -05 -12 -21 -30
quiet "$BIN/emblex" demo_mc logo logo logo -00 -11 -22

# Other files of the corpus folders (inputs of faults found by fuzzing) stay.
mkdir -p "$corpus/pcx" "$corpus/amica" "$corpus/koala" "$corpus/art_studio" "$corpus/font" \
    "$corpus/command_line" "$corpus/packing_script" "$corpus/png" "$corpus/picture_formats" "$corpus/gif"
cp demo_mc.pcx "$corpus/pcx/multicolour.pcx"
cp demo_hires.pcx "$corpus/pcx/hires.pcx"
cp errors.pcx "$corpus/pcx/errors.pcx"
cp demo_mc.ami "$corpus/amica/font.ami"
cp demo_mc_reversed.ami "$corpus/amica/remapped.ami"
cp demo_mc.koa "$corpus/koala/font.koa"
cp demo_mc_swapped.koa "$corpus/koala/remapped.koa"
cp demo.art "$corpus/art_studio/font.art"
cp demo_back.art "$corpus/art_studio/imported.art"
cp demo_mc.png "$corpus/png/exgravo_multicolour.png"
"$build/tests/make_fuzz_seeds" "$corpus"
for fixture in gimp_indexed imagemagick_interlaced pillow_brightness_order; do
    cp "$source_dir/../tests/fixtures/gif/$fixture.gif" "$corpus/gif/$fixture.gif"
done

# JPEG and WebP seeds, small, made with ImageMagick: the kinds the screen
# reader tells apart (grey, CMYK, progressive, turned by EXIF; lossy,
# lossless, alpha).
mkdir -p "$corpus/jpeg" "$corpus/webp"
convert -size 48x32 gradient:red-blue seed.png
convert -size 48x32 gradient:none-navy seed_alpha.png
convert seed.png -quality 80 "$corpus/jpeg/rgb.jpg"
convert seed.png -colorspace Gray "$corpus/jpeg/grey.jpg"
convert seed.png -colorspace CMYK "$corpus/jpeg/cmyk.jpg"
convert seed.png -interlace JPEG "$corpus/jpeg/progressive.jpg"
convert seed.png -orient RightTop "$corpus/jpeg/orientation_6.jpg"
convert seed.png -quality 80 "$corpus/webp/lossy.webp"
convert seed.png -define webp:lossless=true "$corpus/webp/lossless.webp"
convert seed_alpha.png -quality 80 "$corpus/webp/alpha.webp"

# Font seeds: a byte of format and colours, then the font file.
{ printf '\000'; cat demo.fnt; } >"$corpus/font/hires"
{ printf '\045'; cat logo.fnt; } >"$corpus/font/logo_multicolour"
{ printf '\001'; head -c 300 demo.fnt; } >"$corpus/font/short"

# Command lines: a byte that names the program (0 ingravo, 1 emblex,
# 2 zorbel), then the words, each ended by a NUL.
words() {
    program=$1
    shift
    printf "\\$program"
    for word in "$@"; do
        printf '%s\000' "$word"
    done
}
words 000 demo_mc demo_mc_back -b0 >"$corpus/command_line/ingravo_background"
words 000 -s demo_hires demo_back >"$corpus/command_line/ingravo_hires"
words 000 pic -a -b%1010 out. >"$corpus/command_line/ingravo_binary"
words 001 demo_mc logo logo logo -00 -11 -22 >"$corpus/command_line/emblex_colours"
words 001 demo logo_hires logo_hires logo_hires -s '-0$e' >"$corpus/command_line/emblex_hires"
words 002 demo_pack '-a$2000' >"$corpus/command_line/zorbel_stock"
words 002 demo_pack demo_pack_scpu -s -? >"$corpus/command_line/zorbel_supercpu"

# Packing scripts: a byte of output format (bit 0) and sprite address, then
# the script; the fuzz target provides k.koa, a.ami and s.art.
script() {
    printf '%s\n' "S:s.art" "H:x0,y0,w24,h21,014,16" "h:x96,y16,w48,h21,014,16" \
        "K:k.koa" "M:x0,y0,w24,h42,00,11,22,35" "A:a.ami" "M:x8,y8,w48,h21,00,11,22,35"
}
{ printf '\040'; script; } >"$corpus/packing_script/stock"
{ printf '\001'; script; } >"$corpus/packing_script/supercpu"
{ printf '\000'; printf '%s\n' "K:k.koa" "M:x150,y190,w24,h21,00,11,22,35"; } >"$corpus/packing_script/outside"

du -sh "$corpus"/*
