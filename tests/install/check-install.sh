#!/usr/bin/env bash
# Installs the build into a staging folder, as a packager does, and checks the result:
# no build-machine path in the programs, --version/--help without a window, the desktop entry,
# AppStream metainfo and icons. Run by ctest.
#   check-install.sh BUILD_DIR VERSION SOURCE_DIR
set -euo pipefail
build=$1
version=$2
source=$3
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
bin=$stage/usr/bin
for p in rostrel rostrel-book; do
  [[ -x $bin/$p ]] || fail "$p is not installed"
  for dir in "$source" "$(cd "$build" && pwd)"; do
    if strings -a "$bin/$p" | grep -qF "$dir"; then
      fail "$p holds the build path $dir: $(strings -a "$bin/$p" | grep -F "$dir" | head -3)"
    fi
  done
done

# No display: a program that opened a window would fail here.
noscreen=(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb)
[[ "$("${noscreen[@]}" "$bin/rostrel" --version)" == "rostrel $version" ]] || fail "rostrel --version"
"${noscreen[@]}" "$bin/rostrel" --help | grep -q -- '--version' || fail "rostrel --help"
[[ "$("$bin/rostrel-book" --version)" == "rostrel-book $version" ]] || fail "rostrel-book --version"

share=$stage/usr/share
for f in sound/start.wav sound/over.wav sound/type.wav sound/type0.wav sound/yes.wav 说明文档.txt \
         icons/rostrel-256.png icons/imgFz0.png; do
  [[ -f $share/rostrel/$f ]] || fail "data file $f is not installed"
done
for size in 16 22 24 32 48 64 128 256; do
  [[ -f $share/icons/hicolor/${size}x${size}/apps/rostrel.png ]] || fail "no ${size}x${size} icon"
done
[[ -f $share/doc/rostrel/LICENSE ]] || fail "no licence file"
metainfo=$(echo "$share"/metainfo/*.metainfo.xml)
[[ -f $metainfo ]] || fail "no metainfo"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo does not name version $version"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$share/applications/rostrel.desktop" || fail "desktop-file-validate"
else
  echo "desktop-file-validate is not installed (desktop-file-utils): not checked"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
else
  echo "appstreamcli is not installed (appstream): not checked"
fi
echo "installed tree OK"
