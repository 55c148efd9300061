#!/usr/bin/env bash
# Installs a configured build into a scratch folder and checks what lands
# there as a desktop expects it, then builds the Debian package, installs it
# on this machine and removes it again. Usage: packaging/check.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: packaging/check.sh BUILD_DIR}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /usr
share="$stage/usr/share"
for f in "$stage/usr/bin/scalopex" "$stage/usr/bin/scalopex-batch" "$share/man/man1/scalopex-batch.1" \
         "$share/icons/hicolor/scalable/apps/scalopex.svg" "$share/icons/hicolor/48x48/apps/scalopex.png" \
         "$share/icons/hicolor/256x256/apps/scalopex.png"; do
    [ -f "$f" ] || { echo "not installed: ${f#"$stage"}" >&2; exit 1; }
done
desktop-file-validate "$share/applications/io.github.scalopex.Scalopex.desktop"
grep -q '^MimeType=.*image/png;' "$share/applications/io.github.scalopex.Scalopex.desktop"
appstreamcli validate --no-net --pedantic "$share/metainfo/io.github.scalopex.Scalopex.metainfo.xml"
# The manual page must render and name the command's options.
# grep reads all its input (no -q): an early exit would kill the writer with
# SIGPIPE, which pipefail reports as a failure.
MANWIDTH=80 man -l "$share/man/man1/scalopex-batch.1" | grep -- '--jobs' >/dev/null

(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/scalopex_*.deb)
deb=${debs[-1]}
dpkg-deb --info "$deb" | grep 'Depends:.*libqt6widgets6' >/dev/null
if [ "$(id -u)" = 0 ]; then
    apt-get install -y -qq "$(realpath "$deb")" >/dev/null
    /usr/bin/scalopex-batch --version
    # One file through the installed command: a 4 x 4 picture scaled to 2 x 2.
    run="$stage/run"
    mkdir -p "$run"
    convert -size 4x4 xc:red "$run/x.bmp"
    (cd "$run" && /usr/bin/scalopex-batch --settings NONE --slots 1 --max1 2 x.bmp)
    [ -s "$run/x_lge.bmp" ] || { echo "the installed batch command wrote nothing" >&2; exit 1; }
    apt-get remove -y -qq scalopex >/dev/null
    [ ! -e /usr/bin/scalopex-batch ] || { echo "removing the package left /usr/bin/scalopex-batch" >&2; exit 1; }
fi
echo "packaging checks passed: $(basename "$deb")"
