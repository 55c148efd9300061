#!/bin/sh
# Installs the Debian 12 packages that building and testing Scalopex needs.
# Safe to run again: packages already present are left alone.
set -eu

PACKAGES="build-essential cmake ninja-build pkg-config zlib1g-dev libjpeg62-turbo-dev libopenjp2-7-dev
qt6-base-dev libxkbcommon-dev libcairo2-dev fonts-dejavu-core libgtest-dev libgmock-dev libbenchmark-dev imagemagick
libjpeg-turbo-progs gifsicle clang-14 libclang-rt-14-dev libopenjp2-tools
clang-format-14 help2man fonts-liberation2 fonts-crosextra-carlito fonts-crosextra-caladea emf2svg librsvg2-bin libtiff-tools libtiff-dev netpbm python3-pil desktop-file-utils appstream dpkg-dev man-db file"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing
