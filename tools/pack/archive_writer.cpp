#include "pack/archive_writer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <stdexcept>

#include "LzmaEnc.h"

namespace pack {

namespace {

void* AllocForLzma(void*, size_t size) { return std::malloc(size); }
void FreeForLzma(void*, void* address) { std::free(address); }
ISzAlloc g_lzmaAlloc = {AllocForLzma, FreeForLzma};

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutU64(std::vector<uint8_t>& out, uint64_t value) {
    PutU32(out, static_cast<uint32_t>(value));
    PutU32(out, static_cast<uint32_t>(value >> 32));
}

// The encoder is C code: exceptions must not cross it, so the reader parks
// them here and reports a read error instead.
struct SourceReader {
    ISeqInStream vtable;  // first member: the encoder passes this struct's address back
    const ByteSource* source;
    uint64_t expected;
    uint64_t delivered;
    std::exception_ptr failure;
};

SRes ReadFromSource(void* self, void* buffer, size_t* size) {
    auto* reader = static_cast<SourceReader*>(self);
    try {
        // Asking for one byte beyond the expected end reveals a source that grew.
        const uint64_t room = reader->expected - std::min(reader->delivered, reader->expected) + 1;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(*size, room));
        const size_t got = (*reader->source)(static_cast<uint8_t*>(buffer), wanted);
        reader->delivered += got;
        *size = reader->delivered > reader->expected ? 0 : got;
        return reader->delivered > reader->expected ? SZ_ERROR_READ : SZ_OK;
    } catch (...) {
        reader->failure = std::current_exception();
        *size = 0;
        return SZ_ERROR_READ;
    }
}

struct VectorWriter {
    ISeqOutStream vtable;  // first member, as above
    std::vector<uint8_t>* out;
};

size_t WriteToVector(void* self, const void* data, size_t size) {
    auto* writer = static_cast<VectorWriter*>(self);
    try {
        const auto* bytes = static_cast<const uint8_t*>(data);
        writer->out->insert(writer->out->end(), bytes, bytes + size);
        return size;
    } catch (...) {
        return 0;  // the encoder turns a short write into SZ_ERROR_WRITE
    }
}

class LzmaEncoder {
public:
    LzmaEncoder() : handle_(LzmaEnc_Create(&g_lzmaAlloc)) {
        if (!handle_) throw std::bad_alloc();
    }
    ~LzmaEncoder() { LzmaEnc_Destroy(handle_, &g_lzmaAlloc, &g_lzmaAlloc); }
    LzmaEncoder(const LzmaEncoder&) = delete;
    LzmaEncoder& operator=(const LzmaEncoder&) = delete;

    CLzmaEncHandle get() const { return handle_; }

private:
    CLzmaEncHandle handle_;
};

[[noreturn]] void ThrowEncoderError(SRes result) {
    if (result == SZ_ERROR_MEM || result == SZ_ERROR_WRITE) throw std::bad_alloc();
    throw std::runtime_error("LZMA encoder failed with code " + std::to_string(result));
}

}  // namespace

LzmaSettings SettingsForLevel(int level) {
    level = std::clamp(level, kFastestLevel, kStrongestLevel);
    LzmaSettings settings;
    settings.level = level;
    // The encoder's own dictionary for the level, within the archive's.
    const uint32_t levelDictionary = level <= 5 ? 1u << (level * 2 + 14) : 1u << 25;
    settings.dictionarySize = std::min(levelDictionary, archive::StreamDictionarySize);
    settings.fastBytes = level == kStrongestLevel ? 273 : level < 7 ? 32 : 64;
    settings.binaryTree = level >= 5;
    return settings;
}

LzmaSettings SettingsForIncompressible() {
    // Measured on 20 MB of random bytes: 2.2 s instead of 11.3 s at level 9,
    // four bytes longer.
    return LzmaSettings{kStrongestLevel, 64u << 10, 5, true};
}

std::vector<uint8_t> CompressLzmaAlone(const ByteSource& source, uint32_t size, const LzmaSettings& settings) {
    std::vector<uint8_t> stream;
    stream.reserve(archive::StreamHeaderSize + size / 2 + 64);
    stream.push_back(archive::StreamProperties);
    PutU32(stream, archive::StreamDictionarySize);
    PutU64(stream, size);

    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = settings.level;
    props.dictSize = std::min(settings.dictionarySize, archive::StreamDictionarySize);
    // A dictionary larger than the data gains nothing.
    props.reduceSize = size;
    props.lc = 3;
    props.lp = 0;
    props.pb = 2;
    props.algo = settings.level < 5 ? 0 : 1;
    props.fb = static_cast<int>(settings.fastBytes);
    props.btMode = settings.binaryTree ? 1 : 0;
    props.numHashBytes = 4;
    props.numThreads = 1;

    LzmaEncoder encoder;
    SRes result = LzmaEnc_SetProps(encoder.get(), &props);
    if (result != SZ_OK) ThrowEncoderError(result);

    SourceReader reader{{ReadFromSource}, &source, size, 0, nullptr};
    VectorWriter writer{{WriteToVector}, &stream};
    result = LzmaEnc_Encode(encoder.get(), &writer.vtable, &reader.vtable, nullptr,
                            &g_lzmaAlloc, &g_lzmaAlloc);
    if (reader.failure) std::rethrow_exception(reader.failure);
    if (reader.delivered != size)
        throw std::runtime_error(reader.delivered > size ? "the data grew while it was compressed"
                                                         : "the data shrank while it was compressed");
    if (result != SZ_OK) ThrowEncoderError(result);
    return stream;
}

std::vector<uint8_t> CompressLzmaAlone(const uint8_t* data, size_t size, const LzmaSettings& settings) {
    if (size >= std::numeric_limits<uint32_t>::max())
        throw std::length_error("an item must be smaller than 4 GiB");
    size_t position = 0;
    ByteSource fromMemory = [&](uint8_t* buffer, size_t capacity) {
        const size_t count = std::min(capacity, size - position);
        if (count) std::memcpy(buffer, data + position, count);
        position += count;
        return count;
    };
    return CompressLzmaAlone(fromMemory, static_cast<uint32_t>(size), settings);
}

bool LooksIncompressible(const std::vector<std::vector<uint8_t>>& samples) {
    if (samples.empty()) return false;
    for (const std::vector<uint8_t>& sample : samples) {
        if (sample.empty()) return false;
        const size_t coded =
            CompressLzmaAlone(sample.data(), sample.size(), SettingsForIncompressible()).size() - archive::StreamHeaderSize;
        if (coded * 100 < sample.size() * 99) return false;
    }
    return true;
}

uint32_t FileChecksum(const uint8_t* data, size_t size) {
    uint32_t sum = 0;
    for (size_t at = 0; at < size; at += archive::ChecksumBlockSize)
        sum += archive::ChecksumOfBlock(data + at, std::min<size_t>(archive::ChecksumBlockSize, size - at));
    return archive::FinalChecksum(sum);
}

std::vector<uint8_t> BuildArchive(const std::vector<ArchiveItem>& items) {
    uint64_t total = archive::HeaderAreaSize + archive::TrailerSize;
    for (const ArchiveItem& item : items) {
        if (item.name.empty()) throw std::invalid_argument("an item has an empty name");
        if (item.name.size() > archive::MaxItemNameLength)
            throw std::invalid_argument("item name longer than 254 characters: " + item.name);
        total += item.stream.size() + archive::EntryFixedSize + item.name.size() + 1;
    }
    if (total > std::numeric_limits<uint32_t>::max())
        throw std::length_error("the archive would reach 4 GiB");

    std::vector<uint8_t> bytes(archive::HeaderAreaSize, 0);
    bytes.reserve(static_cast<size_t>(total));
    std::vector<uint32_t> offsets;
    for (const ArchiveItem& item : items) {
        offsets.push_back(static_cast<uint32_t>(bytes.size()));
        bytes.insert(bytes.end(), item.stream.begin(), item.stream.end());
    }

    const auto directoryOffset = static_cast<uint32_t>(bytes.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const ArchiveItem& item = items[i];
        PutU32(bytes, offsets[i]);
        PutU32(bytes, static_cast<uint32_t>(item.stream.size()));
        PutU32(bytes, item.uncompressedSize);
        PutU32(bytes, archive::StreamSum(item.stream.data(), item.stream.size()));
        bytes.push_back(static_cast<uint8_t>(item.name.size() + 1));
        bytes.insert(bytes.end(), item.name.begin(), item.name.end());
        bytes.push_back(0);
    }

    std::vector<uint8_t> trailer;
    PutU32(trailer, FileChecksum(bytes.data(), bytes.size()));
    PutU32(trailer, 0);  // the trailer sum, once the fields it covers are in place
    PutU32(trailer, directoryOffset);
    PutU32(trailer, static_cast<uint32_t>(items.size()));
    PutU32(trailer, archive::FirstMagic);
    PutU32(trailer, archive::SecondMagic);
    const uint32_t trailerSum = archive::TrailerSum(trailer.data());
    for (int i = 0; i < 4; ++i) trailer[archive::TrailerSumAt + i] = static_cast<uint8_t>(trailerSum >> (8 * i));
    bytes.insert(bytes.end(), trailer.begin(), trailer.end());
    return bytes;
}

}  // namespace pack
