// Writing payload archives: LZMA-alone item streams, the directory and the
// trailer that the runtime's archive reader verifies (the format itself is
// defined in payload/archiveformat.h). Portable C++17; used by the packer
// and by tests that need archives of their own.
#pragma once

#include "payload/archiveformat.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pack {

// How hard the LZMA encoder works on one item. Every stream is written with
// lc 3, lp 0, pb 2, and its header announces the archive's 8 MiB
// dictionary; the encoder never uses more than that.
struct LzmaSettings {
    int level;                // the encoder's algorithm choice: below 5 fast, else normal
    uint32_t dictionarySize;  // at most archive::StreamDictionarySize
    uint32_t fastBytes;       // 5 to 273: longer matches searched harder
    bool binaryTree;          // binary-tree match finder (else hash chains)
};

constexpr int kFastestLevel = 1;
constexpr int kStrongestLevel = 9;

// Level 9 is the strongest the format allows: binary-tree match finder,
// 273 fast bytes, the full dictionary. Lower levels trade size for speed.
LzmaSettings SettingsForLevel(int level);
// For data that does not compress: a small dictionary makes the encoder
// several times faster, and the stream comes out the same size.
LzmaSettings SettingsForIncompressible();

// Compresses `size` bytes into one LZMA-alone stream (13-byte header with
// the size, then the coded data without end mark).
std::vector<uint8_t> CompressLzmaAlone(const uint8_t* data, size_t size,
                                       const LzmaSettings& settings = SettingsForLevel(kStrongestLevel));

// Fills `buffer` with up to `capacity` bytes and returns how many; 0 at the
// end. May throw; the exception reaches the caller of CompressLzmaAlone.
using ByteSource = std::function<size_t(uint8_t* buffer, size_t capacity)>;

// The same for data that does not fit in memory at once (a file being read).
// Throws std::runtime_error when the source yields more or fewer than
// `size` bytes.
std::vector<uint8_t> CompressLzmaAlone(const ByteSource& source, uint32_t size, const LzmaSettings& settings);

// Whether data like these samples gains nothing from compression: each is
// compressed on its own and none shrinks by even 1 %.
bool LooksIncompressible(const std::vector<std::vector<uint8_t>>& samples);

struct ArchiveItem {
    std::string name;             // 8-bit name as scripts refer to it
    std::vector<uint8_t> stream;  // LZMA-alone stream, or empty for an empty file
    uint32_t uncompressedSize = 0;
};

// Lays out the archive: the zeroed header area, the streams in the given
// order, the directory in the same order, the trailer. Throws
// std::invalid_argument for an empty name or one longer than
// archive::MaxItemNameLength, std::length_error when the archive would
// reach 4 GiB.
std::vector<uint8_t> BuildArchive(const std::vector<ArchiveItem>& items);

// The stored file checksum of `size` bytes: never 0.
uint32_t FileChecksum(const uint8_t* data, size_t size);

}  // namespace pack
