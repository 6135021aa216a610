#!/bin/sh
# The conversion's quality on a public photo (Grace Hopper, from Debian's
# python-matplotlib-data): ingravo -d in both modes, scored by photo_score
# (mean CIEDE2000 and SSIM of L* after a Gaussian blur of 1 pixel). The
# figures are deterministic, so a conversion that gets worse than those
# reached, beyond a small tolerance, fails.
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
check() {
    mode=$1 picture=$2 most_delta_e=$3 least_ssim=$4
    shift 4
    "$bin/ingravo" "$work/ref.png" "$work/$picture" -d -c13 "$@" >/dev/null
    # photo_score prints dE0 dE1 dE2 ssim0 ssim1 ssim2
    set -- $("$tools/photo_score" "$work/ref.png" "$work/$picture")
    echo "$mode: delta E sigma 1 $2 (at most $most_delta_e), SSIM sigma 1 $5 (at least $least_ssim)"
    awk -v d="$2" -v s="$5" -v md="$most_delta_e" -v ms="$least_ssim" 'BEGIN { exit !(d <= md && s >= ms) }'
}
check multicolour pic.koa 5.95 0.745
check hires pic.art 6.45 0.840 -s
