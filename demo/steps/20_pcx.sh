# exgravo, ingravo and verimat: the demo pictures go out to PCX and come
# back unchanged; an edited copy shows its differing cells.
set -eu
show() { echo "\$ $*"; "$@"; }

# Multicolour: the background (0 here) that exgravo prints goes to ingravo -b.
show "$BIN/exgravo" demo_mc
show "$BIN/ingravo" demo_mc demo_mc_back -b0
show "$BIN/verimat" demo_mc demo_mc_back
echo "\$ od -An -tx1 demo_mc_back.bin"
od -An -tx1 demo_mc_back.bin

# Hires, with palette 5 for the PCX.
show "$BIN/exgravo" -s demo demo_hires -p5
show "$BIN/ingravo" -s demo_hires demo_back
show "$BIN/verimat" -s demo demo_back

# Edit a copy: cells 41 and 42 turn solid (bit pairs 11).
cp demo_mc.koa demo_mc_edit.koa
printf '%s\n' "\$ printf '\\377...' | dd of=demo_mc_edit.koa bs=1 seek=330 conv=notrunc"
printf '\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377' |
    dd of=demo_mc_edit.koa bs=1 seek=$((2 + 41 * 8)) conv=notrunc 2>/dev/null
show "$BIN/verimat" demo_mc demo_mc_edit edit_patch edit_diff
echo "\$ od -An -tx1 edit_patch.bin"
od -An -tx1 edit_patch.bin

# A background that the picture does not use: cells of four colours fail
# and errors.pcx marks them with their error value.
show "$BIN/ingravo" demo_mc demo_mc_bad -b6
ls -l demo_mc.pcx demo_mc_back.koa demo_hires.pcx demo_back.art diff.pcx edit_patch.bin edit_diff.pcx errors.pcx
