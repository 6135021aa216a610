#!/bin/bash
# The photo benchmark: ingravo converts twelve public photos into multicolour
# (Koala) and hires (Art Studio) pictures for each view, -d for a television
# and -d -v1 for crisp pixels. photo_score scores each against its reference
# in palette 13, and the other converters' renderings of the same photos
# beside them, on the figures that agree with each view: crisp pixels by the
# unblurred mean CIEDE2000 (dE σ0), the SSIM of L* after a blur of 0.5 pixel
# and the tone of areas (dE σ2); a television by dE σ1 and SSIM σ2. Prints
# markdown tables, one per view and mode, then whole runs on a 1600x900 JPEG
# timed by hyperfine.
#
#   bench/photos.sh [-b BUILD_DIR] [-o OUT_DIR] [-p PHOTO_DIR] [-t]
#
#   -b  the build whose bin/ingravo and bench-tools/photo_score run (default: build)
#   -o  where the references, pictures, renderings and tables are kept
#       (default: bench/photos-out; emptied of earlier results first)
#   -p  score every picture of PHOTO_DIR (jpg, jpeg, png, gif, bmp, tif,
#       webp) instead of the twelve, without the other converters
#   -t  skip the hyperfine timing
#
# Environment: INGRAVO runs in place of BUILD_DIR/bin/ingravo; PEER_PICTURES
# is the folder of the other converters' renderings, NAME.CONVERTER.MODE.png
# (default: shared/photo-peers beside the repository; left out when missing);
# SKIMAGE_DATA and MPL_SAMPLE_DATA hold the twelve photos.
set -euo pipefail

BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
REPOSITORY=$(cd "$BENCH_DIR/.." && pwd)
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
PEER_PICTURES=${PEER_PICTURES:-$REPOSITORY/../shared/photo-peers}
SKIMAGE_DATA=${SKIMAGE_DATA:-/usr/lib/python3/dist-packages/skimage/data}
MPL_SAMPLE_DATA=${MPL_SAMPLE_DATA:-/usr/share/matplotlib/mpl-data/sample_data}
MODES=(multicolour hires)
VIEWS=(crisp television)

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
        for photo in astronaut.png chelsea.png coffee.png rocket.jpg motorcycle_left.png camera.png coins.png \
                     hubble_deep_field.jpg retina.jpg ihc.png logo.png; do
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

# Converts one reference in one mode for one view, renders and scores the
# picture; appends "name mode source status ms" and photo_score's eight
# figures (dE σ0 σ0.5 σ1 σ2, SSIM σ0 σ0.5 σ1 σ2) to scores.txt.
convert_and_score() {
    local name=$1 mode=$2 view=$3 picture switches=(-d -c13)
    [ "$view" = crisp ] && switches+=(-v1)
    if [ "$mode" = multicolour ]; then
        picture=$name.$view.multicolour.koa
    else
        picture=$name.$view.hires.art
        switches+=(-s)
    fi
    local start status=0 elapsed scores
    start=$(milliseconds)
    "$INGRAVO" "$name.ref.png" "$picture" "${switches[@]}" > "$name.$view.$mode.log" 2>&1 || status=$?
    elapsed=$(( $(milliseconds) - start ))
    if [ "$status" -eq 0 ] && [ -f "$picture" ] &&
       scores=$("$PHOTO_SCORE" -w "$name.$view.$mode.png" "$name.ref.png" "$picture" 2>> "$name.$view.$mode.log"); then
        echo "$name $mode $view ok $elapsed $scores" >> scores.txt
    else
        echo "$name $mode $view failed:$status $elapsed - - - - - - - -" >> scores.txt
        echo "$name, $mode, $view: failed (status $status), see $OUT/$name.$view.$mode.log" >&2
    fi
}

# The other converters' renderings of the photo, scored the same way.
score_peer_pictures() {
    local name=$1 mode=$2 peer converter scores
    for peer in "$PEER_PICTURES/$name".*."$mode".png; do
        [ -f "$peer" ] || continue
        converter=$(basename "$peer" ".$mode.png")
        converter=${converter#"$name".}
        if scores=$("$PHOTO_SCORE" "$name.ref.png" "$peer" 2>/dev/null); then
            echo "$name $mode $converter ok - $scores" >> scores.txt
        fi
    done
}

# One markdown table: per photo each source's figures of the view, and the
# means. Columns of scores.txt: 6-9 dE σ0 σ0.5 σ1 σ2, 10-13 SSIM.
print_table() {
    local view=$1 mode=$2 ours=$3
    awk -v view="$view" -v mode="$mode" -v ours="$ours" '
        function figures(i) {
            if (view == "crisp") return sprintf("%s / %s / %s", $6, $11, $9)
            return sprintf("%s / %s", $8, $13) }
        $2 != mode || $4 != "ok" { next }
        {   source = $3
            if (source == "crisp" || source == "television") { if (source != view) next; source = ours }
            if (!(source in seen)) { seen[source] = 1; order[++sources] = source }
            if (!($1 in photo_seen)) { photo_seen[$1] = 1; photos[++photo_count] = $1 }
            cell[$1, source] = figures()
            n[source]++
            if (view == "crisp") { a[source] += $6; b[source] += $11; c[source] += $9 }
            else { a[source] += $8; b[source] += $13 }
            if (source == ours) time[$1] = $5 }
        END {
            header = "| " mode " |"; rule = "|---|"
            for (s = 1; s <= sources; ++s) { header = header " " order[s] " |"; rule = rule "---|" }
            print header " time |"; print rule "---:|"
            for (p = 1; p <= photo_count; ++p) {
                line = "| " photos[p] " |"
                for (s = 1; s <= sources; ++s) line = line " " ((photos[p], order[s]) in cell ? cell[photos[p], order[s]] : "-") " |"
                print line sprintf(" %.2f s |", time[photos[p]] / 1000) }
            line = "| **mean** |"
            for (s = 1; s <= sources; ++s) {
                k = order[s]
                if (view == "crisp") line = line sprintf(" %.2f / %.3f / %.2f |", a[k] / n[k], b[k] / n[k], c[k] / n[k])
                else line = line sprintf(" %.2f / %.3f |", a[k] / n[k], b[k] / n[k]) }
            print line " |" }' scores.txt
}

# Whole runs of both modes and views on a 1600x900 JPEG, timed by hyperfine.
time_whole_runs() {
    local photo=$1
    command -v hyperfine >/dev/null || { echo "hyperfine is missing: no timing" >&2; return 0; }
    convert "$photo" -resize '1600x900!' -quality 90 timing-photo.jpg
    hyperfine -N --warmup 3 --export-markdown timing.md \
        -n "multicolour, television" "$INGRAVO timing-photo.jpg timing.koa -d -c13" \
        -n "hires, television" "$INGRAVO timing-photo.jpg timing.art -d -c13 -s" \
        -n "multicolour, crisp" "$INGRAVO timing-photo.jpg timing.koa -d -c13 -v1" \
        -n "hires, crisp" "$INGRAVO timing-photo.jpg timing.art -d -c13 -s -v1" > timing.log 2>&1 ||
        { echo "hyperfine failed, see $OUT/timing.log" >&2; return 0; }
    echo
    cat timing.md
}

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
cd "$OUT"
rm -f scores.txt results.md timing.* timing-photo.jpg ./*.ref.png ./*.multicolour.* ./*.hires.* ./*.log

PHOTOS=()
while IFS=$'\t' read -r name path; do
    [ -f "$path" ] || { echo "missing photo $path" >&2; exit 1; }
    make_reference "$path" "$name.ref.png"
    for mode in "${MODES[@]}"; do
        for view in "${VIEWS[@]}"; do
            convert_and_score "$name" "$mode" "$view"
        done
        if [ -z "$PHOTO_DIR" ] && [ -d "$PEER_PICTURES" ]; then
            score_peer_pictures "$name" "$mode"
        fi
    done
    PHOTOS+=("$path")
done < <(list_photos)
[ "${#PHOTOS[@]}" -gt 0 ] || { echo "no photos found" >&2; exit 1; }

{
    echo "Crisp pixels: dE σ0 / SSIM σ0.5 / dE σ2"
    echo
    for mode in "${MODES[@]}"; do
        print_table crisp "$mode" "ingravo -d -v1"
        echo
    done
    echo "Television: dE σ1 / SSIM σ2"
    echo
    for mode in "${MODES[@]}"; do
        print_table television "$mode" "ingravo -d"
        echo
    done
    echo "All figures (dE σ0 σ0.5 σ1 σ2, SSIM σ0 σ0.5 σ1 σ2): $OUT/scores.txt; renderings: $OUT/NAME.VIEW.MODE.png"
    if [ "$TIMING" -eq 1 ]; then
        time_whole_runs "${PHOTOS[0]}"
    fi
} | tee results.md
