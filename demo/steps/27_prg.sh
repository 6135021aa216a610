# A runnable program: exgravo writes the scene as scene.prg, which a C64
# LOADs and RUNs, or an emulator starts: x64sc scene.prg
set -eu
show() { echo "\$ $*"; "$@"; }

show "$BIN/exgravo" scene scene.prg
ls -l scene.prg
