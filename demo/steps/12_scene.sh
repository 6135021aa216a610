# make_demo_scene draws the demo scene, a sunset over a lake, as a PCX of C64
# colour numbers; ingravo checks every cell against the multicolour limits
# (background black) and makes it a Koala picture, scene.koa.
set -eu
show() { echo "\$ $*"; "$@"; }

show "$DEMO_TOOLS/make_demo_scene" scene.pcx
show "$BIN/ingravo" scene.pcx scene -b0
ls -l scene.pcx scene.koa
