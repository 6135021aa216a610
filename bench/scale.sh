#!/bin/bash
# How the cost grows: zorbel with scripts of 10 picture loads and 10, 100
# and 1000 cut lines, and ingravo on 1000 different PCX files in a loop,
# beside the floor program on the same files.
#
#   bench/scale.sh [BUILD_DIR]     (default: build)
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
BIN=$BUILD/bin
MAKE_FONT=$BUILD/demo-tools/make_demo_font
FLOOR=$BUILD/bench-tools/floor
PCX_FILES=${PCX_FILES:-1000}
for needed in "$BIN/zorbel" "$MAKE_FONT" "$FLOOR"; do
    [ -x "$needed" ] || { echo "missing $needed: build with -DSUITE_BENCHMARKS=ON first" >&2; exit 1; }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
export BIN MAKE_FONT
source "$BENCH_DIR/inputs.sh"
make_typical_inputs

instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

echo "zorbel, 10 picture loads:"
printf '%6s %12s %14s %20s\n' cuts "median us" instructions "per cut beyond 10"
hyperfine_arguments=(-N --warmup 5 --runs "${RUNS:-50}" --export-json zorbel.json)
for cuts in 10 100 1000; do
    make_packing_script 10 "$cuts" "cuts$cuts.zbs"
    hyperfine_arguments+=(-n "$cuts" "$BIN/zorbel cuts$cuts.zbs out$cuts.def out$cuts.spr")
done
hyperfine "${hyperfine_arguments[@]}" > hyperfine.log 2>&1
for cuts in 10 100 1000; do
    median=$(jq -r --arg name "$cuts" '.results[] | select(.command == $name) | .median * 1e6 | floor' zorbel.json)
    if command -v valgrind >/dev/null; then
        count=$(instructions "$BIN/zorbel" "cuts$cuts.zbs" "out$cuts.def" "out$cuts.spr")
        # What each cut adds to the run of 10 cuts.
        [ "$cuts" = 10 ] && ten_cuts=$count
        printf '%6d %12d %14d %20s\n' "$cuts" "$median" "$count" \
            "$([ "$cuts" = 10 ] && echo - || echo $(( (count - ten_cuts) / (cuts - 10) )))"
    else
        printf '%6d %12d\n' "$cuts" "$median"
    fi
done

# Different pictures: each copy of the multicolour picture has other bytes
# in its bitmap, so every PCX differs.
echo
echo "ingravo on $PCX_FILES different PCX files:"
for ((i = 0; i < PCX_FILES; ++i)); do
    cp picture.koa "p$i.koa"
    printf "\\$(printf %o $((i % 256)))\\$(printf %o $((i / 256)))" |
        dd of="p$i.koa" bs=1 seek=$((2 + (i * 37) % 7998)) conv=notrunc 2>/dev/null
    "$BIN/exgravo" "p$i.koa" > /dev/null
done
size=$(stat -c %s picture.koa)
microseconds() { echo $(( $(date +%s%N) / 1000 )); }
start=$(microseconds)
for ((i = 0; i < PCX_FILES; ++i)); do
    "$BIN/ingravo" "p$i.pcx" "back$i.koa" "errors$i.pcx" "-b\$$BACKGROUND" > /dev/null
done
program=$(( $(microseconds) - start ))
start=$(microseconds)
for ((i = 0; i < PCX_FILES; ++i)); do
    "$FLOOR" "p$i.pcx" "floor$i.koa" "$size" > /dev/null
done
floor=$(( $(microseconds) - start ))
printf '%-8s total %9d us, %7d us a file\n' ingravo "$program" $((program / PCX_FILES)) floor "$floor" $((floor / PCX_FILES))
printf 'ratio %.2f\n' "$(echo "$program / $floor" | bc -l)"
if command -v valgrind >/dev/null; then
    echo "instructions of one run: ingravo $(instructions "$BIN/ingravo" p1.pcx back1.koa errors1.pcx "-b\$$BACKGROUND")," \
         "floor $(instructions "$FLOOR" p1.pcx floor1.koa "$size")"
fi
