# The pictures of the README's gallery, made again into gallery/: the
# scene in two palettes, an errors image, a difference image and a
# logo's font (docs/make_gallery.sh lists the commands).
set -eu
echo "\$ sh docs/make_gallery.sh \$BIN \$DEMO_TOOLS gallery"
sh "$SOURCE_DIR/docs/make_gallery.sh" "$BIN" "$DEMO_TOOLS" gallery
ls -l gallery
