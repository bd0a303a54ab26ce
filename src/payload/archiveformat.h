// The payload archive's format, shared by the installer that reads it and
// the packer that writes it: the one place its numbers and sums are
// defined. Plain C++ without Windows headers, so the packer builds on any
// system.
//
//   offset 0              HeaderAreaSize zero bytes (counted by the file checksum)
//   offset 128            the item streams, one after another
//   directory offset      the directory: one entry per item
//   file size - 24        the trailer
//
// All integers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace archive {

// The executable carries the archive as this RT_RCDATA resource.
constexpr uint16_t PayloadResourceId = 24356;

constexpr uint32_t HeaderAreaSize = 128;

// Trailer: file checksum, trailer sum, directory offset, entry count and
// the two magic numbers, one u32 each.
constexpr uint32_t TrailerSize = 24;
constexpr uint32_t TrailerChecksumAt = 0;
constexpr uint32_t TrailerSumAt = 4;
constexpr uint32_t TrailerDirectoryAt = 8;
constexpr uint32_t TrailerCountAt = 12;
constexpr uint32_t TrailerFirstMagicAt = 16;
constexpr uint32_t TrailerSecondMagicAt = 20;
// The trailer sum covers the bytes from here to the trailer's end.
constexpr uint32_t TrailerSummedFrom = TrailerDirectoryAt;
constexpr uint32_t FirstMagic = 0x03345283;
constexpr uint32_t SecondMagic = 0x0EFFF343;

// Directory entry: stream offset, stored size, unpacked size, stream byte
// sum (u32 each), the name's length byte (terminator included) and the
// zero-terminated 8-bit name.
constexpr uint32_t EntryFixedSize = 17;
constexpr uint32_t EntryNameField = 260;
constexpr uint32_t MaxItemNameLength = 254;

// Item streams are LZMA-alone: properties byte, dictionary size (u32),
// unpacked size (u64, below 4 GiB and never 0xFFFFFFFF), then the coded
// data.
constexpr uint32_t StreamPropertiesSize = 5;
constexpr uint32_t StreamHeaderSize = StreamPropertiesSize + 8;
constexpr uint8_t StreamProperties = 0x5D; // lc 3, lp 0, pb 2
constexpr uint32_t StreamDictionarySize = 8u << 20;
constexpr uint32_t UnknownSize = 0xFFFFFFFF;

// The installer holds an item's stream and its unpacked bytes in memory at
// once, in a 32-bit process whose image (the whole archive) is mapped too.
// With the 2 GB a 32-bit process has on 32-bit Windows, an incompressible
// item of 480 MiB still unpacked under Wine and one of 496 MiB did not; with
// the 4 GB of a large-address-aware process on 64-bit Windows, 992 MiB did.
// The limit keeps a margin below what 32-bit Windows allows; the packer
// refuses larger items.
constexpr uint32_t MaxItemSize = 448u << 20;

// The checksum reads the archive in blocks of this size.
constexpr uint32_t ChecksumBlockSize = 65536;

inline uint32_t LoadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16
        | static_cast<uint32_t>(p[3]) << 24;
}

// One block's share of the file checksum: its whole little-endian words,
// then the bytes left over. Every block but the last is a multiple of four
// bytes long, so the shares of the blocks add up to the sum over the whole.
inline uint32_t ChecksumOfBlock(const uint8_t* block, size_t size)
{
    uint32_t sum = 0;
    size_t whole = size - size % 4;
    for (size_t i = 0; i < whole; i += 4)
        sum += LoadU32(block + i);
    for (size_t i = whole; i < size; ++i)
        sum += block[i];
    return sum;
}

// The stored file checksum is never 0.
inline uint32_t FinalChecksum(uint32_t sum)
{
    return sum == 0 ? 1 : sum;
}

// A stream's byte sum, as its directory entry keeps it.
inline uint32_t StreamSum(const uint8_t* bytes, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i)
        sum += bytes[i];
    return sum;
}

// The trailer sum: its bytes from TrailerSummedFrom on, each as a signed
// byte.
inline uint32_t TrailerSum(const uint8_t* trailer)
{
    int32_t sum = 0;
    for (uint32_t i = TrailerSummedFrom; i < TrailerSize; ++i)
        sum += static_cast<int8_t>(trailer[i]);
    return static_cast<uint32_t>(sum);
}

} // namespace archive
