#!/bin/bash
# Packing benchmark against NSIS: builds the corpus (bench/corpus.py) into a
# setup with zelto-pack and with makensis (LZMA with an 8 MB dictionary,
# solid and non-solid), on all cores, and prints sizes, packing times and
# their ratios, and the size of the installer runtime itself.
#
#     bench/packing.sh [BUILD_DIR]      (default: build)
#
# Needs BUILD_DIR/bin/zelto-pack and zelto-setup.exe (scripts/build) and
# makensis (Debian's nsis; scripts/bootstrap installs it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
bin="$build/bin"
for tool in "$bin/zelto-pack" "$bin/zelto-setup.exe"; do
    [ -e "$tool" ] || { echo "packing.sh: $tool is missing; build it first" >&2; exit 1; }
done
command -v makensis >/dev/null || { echo "packing.sh: makensis is missing; run scripts/bootstrap" >&2; exit 1; }

work=$(mktemp -d /tmp/zelto-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
corpus="$work/corpus"
python3 "$root/bench/corpus.py" "$corpus"
corpus_bytes=$(du -sb --exclude=setup.dat "$corpus" | cut -f1)

calc() {
    awk "BEGIN { printf \"%.${2:-2}f\", $1 }"
}
mb() {
    calc "$1 / 1000000"
}
# Seconds taken by a command, to two decimals.
timed() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    calc "$end - $start"
}

nsis_script() {
    local compressor=$1 output=$2
    cat <<NSI
Unicode true
Name "Benchmark"
OutFile "$output"
SetCompressor $compressor lzma
SetCompressorDictSize 8
RequestExecutionLevel user
InstallDir "\$TEMP\\benchmark"
Section
SetOutPath "\$INSTDIR"
File /r /x setup.dat "$corpus/*.*"
SectionEnd
NSI
}
nsis_script /SOLID "$work/nsis-solid.exe" >"$work/solid.nsi"
nsis_script "" "$work/nsis.exe" >"$work/nonsolid.nsi"
# An installer with nothing to install, for NSIS's own size.
cat >"$work/empty.nsi" <<NSI
Name "Empty"
OutFile "$work/nsis-empty.exe"
RequestExecutionLevel user
Section
SectionEnd
NSI

echo "corpus: $(mb "$corpus_bytes") MB in $(find "$corpus" -type f ! -name setup.dat | wc -l) files, $(nproc) cores"
zelto_time=$(timed "$bin/zelto-pack" -q -o "$work/setup.exe" "$corpus")
solid_time=$(timed makensis -V1 "$work/solid.nsi")
nonsolid_time=$(timed makensis -V1 "$work/nonsolid.nsi")
makensis -V1 "$work/empty.nsi" >/dev/null

zelto_size=$(stat -c %s "$work/setup.exe")
solid_size=$(stat -c %s "$work/nsis-solid.exe")
nonsolid_size=$(stat -c %s "$work/nsis.exe")
stub_size=$(stat -c %s "$bin/zelto-setup.exe")
empty_size=$(stat -c %s "$work/nsis-empty.exe")

printf '%-34s %14s %12s\n' "" "size (MB)" "time (s)"
printf '%-34s %14s %12s\n' "zelto-pack (level 9)" "$(mb "$zelto_size")" "$zelto_time"
printf '%-34s %14s %12s\n' "makensis, solid LZMA" "$(mb "$solid_size")" "$solid_time"
printf '%-34s %14s %12s\n' "makensis, non-solid LZMA" "$(mb "$nonsolid_size")" "$nonsolid_time"
echo
echo "setup size / NSIS solid:        $(calc "$zelto_size / $solid_size" 4) (goal <= 1.02)"
echo "setup size / NSIS non-solid:    $(calc "$zelto_size / $nonsolid_size" 4)"
echo "packing time / makensis non-solid: $(calc "$zelto_time / $nonsolid_time" 3) (goal <= 0.5)"
echo "packing time / makensis solid:  $(calc "$zelto_time / $solid_time" 3)"
echo "installer runtime without payload: $stub_size bytes (goal <= 262144); NSIS empty installer: $empty_size bytes"
