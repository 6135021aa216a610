#!/bin/sh
# The committed gallery must be what docs/make_gallery.sh makes now: the same
# files, byte for byte (but for the screenshot of the web page).
# Arguments: folder of the programs, folder of the demo tools, source folder.
# Without the photo (python3-skimage) the rest is checked and the test reports
# itself skipped (status 77), unless CI is true: there it fails.
set -eu
BIN=$1
TOOLS=$2
SOURCE=$3
PHOTO=${GALLERY_PHOTO:-/usr/lib/python3/dist-packages/skimage/data/astronaut.png}
FRESH=$(mktemp -d)
trap 'rm -rf "$FRESH"' EXIT
sh "$SOURCE/docs/make_gallery.sh" "$BIN" "$TOOLS" "$FRESH"
photo_missing=false
[ -f "$PHOTO" ] || photo_missing=true
if $photo_missing; then
    # Only the photo's pictures may be missing from the fresh gallery.
    for name in astronaut.png ingravo_photo_multicolour.png ingravo_photo_hires.png ingravo_photo_crisp_multicolour.png \
        ingravo_photo_crisp_hires.png; do
        if [ -f "$SOURCE/docs/gallery/$name" ]; then
            cp "$SOURCE/docs/gallery/$name" "$FRESH/$name"
        fi
    done
fi
status=0
# The picture of the web page is a screenshot, which changes with the browser's
# version: it is made by the browser test (target web_gallery), and here only
# checked to be there, a PNG of the size the test takes.
page_picture="$SOURCE/docs/gallery/web-page.png"
page_header=$(od -A n -t x1 -N 24 "$page_picture" 2>/dev/null | tr -d ' \n')
if [ "$page_header" != "89504e470d0a1a0a0000000d494844520000044c00000280" ]; then
    echo "docs/gallery/web-page.png is missing or not a 1100 x 640 PNG: run 'cmake --build build --target web_gallery'"
    status=1
fi
cp "$page_picture" "$FRESH/web-page.png" 2>/dev/null || true
if ! diff -r -q "$SOURCE/docs/gallery" "$FRESH"; then
    echo "docs/gallery is stale: run 'cmake --build build --target gallery' and commit docs/gallery"
    status=1
fi
if [ $status -eq 0 ] && $photo_missing; then
    if [ "${CI:-}" = true ]; then
        echo "the gallery's photo $PHOTO is missing (Debian: python3-skimage)"
        exit 1
    fi
    echo "the photo's pictures are not checked: $PHOTO is missing (Debian: python3-skimage)"
    exit 77
fi
exit $status
