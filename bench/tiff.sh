#!/usr/bin/env bash
# The TIFF timing: a 4000 x 3000 RGB photo stored uncompressed, PackBits, LZW
# and deflate (tiffcp), each opened by the batch command and written full size
# as BMP, side by side with libtiff reading every strip into BGR rows
# (scalopex_libtiff_strips), in one hyperfine run.
# usage: bench/tiff.sh BUILD_DIR INPUT_DIR   (INPUT_DIR from make-inputs.sh)
set -euo pipefail
build=${1:?usage: bench/tiff.sh BUILD_DIR INPUT_DIR}
inputs=${2:?usage: bench/tiff.sh BUILD_DIR INPUT_DIR}
work=$(mktemp -d /dev/shm/scalopex-tiff.XXXXXX)
trap 'rm -rf "$work"' EXIT

convert "$inputs/raster_4000x3000.ppm" -depth 8 -compress none "$work/photo.tif"
commands=()
for kind in none packbits lzw zip; do
    tiffcp -c "$kind" "$work/photo.tif" "$work/$kind.tif"
    commands+=(-n "libtiff $kind" "$build/bench/scalopex_libtiff_strips $work/$kind.tif"
               -n "scalopex-batch $kind" "$build/scalopex-batch --no-settings --slots 1 --max1 0 --format1 BMP --dest1 $work/out $work/$kind.tif")
done
mkdir -p "$work/out"
hyperfine -N -w 2 -r "${RUNS:-15}" "${commands[@]}"
