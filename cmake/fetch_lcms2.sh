#!/bin/sh
# LittleCMS 2 is linked into the programs statically, but Debian ships no
# liblcms2.a: this fetches Debian's source package of it into third_party/,
# where common/CMakeLists.txt compiles it. Run it once before configuring
# (as root or with sudo for the package lists); a folder already there is kept.
#
# apt reads a private copy of the machine's sources with deb-src added to
# their types, so the system's own sources stay as they are.
set -eu
repository=$(cd "$(dirname "$0")/.." && pwd)
target_dir="$repository/third_party"
if ls -d "$target_dir"/lcms2-*/src >/dev/null 2>&1; then
    echo "LittleCMS sources already in $(ls -d "$target_dir"/lcms2-*/src | head -n 1 | xargs dirname)"
    exit 0
fi
command -v dpkg-source >/dev/null 2>&1 || {
    echo "fetch_lcms2.sh needs dpkg-source (package dpkg-dev)" >&2
    exit 1
}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

apt_dir=$(mktemp -d)
download_dir=$(mktemp -d)
trap 'rm -rf "$apt_dir" "$download_dir"' EXIT
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    # deb822 stanzas: "Types: deb" becomes "Types: deb deb-src".
    awk '/^Types:/ && !/[[:space:]]deb-src([[:space:]]|$)/ { $0 = $0 " deb-src" } { print }' \
        /etc/apt/sources.list.d/debian.sources > "$apt_dir/debian.sources"
    sources="$apt_dir/debian.sources"
else
    # One-line entries: each "deb ..." line gains a "deb-src ..." twin.
    awk '{ print } /^[[:space:]]*deb[[:space:]]/ { sub(/deb/, "deb-src"); print }' \
        /etc/apt/sources.list > "$apt_dir/sources.list"
    sources="$apt_dir/sources.list"
fi
with_sources="-o Dir::Etc::sourcelist=$sources -o Dir::Etc::sourceparts=-"
$SUDO apt-get $with_sources update
cd "$download_dir"
# Root's apt downloads as the _apt user, which must be able to write here.
chmod 777 "$download_dir"
apt-get $with_sources source --download-only lcms2
dsc=$(ls lcms2_*.dsc | head -n 1)
dpkg-source --no-check -x "$dsc" unpacked >/dev/null
version=$(basename "$dsc" .dsc | sed 's/^lcms2_//; s/-[^-]*$//')
mkdir -p "$target_dir"
rm -rf "$target_dir/lcms2-$version"
mv unpacked "$target_dir/lcms2-$version"
echo "LittleCMS $version sources in $target_dir/lcms2-$version"
