# A runnable program: exgravo writes the multicolour picture as demo_mc.prg,
# which a C64 LOADs and RUNs, or an emulator starts: x64sc demo_mc.prg
set -eu
show() { echo "\$ $*"; "$@"; }

show "$BIN/exgravo" demo_mc demo_mc.prg
ls -l demo_mc.prg
