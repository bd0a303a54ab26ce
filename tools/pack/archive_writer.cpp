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

std::vector<uint8_t> CompressLzmaAlone(const ByteSource& source, uint32_t size) {
    std::vector<uint8_t> stream;
    stream.reserve(kLzmaHeaderSize + size / 2 + 64);
    stream.push_back(kLzmaProperties);
    PutU32(stream, kLzmaDictionarySize);
    PutU64(stream, size);

    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = 5;
    props.dictSize = kLzmaDictionarySize;
    // A dictionary larger than the data gains nothing; the header still
    // announces 8 MiB, which any decoder handles.
    props.reduceSize = size;
    props.lc = 3;
    props.lp = 0;
    props.pb = 2;
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

std::vector<uint8_t> CompressLzmaAlone(const uint8_t* data, size_t size) {
    if (size >= std::numeric_limits<uint32_t>::max())
        throw std::length_error("an item must be smaller than 4 GiB");
    size_t position = 0;
    ByteSource fromMemory = [&](uint8_t* buffer, size_t capacity) {
        const size_t count = std::min(capacity, size - position);
        if (count) std::memcpy(buffer, data + position, count);
        position += count;
        return count;
    };
    return CompressLzmaAlone(fromMemory, static_cast<uint32_t>(size));
}

uint32_t FileChecksum(const uint8_t* data, size_t size) {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 4 <= size; i += 4)
        sum += static_cast<uint32_t>(data[i]) | static_cast<uint32_t>(data[i + 1]) << 8 |
               static_cast<uint32_t>(data[i + 2]) << 16 | static_cast<uint32_t>(data[i + 3]) << 24;
    for (; i < size; ++i) sum += data[i];
    return sum == 0 ? 1 : sum;
}

uint32_t StreamSum(const uint8_t* data, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i) sum += data[i];
    return sum;
}

std::vector<uint8_t> BuildArchive(const std::vector<ArchiveItem>& items) {
    uint64_t total = kArchiveHeaderSize + kArchiveTrailerSize;
    for (const ArchiveItem& item : items) {
        if (item.name.empty()) throw std::invalid_argument("an item has an empty name");
        if (item.name.size() > kMaxItemNameLength)
            throw std::invalid_argument("item name longer than 254 characters: " + item.name);
        total += item.stream.size() + kEntryFixedSize + item.name.size() + 1;
    }
    if (total > std::numeric_limits<uint32_t>::max())
        throw std::length_error("the archive would reach 4 GiB");

    std::vector<uint8_t> archive(kArchiveHeaderSize, 0);
    archive.reserve(static_cast<size_t>(total));
    std::vector<uint32_t> offsets;
    for (const ArchiveItem& item : items) {
        offsets.push_back(static_cast<uint32_t>(archive.size()));
        archive.insert(archive.end(), item.stream.begin(), item.stream.end());
    }

    const auto directoryOffset = static_cast<uint32_t>(archive.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const ArchiveItem& item = items[i];
        PutU32(archive, offsets[i]);
        PutU32(archive, static_cast<uint32_t>(item.stream.size()));
        PutU32(archive, item.uncompressedSize);
        PutU32(archive, StreamSum(item.stream.data(), item.stream.size()));
        archive.push_back(static_cast<uint8_t>(item.name.size() + 1));
        archive.insert(archive.end(), item.name.begin(), item.name.end());
        archive.push_back(0);
    }

    std::vector<uint8_t> tail;
    PutU32(tail, directoryOffset);
    PutU32(tail, static_cast<uint32_t>(items.size()));
    PutU32(tail, kArchiveMagic1);
    PutU32(tail, kArchiveMagic2);
    uint32_t trailerSum = 0;
    for (uint8_t byte : tail) trailerSum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(byte)));

    PutU32(archive, FileChecksum(archive.data(), archive.size()));
    PutU32(archive, trailerSum);
    archive.insert(archive.end(), tail.begin(), tail.end());
    return archive;
}

}  // namespace pack
