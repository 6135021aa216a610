#!/bin/bash
# Each program of the suite on a typical input, beside the floor program
# (reads the same input, writes outputs of the same sizes), side by side in
# one hyperfine run. Prints each median, the floor's and the ratio, and with
# valgrind present the instructions of each run.
#
#   bench/programs.sh [BUILD_DIR]     (default: build)
#
# Environment: PICTURE=some.koa uses that Koala picture for exgravo, ingravo
# and verimat; RUNS sets hyperfine's runs per command (default 300).
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
BIN=$BUILD/bin
MAKE_FONT=$BUILD/demo-tools/make_demo_font
FLOOR=$BUILD/bench-tools/floor
MAKE_PNG_INPUTS=$BUILD/bench-tools/make_png_inputs
RUNS=${RUNS:-300}
[ -n "${PICTURE:-}" ] && PICTURE=$(realpath "$PICTURE")
for needed in "$BIN/exgravo" "$MAKE_FONT" "$FLOOR" "$MAKE_PNG_INPUTS"; do
    [ -x "$needed" ] || { echo "missing $needed: build with -DSUITE_BENCHMARKS=ON first" >&2; exit 1; }
done
command -v hyperfine >/dev/null || { echo "hyperfine is needed" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
export BIN MAKE_FONT MAKE_PNG_INPUTS
source "$BENCH_DIR/inputs.sh"
make_typical_inputs
make_png_inputs
make_packing_script 10 100 cuts100.zbs
"$BIN/exgravo" demo.art demo_hires.pcx -s >/dev/null

# One run a line: name | input file | output files | command line.
RUN_LIST=(
    "exgravo|picture.koa|out_ex.pcx|$BIN/exgravo picture.koa out_ex.pcx"
    "ingravo|picture.pcx|out_in.koa|$BIN/ingravo picture.pcx out_in.koa out_in_errors.pcx -b\$$BACKGROUND"
    "verimat|picture.koa|out_patch.bin out_diff.pcx|$BIN/verimat picture.koa edited.koa out_patch.bin out_diff.pcx"
    "emblex|demo_mc.koa|out_logo.fnt out_logo.scr out_logo.col|$BIN/emblex demo_mc.koa out_logo.fnt out_logo.scr out_logo.col -00 -11 -22"
    "tintrix|demo_mc.koa|out_swapped.koa|$BIN/tintrix demo_mc.koa out_swapped.koa -00 -12 -21 -35"
    "snippel|demo_bw.art|out_grid.spr|$BIN/snippel demo_bw.art out_grid.spr -s -w240 -h189 -00 -11"
    "zorbel|cuts100.zbs|out_cuts.def out_cuts.spr|$BIN/zorbel cuts100.zbs out_cuts.def out_cuts.spr"
    "typolan|demo.fnt|out_font.art|$BIN/typolan demo.fnt out_font.art -014 -16"
)
# PNG and GIF runs: the writer, and the reader on the suite's own PNG, a 160
# by 200 image, an emulator screenshot, a framed NTSC screenshot (its border
# checked), a GIF and an RGB image in a foreign palette.
PNG_RUN_LIST=(
    "exgravo-png|picture.koa|out_ex.png|$BIN/exgravo picture.koa out_ex.png"
    "ingravo-png|picture.png|out_in_png.koa|$BIN/ingravo picture.png out_in_png.koa out_in_errors.png -b\$$BACKGROUND"
    "ingravo-png160|narrow.png|out_in_160.koa|$BIN/ingravo narrow.png out_in_160.koa out_in_errors.png -b\$$BACKGROUND"
    "ingravo-png384|screenshot.png|out_in_384.koa|$BIN/ingravo screenshot.png out_in_384.koa out_in_errors.png -b\$$BACKGROUND"
    "ingravo-framed|framed.png|out_in_framed.koa|$BIN/ingravo framed.png out_in_framed.koa out_in_errors.png -b\$$BACKGROUND"
    "ingravo-gif|picture.gif|out_in_gif.koa|$BIN/ingravo picture.gif out_in_gif.koa out_in_errors.png -b\$$BACKGROUND"
)
# The demo picture's four colours fit several readings: the approximate run
# needs a picture of more colours (PICTURE=...).
if [ -f approximate.png ]; then
    PNG_RUN_LIST+=("ingravo-pngrgb|approximate.png|out_in_rgb.koa|$BIN/ingravo approximate.png out_in_rgb.koa out_in_errors.png -b\$$BACKGROUND")
fi
RUN_LIST+=("${PNG_RUN_LIST[@]}")
# -f beside the same picture with the right switches given: the output is
# named without an extension, so the mode is found as well as the background.
FIT_RUN_LIST=(
    "ingravo-fit|picture.pcx|out_fit.koa|$BIN/ingravo picture.pcx out_fit out_fit_errors.pcx -f"
    "ingravo-hires|demo_hires.pcx|out_hires.art|$BIN/ingravo demo_hires.pcx out_hires.art out_fit_errors.pcx -s"
    "ingravo-fithires|demo_hires.pcx|out_fit_hires.art|$BIN/ingravo demo_hires.pcx out_fit_hires out_fit_errors.pcx -f"
    "ingravo-pngfit|picture.png|out_fit_png.koa|$BIN/ingravo picture.png out_fit_png out_fit_errors.png -f"
)
RUN_LIST+=("${FIT_RUN_LIST[@]}")

# A first run of each makes its outputs, whose sizes the floor then writes.
names=() commands=() floors=()
for run in "${RUN_LIST[@]}"; do
    IFS='|' read -r name input outputs command <<< "$run"
    $command > /dev/null || { echo "$name failed: $command" >&2; exit 1; }
    floor="$FLOOR $input"
    for output in $outputs; do
        floor+=" floor_$output $(stat -c %s "$output")"
    done
    names+=("$name")
    commands+=("$command")
    floors+=("$floor")
done

hyperfine_arguments=(-N --warmup 20 --runs "$RUNS" --export-json times.json)
for i in "${!names[@]}"; do
    hyperfine_arguments+=(-n "${names[$i]}" "${commands[$i]}" -n "floor-${names[$i]}" "${floors[$i]}")
done
hyperfine "${hyperfine_arguments[@]}" > hyperfine.log 2>&1

median_us() {
    jq -r --arg name "$1" '.results[] | select(.command == $name) | .median * 1e6 | floor' times.json
}

instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null $1 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

with_valgrind=no
command -v valgrind >/dev/null && with_valgrind=yes
printf '%-15s %12s %12s %7s' program "median us" "floor us" ratio
[ $with_valgrind = yes ] && printf ' %14s %14s' instructions "floor instr."
printf '\n'
for i in "${!names[@]}"; do
    program=$(median_us "${names[$i]}")
    floor=$(median_us "floor-${names[$i]}")
    printf '%-15s %12d %12d %7.2f' "${names[$i]}" "$program" "$floor" "$(echo "$program / $floor" | bc -l)"
    if [ $with_valgrind = yes ]; then
        printf ' %14d %14d' "$(instructions "${commands[$i]}")" "$(instructions "${floors[$i]}")"
    fi
    printf '\n'
done
