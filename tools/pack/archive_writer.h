// Writing payload archives: LZMA-alone item streams, the directory and the
// trailer that the runtime's archive reader verifies. Portable C++17; used by
// the packer and by tests that need archives of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pack {

// Every item stream is written with lc 3, lp 0, pb 2 and an 8 MiB dictionary.
constexpr uint8_t kLzmaProperties = 0x5D;
constexpr uint32_t kLzmaDictionarySize = 8u << 20;
constexpr size_t kLzmaHeaderSize = 13;

constexpr size_t kArchiveHeaderSize = 128;
constexpr size_t kArchiveTrailerSize = 24;
constexpr size_t kEntryFixedSize = 17;
constexpr uint32_t kArchiveMagic1 = 0x03345283;
constexpr uint32_t kArchiveMagic2 = 0x0EFFF343;
// The reader keeps names in a 260-byte field; the length byte counts the
// terminating zero.
constexpr size_t kMaxItemNameLength = 254;

// Compresses `size` bytes into one LZMA-alone stream (13-byte header with
// the size, then the coded data without end mark).
std::vector<uint8_t> CompressLzmaAlone(const uint8_t* data, size_t size);

// Fills `buffer` with up to `capacity` bytes and returns how many; 0 at the
// end. May throw; the exception reaches the caller of CompressLzmaAlone.
using ByteSource = std::function<size_t(uint8_t* buffer, size_t capacity)>;

// The same for data that does not fit in memory at once (a file being read).
// Throws std::runtime_error when the source yields more or fewer than
// `size` bytes.
std::vector<uint8_t> CompressLzmaAlone(const ByteSource& source, uint32_t size);

struct ArchiveItem {
    std::string name;             // 8-bit name as scripts refer to it
    std::vector<uint8_t> stream;  // LZMA-alone stream, or empty for an empty file
    uint32_t uncompressedSize = 0;
};

// Lays out the archive: 128 zero bytes, the streams in the given order, the
// directory in the same order, the trailer. Throws std::invalid_argument for
// an empty name or one longer than kMaxItemNameLength, std::length_error
// when the archive would reach 4 GiB.
std::vector<uint8_t> BuildArchive(const std::vector<ArchiveItem>& items);

// Sum of the little-endian 32-bit words plus the final (size mod 4) bytes,
// modulo 2^32; never 0 (0 becomes 1).
uint32_t FileChecksum(const uint8_t* data, size_t size);

// Byte sum of a stored stream, as kept in its directory entry.
uint32_t StreamSum(const uint8_t* data, size_t size);

}  // namespace pack
