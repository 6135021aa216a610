# snippel cuts sprites out of the demo pictures; zorbel packs a script of
# cuts for a stock C64 and for a SuperCPU machine.
set -eu
show() { echo "\$ $*"; "$@"; }

# demo.art: bit 0 colour 14, bit 1 colour 6 in the font's cells (rows 0-5
# and the first 16 cells of row 6). One hires sprite from the top left.
show "$BIN/snippel" demo demo_hires -s -w24 -h21 -014 -16
# demo_mc.koa: background 0, bits 01 colour 1, 10 colour 2, 11 colour 5.
# 48 double-width pixels by 42 lines: a grid of 4 by 2 sprites.
show "$BIN/snippel" demo_mc demo_multi -x12 -y8 -w48 -h42 -00 -11 -22 -35
ls -l demo_hires.spr demo_multi.spr

cat > demo_pack.zbs <<'SCRIPT'
S:demo.art
H:x0,y0,w24,h21,014,16
h:x96,y16,w48,h21,014,16
K:demo_mc.koa
M:x0,y0,w24,h42,00,11,22,35
SCRIPT
echo "\$ cat demo_pack.zbs"
cat demo_pack.zbs
# Stock machine: the sprites loaded at $2000, so the first pointer is 128.
show "$BIN/zorbel" demo_pack -a\$2000
echo "definitions (pointer, kind, colour, columns, rows, w, h, 0):"
od -An -tu1 -w8 -v demo_pack.def
# SuperCPU: one image file with a count and 16-byte records.
show "$BIN/zorbel" demo_pack demo_pack_scpu -s
echo "entry count, then the records (offset, size, kind, colour, columns, rows, w, h, 0 x 5):"
od -An -tu1 -N2 demo_pack_scpu.img
od -An -tu1 -w16 -j2 -N48 -v demo_pack_scpu.img
ls -l demo_pack.def demo_pack.spr demo_pack_scpu.img
