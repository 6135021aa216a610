#!/bin/sh
# The conversion's quality on a public photo (Grace Hopper, from Debian's
# python-matplotlib-data): ingravo in both modes, with each dither and in
# each view, scored by photo_score in palette 13 on the figures of the view
# it is made for: the television's after a blur (mean CIEDE2000 at sigma 1,
# SSIM of L* at sigma 2), crisp pixels' unblurred (CIEDE2000 at sigma 0, SSIM
# at sigma 0.5) and the tone of areas (CIEDE2000 at sigma 2). The figures are
# deterministic, so a conversion that gets worse than those reached, beyond
# a small tolerance, fails.
#
#   tests/photo_quality.sh BIN_DIR BENCH_TOOLS_DIR
set -eu
bin=$1
tools=$2
photo=${QUALITY_PHOTO:-/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg}
if [ ! -f "$photo" ] || ! command -v convert >/dev/null 2>&1; then
    echo "photo or ImageMagick missing"
    [ "${CI:-}" = true ] && exit 1
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert "$photo" -resize '320x200^' -gravity center -extent 320x200 "$work/ref.png"
failed=0
# check NAME PICTURE "SWITCHES" FIGURES: FIGURES are "dE1<=x ssim2>=y ..." of
# photo_score's line: dE0 dE0.5 dE1 dE2 ssim0 ssim0.5 ssim1 ssim2.
check() {
    name=$1 picture=$2 switches=$3
    shift 3
    # shellcheck disable=SC2086
    "$bin/ingravo" "$work/ref.png" "$work/$picture" -c13 $switches >/dev/null
    scores=$("$tools/photo_score" "$work/ref.png" "$work/$picture")
    rm -f "$work/$picture"
    if ! echo "$scores" | awk -v name="$name" -v limits="$*" '
        { split("dE0 dE0.5 dE1 dE2 ssim0 ssim0.5 ssim1 ssim2", names, " ")
          for (i = 1; i <= 8; ++i) value[names[i]] = $i
          n = split(limits, wanted, " "); ok = 1; line = name ":"
          for (i = 1; i <= n; ++i) {
              if (match(wanted[i], /<=/)) { figure = substr(wanted[i], 1, RSTART - 1); limit = substr(wanted[i], RSTART + 2)
                  good = value[figure] <= limit + 0 }
              else { match(wanted[i], />=/); figure = substr(wanted[i], 1, RSTART - 1); limit = substr(wanted[i], RSTART + 2)
                  good = value[figure] >= limit + 0 }
              line = line sprintf(" %s %s (%s)", figure, value[figure], wanted[i])
              if (!good) { ok = 0; line = line " FAILS" } }
          print line; exit !ok }'; then
        failed=1
    fi
}
check "television, multicolour" pic.koa "-d" "dE1<=6.81" "ssim2>=0.788"
check "television, hires" pic.art "-d -s" "dE1<=8.40" "ssim2>=0.878"
check "crisp, multicolour" pic.koa "-d -v1" "dE0<=11.95" "ssim0.5>=0.583" "dE2<=9.30"
check "crisp, hires" pic.art "-d -v1 -s" "dE0<=11.97" "ssim0.5>=0.574" "dE2<=9.74"
check "diffusion, multicolour" pic.koa "-d2" "dE1<=9.26" "ssim2>=0.936"
check "diffusion, hires" pic.art "-d2 -s" "dE1<=7.91" "ssim2>=0.918"
check "diffusion, crisp view, hires" pic.art "-d2 -v1 -s" "dE1<=7.91" "ssim2>=0.918"
check "no dither, multicolour" pic.koa "-d0" "dE0<=14.90" "ssim0.5>=0.582"
check "no dither, hires" pic.art "-d0 -s" "dE0<=14.65" "ssim0.5>=0.573"
exit $failed
