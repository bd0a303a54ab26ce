#!/usr/bin/env python3
"""Writes the benchmark corpus into FOLDER: 414 files, about 128 MB of
text, semi-compressible binaries and random data, with one 30 MB text and
one 20 MB random file, and a setup.dat that copies every file (so the
packer has nothing to warn about). The same seed gives the same files."""
import os
import random
import sys

MB = 1 << 20
rng = random.Random(20241211)
words = ("install folder program file registry value shortcut version setup windows "
         "the of and to a in is that for it with as on be by this are or from at which "
         "license update service user system data error message window button page "
         "configuration network printer display keyboard mouse document picture music").split()


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


def write(root, name, data):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main(root):
    write(root, "large/manual.txt", text(30 * MB))
    write(root, "large/media.bin", rng.randbytes(20 * MB))
    for i in range(40):
        write(root, f"docs/chapter{i:02}.txt", text(rng.randint(200, 700) * 1024))
    for i in range(60):
        write(root, f"bin/module{i:02}.dll", binary(rng.randint(300, 1000) * 1024))
    for i in range(12):
        write(root, f"data/sample{i:02}.dat", rng.randbytes(rng.randint(300, 900) * 1024))
    for i in range(300):
        size = rng.randint(1024, 64 * 1024)
        kind = i % 3
        data = text(size) if kind == 0 else binary(size) if kind == 1 else rng.randbytes(size)
        write(root, f"res/file{i:03}.{['txt', 'bin', 'ico'][kind]}", data)

    script = ["[Project Name]", "Benchmark"]
    for folder, _, files in sorted(os.walk(root)):
        for name in sorted(files):
            item = os.path.relpath(os.path.join(folder, name), root).replace("/", "\\")
            script += ["[CopyFile]", item, "<Destination>" + item]
    write(root, "setup.dat", ("\r\n".join(script) + "\r\n").encode())


if __name__ == "__main__":
    main(sys.argv[1])
