#!/bin/sh
# Checks that the C++ lines changed since BASE follow .clang-format; lines
# nobody touched keep their layout. BASE defaults to the commit named in
# .ci/format-base, the main that the current round of work started from.
# With --fix, reformats those lines in the working tree instead.
set -eu
cd "$(dirname "$0")/.."
fix=""
[ "${1:-}" = "--fix" ] && { fix=1; shift; }
base=${1:-$(cat .ci/format-base)}
if [ -n "$fix" ]; then
    git clang-format-14 --binary clang-format-14 --extensions cpp,h "$base" -- . || true
    exit 0
fi
out=$(git clang-format-14 --binary clang-format-14 --diff --extensions cpp,h "$base" -- . || true)
case "$out" in
    ""|"no modified files to format"|"clang-format did not modify any files") echo "format: changed lines follow .clang-format"; exit 0 ;;
esac
printf '%s\n' "$out"
echo "format: the lines above differ from .clang-format (scripts/check-format.sh --fix reformats them)" >&2
exit 1
