# typolan lays the demo font out in the three picture formats.
set -eu
show() { echo "\$ $*"; "$@"; }
show "$BIN/typolan" demo -014 -16
show "$BIN/typolan" demo demo_mc -k -00 -11 -22 -35
show "$BIN/typolan" demo demo_mc -a -00 -11 -22 -35
ls -l demo.fnt demo.art demo_mc.koa demo_mc.ami
