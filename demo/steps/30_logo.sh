# emblex turns the multicolour and hires demo pictures into character-mode
# logos; tintrix moves colours of the multicolour picture to other sources.
set -eu
show() { echo "\$ $*"; "$@"; }
# demo_mc: background 0, pairs 01 = 1, 10 = 2, 11 = 5; 5 becomes each cell's own colour.
show "$BIN/emblex" demo_mc logo logo logo -00 -11 -22
ls -l logo.fnt logo.scr logo.col
# demo.art: colour 6 on 14; with background 14 the foreground is learned per cell.
show "$BIN/emblex" demo logo_hires logo_hires logo_hires -s -014
ls -l logo_hires.fnt logo_hires.scr logo_hires.col
# Swap the two screen-memory sources, then turn the Amica picture's sources around.
show "$BIN/tintrix" demo_mc demo_mc_swapped -00 -12 -21 -35
show "$BIN/tintrix" demo_mc demo_mc_reversed -a -05 -12 -21 -30
ls -l demo_mc_swapped.koa demo_mc_reversed.ami
# The logo depends on the colours the pixels show, not on the sources the
# picture took them from: the swapped picture gives the same font.
show "$BIN/emblex" demo_mc_swapped logo_swapped logo_swapped logo_swapped -00 -11 -22
cmp logo.fnt logo_swapped.fnt && echo "logo.fnt and logo_swapped.fnt are equal"
