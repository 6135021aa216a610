#!/bin/bash
# The photo benchmark: ingravo -d converts six public photos into multicolour
# (Koala) and hires (Art Studio) pictures, each scored against its reference
# by photo_score (mean CIEDE2000 and SSIM of L* after a Gaussian blur of 1
# pixel, rendered in palette 13). Prints markdown tables, one per mode, with
# the other converters' figures beside ours, then whole runs on a 1600x900
# JPEG timed by hyperfine.
#
#   bench/photos.sh [-b BUILD_DIR] [-o OUT_DIR] [-p PHOTO_DIR] [-t]
#
#   -b  the build whose bin/ingravo and bench-tools/photo_score run (default: build)
#   -o  where the references, pictures, renderings and tables are kept
#       (default: bench/photos-out; emptied of earlier results first)
#   -p  score every picture of PHOTO_DIR (jpg, jpeg, png, gif, bmp, tif,
#       webp) instead of the six, without the other converters' figures
#   -t  skip the hyperfine timing
#
# Environment: INGRAVO runs in place of BUILD_DIR/bin/ingravo; PEER_FIGURES
# is the markdown file of the other converters' figures (default
# photo-measure.md in the folder shared/ beside the repository; left out when
# missing); PEER_PICTURES is the folder of their renderings
# (NAME.CONVERTER.MODE.png; default photo-peers/ there), linked beside ours
# when present; SKIMAGE_DATA and MPL_SAMPLE_DATA hold the six photos.
set -euo pipefail

BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
# The other converters' figures and pictures are kept beside the repository.
SHARED_DIR=$(cd "$BENCH_DIR/../.." && pwd)/shared
BUILD=build
OUT=$BENCH_DIR/photos-out
PHOTO_DIR=
TIMING=1
while getopts "b:o:p:t" option; do
    case $option in
        b) BUILD=$OPTARG ;;
        o) OUT=$OPTARG ;;
        p) PHOTO_DIR=$(cd "$OPTARG" && pwd) ;;
        t) TIMING=0 ;;
        *) sed -n '2,24s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
    esac
done
BUILD=$(cd "$BUILD" && pwd)
INGRAVO=${INGRAVO:-$BUILD/bin/ingravo}
PHOTO_SCORE=$BUILD/bench-tools/photo_score
PEER_FIGURES=${PEER_FIGURES:-$SHARED_DIR/photo-measure.md}
PEER_PICTURES=${PEER_PICTURES:-$SHARED_DIR/photo-peers}
SKIMAGE_DATA=${SKIMAGE_DATA:-/usr/lib/python3/dist-packages/skimage/data}
MPL_SAMPLE_DATA=${MPL_SAMPLE_DATA:-/usr/share/matplotlib/mpl-data/sample_data}
MODES=(multicolour hires)

for needed in "$INGRAVO" "$PHOTO_SCORE"; do
    [ -x "$needed" ] || { echo "missing $needed: build ingravo and photo_score first" >&2; exit 1; }
done
command -v convert >/dev/null || { echo "ImageMagick's convert is needed" >&2; exit 1; }

# name<TAB>path of every photo to convert.
list_photos() {
    if [ -n "$PHOTO_DIR" ]; then
        find "$PHOTO_DIR" -maxdepth 1 -type f \
            \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' -o -iname '*.gif' -o -iname '*.bmp' \
               -o -iname '*.tif' -o -iname '*.tiff' -o -iname '*.webp' \) | sort |
            while read -r path; do
                name=$(basename "$path")
                name=${name%.*}
                printf '%s\t%s\n' "${name//[^A-Za-z0-9_-]/_}" "$path"
            done
    else
        for photo in astronaut.png chelsea.png coffee.png rocket.jpg motorcycle_left.png; do
            printf '%s\t%s\n' "${photo%.*}" "$SKIMAGE_DATA/$photo"
        done
        printf '%s\t%s\n' grace_hopper "$MPL_SAMPLE_DATA/grace_hopper.jpg"
    fi
}

# The 320 by 200 reference: the photo scaled to cover the screen and its
# centre cut out, written as 8-bit RGB whatever the photo was.
make_reference() {
    convert "$1" -resize '320x200^' -gravity center -extent 320x200 -strip PNG24:"$2"
}

milliseconds() {
    echo $(( $(date +%s%N) / 1000000 ))
}

# Converts one reference in one mode, renders and scores the picture; appends
# "name mode status ms dE0 dE1 dE2 ssim0 ssim1 ssim2" to scores.txt.
convert_and_score() {
    local name=$1 mode=$2 picture switches=(-d -c13)
    if [ "$mode" = multicolour ]; then
        picture=$name.multicolour.koa
    else
        picture=$name.hires.art
        switches+=(-s)
    fi
    local start status=0 elapsed scores
    start=$(milliseconds)
    "$INGRAVO" "$name.ref.png" "$picture" "${switches[@]}" > "$name.$mode.log" 2>&1 || status=$?
    elapsed=$(( $(milliseconds) - start ))
    if [ "$status" -eq 0 ] && [ -f "$picture" ] &&
       scores=$("$PHOTO_SCORE" -w "$name.$mode.png" "$name.ref.png" "$picture" 2>> "$name.$mode.log"); then
        echo "$name $mode ok $elapsed $scores" >> scores.txt
    else
        echo "$name $mode failed:$status $elapsed - - - - - -" >> scores.txt
        echo "$name, $mode: failed (status $status), see $OUT/$name.$mode.log" >&2
    fi
}

# The other converters' renderings of the photo, linked beside ours as
# NAME.peer-CONVERTER.MODE.png.
link_peer_pictures() {
    local peer converter
    for peer in "$PEER_PICTURES/$1".*."$2".png; do
        [ -f "$peer" ] || continue
        converter=$(basename "$peer" ".$2.png")
        ln -sf "$peer" "$1.peer-${converter#*.}.$2.png"
    done
}

# The other converters' figures of one mode from the markdown file, as
# "photo<TAB>cell<TAB>cell..." lines, the header line first ("-" for photo).
peer_table() {
    [ -f "$PEER_FIGURES" ] || return 0
    awk -v mode="$1" -F'|' '
        $2 ~ "^ *" mode " *$" { inside = 1; line = "-"
            for (i = 3; i < NF; ++i) { cell = $i; sub(/ *ΔE.*/, "", cell); gsub(/^ +| +$/, "", cell); line = line "\t" cell }
            print line; next }
        inside && /^\|---/ { next }
        inside && /^\|/ { line = $2; gsub(/^ +| +$|\*/, "", line)
            for (i = 3; i < NF; ++i) { cell = $i; gsub(/^ +| +$/, "", cell); line = line "\t" cell }
            print line; next }
        inside { inside = 0 }' "$PEER_FIGURES"
}

# One markdown table: per photo this suite's ΔE σ1 / SSIM σ1 and the time of
# the conversion, the other converters' figures beside them, and the means.
print_table() {
    local mode=$1 peers header peer_count
    peers=$(peer_table "$mode")
    header=$(printf '%s\n' "$peers" | awk -F'\t' 'NR == 1 { for (i = 2; i <= NF; ++i) printf " %s ΔE σ1 / SSIM σ1 |", $i }')
    peer_count=$(printf '%s\n' "$peers" | awk -F'\t' 'NR == 1 { print NF - 1 }')
    peer_count=${peer_count:-0}
    echo "| $mode | ingravo -d ΔE σ1 / SSIM σ1 |$header time |"
    printf '|---|---|'
    for (( i = 0; i < peer_count; ++i )); do printf -- '---|'; done
    echo '---:|'
    awk -v mode="$mode" -v peers="$peers" -v peer_count="$peer_count" '
        BEGIN { rows = split(peers, lines, "\n")
                for (r = 2; r <= rows; ++r) { n = split(lines[r], cells, "\t"); figures[cells[1]] = lines[r] } }
        function peer_cells(photo,   n, cells, i, text) {
            text = ""
            if (peer_count == 0) return text
            if (!(photo in figures)) { for (i = 1; i <= peer_count; ++i) text = text " |"; return text }
            n = split(figures[photo], cells, "\t")
            for (i = 2; i <= n; ++i) text = text " " cells[i] " |"
            return text }
        $2 == mode {
            if ($3 == "ok") { cell = sprintf("%s / %s", $6, $9); de += $6; ssim += $9; ++scored; time += $4 }
            else { cell = $3; sub(/^failed:/, "failed, exit ", cell) }
            printf "| %s | %s |%s %.2f s |\n", $1, cell, peer_cells($1), $4 / 1000; ++photos }
        END {
            mean = scored ? sprintf("%.2f / %.3f", de / scored, ssim / scored) : "-"
            if (scored < photos) mean = mean sprintf(" (%d of %d)", scored, photos)
            printf "| **mean** | %s |%s %s |\n", mean, peer_cells("mean"), scored ? sprintf("%.2f s", time / scored / 1000) : "-" }
    ' scores.txt
}

# Whole runs of both modes on a 1600x900 JPEG, timed by hyperfine.
time_whole_runs() {
    local photo=$1
    command -v hyperfine >/dev/null || { echo "hyperfine is missing: no timing" >&2; return 0; }
    convert "$photo" -resize '1600x900!' -quality 90 timing-photo.jpg
    hyperfine -N --warmup 3 --export-markdown timing.md \
        -n "multicolour, 1600x900 JPEG" "$INGRAVO timing-photo.jpg timing.koa -d -c13" \
        -n "hires, 1600x900 JPEG" "$INGRAVO timing-photo.jpg timing.art -d -c13 -s" > timing.log 2>&1 ||
        { echo "hyperfine failed, see $OUT/timing.log" >&2; return 0; }
    echo
    cat timing.md
}

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
cd "$OUT"
rm -f scores.txt results.md timing.* timing-photo.jpg ./*.ref.png ./*.multicolour.* ./*.hires.*
if [ -n "$PHOTO_DIR" ]; then
    PEER_FIGURES=/nonexistent
fi

PHOTOS=()
while IFS=$'\t' read -r name path; do
    [ -f "$path" ] || { echo "missing photo $path" >&2; exit 1; }
    make_reference "$path" "$name.ref.png"
    for mode in "${MODES[@]}"; do
        convert_and_score "$name" "$mode"
        if [ -z "$PHOTO_DIR" ]; then
            link_peer_pictures "$name" "$mode"
        fi
    done
    PHOTOS+=("$path")
done < <(list_photos)
[ "${#PHOTOS[@]}" -gt 0 ] || { echo "no photos found" >&2; exit 1; }

{
    for mode in "${MODES[@]}"; do
        print_table "$mode"
        echo
    done
    echo "All figures (dE σ0 σ1 σ2, SSIM σ0 σ1 σ2): $OUT/scores.txt; renderings: $OUT/NAME.MODE.png"
    if [ "$TIMING" -eq 1 ]; then
        time_whole_runs "${PHOTOS[0]}"
    fi
} | tee results.md
