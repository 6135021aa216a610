# Shared by the benchmark scripts: makes typical inputs with the suite itself
# in the current folder. Needs BIN (the programs) and MAKE_FONT (the demo's
# font maker). PICTURE may name a Koala picture to use for the PCX and
# comparison runs instead of the one made here.

make_typical_inputs() {
    "$MAKE_FONT" demo.fnt
    # Font in colour 6 on 14 (hires) and in four colours (multicolour); the
    # two-colour hires picture uses colours 0 and 1 in every cell, so a large
    # sprite grid can be cut from it.
    "$BIN/typolan" demo -014 -16 >/dev/null
    "$BIN/typolan" demo demo_bw -00 -11 >/dev/null
    "$BIN/typolan" demo demo_mc -k -00 -11 -22 -35 >/dev/null
    if [ -n "${PICTURE:-}" ]; then
        cp "$PICTURE" picture.koa
    else
        cp demo_mc.koa picture.koa
    fi
    # The background that exgravo prints lets ingravo rebuild the picture.
    BACKGROUND=$("$BIN/exgravo" picture | sed -n 's/^background colour = \$\(..\)$/\1/p')
    # A copy with a few cells changed, for the comparison.
    cp picture.koa edited.koa
    printf '\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377' |
        dd of=edited.koa bs=1 seek=$((2 + 41 * 8)) conv=notrunc 2>/dev/null
}

# The PNG and GIF inputs, from the picture made above: exgravo's PNG of it,
# the same picture 160 by 200, as an emulator screenshot of 384 by 272, as
# RGB in a foreign emulator palette (read approximately), as a framed NTSC
# screenshot of 384 by 247 and as a GIF. Needs MAKE_PNG_INPUTS.
make_png_inputs() {
    "$BIN/exgravo" picture.koa picture.png >/dev/null
    "$MAKE_PNG_INPUTS" picture.png narrow.png screenshot.png approximate.png framed.png picture.gif
}

# A packing script: loads of the two font pictures in turn, and cuts of
# several sizes, one line each.
make_packing_script() {
    local loads=$1 cuts=$2 script=$3
    local per_load=$(( (cuts + loads - 1) / loads )) made=0 load
    : > "$script"
    for ((load = 0; load < loads; ++load)); do
        if (( load % 2 == 0 )); then
            echo "S:demo_bw.art" >> "$script"
        else
            echo "K:demo_mc.koa" >> "$script"
        fi
        for ((i = 0; i < per_load && made < cuts; ++i, ++made)); do
            local x=$(( (i * 8) % 96 )) y=$(( (i * 3) % 40 ))
            if (( load % 2 == 0 )); then
                echo "H:x$x,y$y,w$(( 24 + (i % 4) * 24 )),h$(( 21 + (i % 3) * 21 )),00,11" >> "$script"
            else
                echo "M:x$(( x / 2 )),y$y,w$(( 12 + (i % 4) * 12 )),h$(( 21 + (i % 3) * 21 )),00,11,22,35" >> "$script"
            fi
        done
    done
}
