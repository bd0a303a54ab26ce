#!/bin/bash
# Payload benchmark: packs a generated corpus of about 120 MB (text,
# semi-compressible binaries, random data, a few large files) with the
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
python3 - "$corpus" <<'EOF'
import os, random, sys

root = sys.argv[1]
rng = random.Random(20240611)
MB = 1 << 20
words = ("install folder program file registry value shortcut version setup windows "
         "the of and to a in is that for it with as on be by this are or from at which "
         "license update service user system data error message window button page").split()

def text(size):
    out, n = [], 0
    while n < size:
        line = " ".join(rng.choices(words, k=rng.randint(4, 16))) + ".\r\n"
        out.append(line)
        n += len(line)
    return "".join(out).encode()[:size]

def binary(size):
    # Records of slowly changing numbers with some noise and repeated blocks,
    # as program files and data tables look to a compressor.
    out = bytearray()
    value = 0
    while len(out) < size:
        kind = rng.random()
        if kind < 0.5:
            for _ in range(256):
                value = (value + rng.randint(-3, 7)) & 0xFFFFFFFF
                out += value.to_bytes(4, "little")
        elif kind < 0.8:
            out += rng.randbytes(rng.randint(16, 512))
        else:
            start = max(0, len(out) - rng.randint(64, 65536))
            out += out[start:start + rng.randint(64, 4096)]
    return bytes(out[:size])

def write(name, data):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)

for i in range(8):
    write(f"docs/manual{i}.txt", text(5 * MB))
for i in range(10):
    write(f"bin/module{i}.dll", binary(4 * MB))
for i in range(5):
    write(f"data/noise{i}.bin", rng.randbytes(4 * MB))
write("large/archive.dat", binary(12 * MB))
write("large/help.txt", text(10 * MB))
for i in range(200):
    size = rng.randint(1024, 20 * 1024)
    write(f"small/file{i:03}.{rng.choice(['txt', 'ico', 'bin'])}",
          text(size) if i % 3 == 0 else binary(size) if i % 3 == 1 else rng.randbytes(size))

# The script copies every file, so the packer has nothing to warn about.
script = ["[Project Name]", "Benchmark"]
for folder, _, files in sorted(os.walk(root)):
    for name in sorted(files):
        item = os.path.relpath(os.path.join(folder, name), root).replace("/", "\\")
        script += ["[CopyFile]", item, "<Destination>" + item]
write("setup.dat", ("\r\n".join(script) + "\r\n").encode())
EOF
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
