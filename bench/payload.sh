#!/bin/bash
# Payload benchmark: packs the corpus of bench/corpus.py (about 128 MB of
# text, semi-compressible binaries, random data, a few large files) with the
# packer on one core and on two, then extracts every item under Wine with
# the runtime's archive reader beside the raw speed of its decoder.
#
#     bench/payload.sh [BUILD_DIR]      (default: build)
#
# Needs BUILD_DIR/bin/zelto-pack, zelto-setup.exe and bench_payload.exe
# (cmake --build BUILD_DIR --target zelto-setup bench_payload host_tools)
# and the 64-bit test prefix BUILD_DIR/wine64 (or WINEPREFIX).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
bin="$build/bin"
for tool in zelto-pack zelto-setup.exe bench_payload.exe; do
    [ -e "$bin/$tool" ] || { echo "payload.sh: $bin/$tool is missing; build it first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/zelto-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
corpus="$work/corpus"

echo "generating the corpus in $corpus"
python3 "$root/bench/corpus.py" "$corpus"
corpus_bytes=$(du -sb "$corpus" | cut -f1)
# Arithmetic on decimals.
calc() {
    awk "BEGIN { printf \"%.2f\", $1 }"
}
corpus_mb=$(calc "$corpus_bytes / 1048576")
echo "corpus: $corpus_mb MB in $(find "$corpus" -type f | wc -l) files"

# Seconds taken by a command, to two decimals.
timed() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    calc "$end - $start"
}

# The packer compresses one item per core; pinned to one core it works as a
# single-core packer would.
one=$(timed taskset -c 0 "$bin/zelto-pack" -q -o "$work/setup1.exe" "$corpus")
two=$(timed taskset -c 0,1 "$bin/zelto-pack" -q -o "$work/setup2.exe" "$corpus")
cmp -s "$work/setup1.exe" "$work/setup2.exe" || echo "note: the two packings differ"
echo "packing, 1 core:    $one s  $(calc "$corpus_mb / $one") MB/s"
echo "packing, 2 cores:   $two s  $(calc "$corpus_mb / $two") MB/s"
echo "2 cores / 1 core:   $(calc "$two / $one") of the time (target <= 0.60)"
echo "setup size:         $(calc "$(stat -c %s "$work/setup2.exe") / 1048576") MB"

export WINEPREFIX="${WINEPREFIX:-$build/wine64}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=;winedbg.exe="
echo "extracting under Wine ($WINEPREFIX)"
timeout 1800 wine "$bin/bench_payload.exe" "Z:${work//\//\\}\\setup2.exe"
