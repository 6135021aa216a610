# PNG by name: exgravo writes demo_mc.png (palette 3), ingravo reads it back
# by its signature and says how its colours were read; the edited copy's
# difference image goes to PNG too.
set -eu
show() { echo "\$ $*"; "$@"; }

show "$BIN/exgravo" demo_mc demo_mc.png -p3
show "$BIN/ingravo" demo_mc.png demo_mc_png_back -b0
show "$BIN/verimat" demo_mc demo_mc_png_back png_patch png_diff.png
echo "\$ od -An -tx1 png_patch.bin"
od -An -tx1 png_patch.bin
ls -l demo_mc.png demo_mc_png_back.koa png_diff.png
