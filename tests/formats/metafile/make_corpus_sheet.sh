#!/bin/sh
# Renders the public EMF corpus with this engine and with an independent
# converter (emf2svg-conv, then rsvg-convert), and lays the pairs side by
# side into docs/metafile-corpus.png: ours left, the independent one right.
# Usage: make_corpus_sheet.sh <build-dir>   (needs ImageMagick's montage)
set -eu
build=${1:?build directory}
root=$(cd "$(dirname "$0")/../../.." && pwd)
dump=$(mktemp -d)
trap 'rm -rf "$dump"' EXIT
SCALOPEX_METAFILE_DUMP="$dump" "$build/tests/scalopex_metafile_tests" \
    --gtest_filter='MetafileCorpus.realWorldFilesComeCloseToAnIndependentRendering' >/dev/null
set --
for ours in "$dump"/*.emf.ppm; do
    theirs="${ours%.ppm}.reference.ppm"
    [ -f "$theirs" ] || continue
    set -- "$@" -label "$(basename "${ours%.ppm}")" "$ours" -label "independent" "$theirs"
done
montage "$@" -tile 8x -geometry 120x120+3+3 -pointsize 9 -depth 8 -colors 128 "PNG8:$root/docs/metafile-corpus.png"
