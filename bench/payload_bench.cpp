// Extraction speed of the payload reader against the speed of its LZMA
// decoder alone, on the items of one packed setup executable.
//
//     bench_payload SETUP.EXE
//
// Every item is extracted through PayloadArchive::ExtractItem (raw copy,
// byte sum, decoding, writing the file), then decoded again straight from
// the archive bytes in memory by the same decoder. Both rates count
// uncompressed bytes per second.
#include "payload/lzmadecode.h"
#include "payload/payloadarchive.h"

#include "core/xfile.h"
#include "core/xstring.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

class Stopwatch {
public:
    Stopwatch() { QueryPerformanceCounter(&start_); }
    double Seconds() const
    {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER start_;
};

uint32_t LoadU32(const uint8_t* p)
{
    uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

struct Stream {
    XString name;
    const uint8_t* bytes;
    uint32_t size;
    uint32_t uncompressedSize;
};

// The archive's directory read straight from the resource bytes; the
// archive has passed the reader's checks by then.
std::vector<Stream> StreamsOf(const uint8_t* archive, uint32_t size)
{
    std::vector<Stream> streams;
    const uint8_t* trailer = archive + size - 24;
    const uint8_t* at = archive + LoadU32(trailer + 8);
    for (uint32_t i = LoadU32(trailer + 12); i > 0; --i) {
        Stream stream {XString(reinterpret_cast<const char*>(at + 17)), archive + LoadU32(at), LoadU32(at + 4),
            LoadU32(at + 8)};
        streams.push_back(stream);
        at += 17 + at[16];
    }
    return streams;
}

double Megabytes(uint64_t bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Decodes every stream straight from the archive bytes; the output memory
// is either touched before the clock starts or allocated inside the timed
// part, as extraction must. Returns the seconds, or -1 when a stream fails.
double DecodeAll(const std::vector<Stream>& streams, bool freshOutput, std::vector<double>& times)
{
    double seconds = 0;
    for (const Stream& stream : streams) {
        times.push_back(0);
        if (stream.size == 0)
            continue;
        std::vector<uint8_t> ready(freshOutput ? 0 : stream.uncompressedSize + 1);
        size_t produced = 0;
        Stopwatch watch;
        std::unique_ptr<uint8_t[]> fresh(freshOutput ? new uint8_t[stream.uncompressedSize + 1] : nullptr);
        uint8_t* output = freshOutput ? fresh.get() : ready.data();
        LzmaResult result =
            DecodeLzma(stream.bytes, stream.bytes + 13, stream.size - 13, output, stream.uncompressedSize, produced);
        times.back() = watch.Seconds();
        seconds += times.back();
        if (result != LzmaResult::Decoded || produced != stream.uncompressedSize) {
            std::fprintf(stderr, "bench_payload: %ls did not decode\n", stream.name.Text());
            return -1;
        }
    }
    return seconds;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_payload SETUP.EXE\n");
        return 2;
    }
    HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC found = module ? FindResourceW(module, MAKEINTRESOURCEW(archive::PayloadResourceId), RT_RCDATA) : nullptr;
    if (!found) {
        std::fprintf(stderr, "bench_payload: no payload in %ls\n", argv[1]);
        return 1;
    }
    const auto* archiveBytes = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    const uint32_t archiveSize = SizeofResource(module, found);

    Stopwatch opening;
    PayloadArchive archive(module);
    const double openSeconds = opening.Seconds();
    if (archive.ItemCount() == 0) {
        std::fprintf(stderr, "bench_payload: the payload did not open\n");
        return 1;
    }
    const std::vector<Stream> streams = StreamsOf(archiveBytes, archiveSize);

    WCHAR tempFolder[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, tempFolder);
    XString destination(tempFolder);
    destination += L"zelto-bench-item.bin";

    uint64_t total = 0;
    double extractSeconds = 0;
    std::vector<double> extractTimes;
    for (const Stream& stream : streams) {
        Stopwatch watch;
        bool extracted = archive.ExtractItem(stream.name, destination);
        extractTimes.push_back(watch.Seconds());
        extractSeconds += extractTimes.back();
        if (!extracted || FileSizeOf(destination) != stream.uncompressedSize) {
            std::fprintf(stderr, "bench_payload: %ls did not extract\n", stream.name.Text());
            return 1;
        }
        RemoveFile(destination);
        total += stream.uncompressedSize;
    }

    std::vector<double> decodeTimes;
    const double decodeSeconds = DecodeAll(streams, false, decodeTimes);
    std::vector<double> freshTimes;
    const double freshSeconds = DecodeAll(streams, true, freshTimes);
    if (decodeSeconds < 0 || freshSeconds < 0)
        return 1;

    const double extractRate = Megabytes(total) / extractSeconds;
    const double decodeRate = Megabytes(total) / decodeSeconds;
    std::printf("items               %u (%.1f MB unpacked, %.1f MB packed)\n", static_cast<unsigned>(streams.size()),
        Megabytes(total), Megabytes(archiveSize));
    std::printf("open and verify     %.2f s\n", openSeconds);
    std::printf("ExtractItem         %.2f s  %.2f MB/s\n", extractSeconds, extractRate);
    const double freshRate = Megabytes(total) / freshSeconds;
    std::printf("decoder in memory   %.2f s  %.2f MB/s  (output memory ready)\n", decodeSeconds, decodeRate);
    std::printf("decoder in memory   %.2f s  %.2f MB/s  (fresh output memory, as extraction has it)\n", freshSeconds,
        freshRate);
    std::printf("extraction / decode %.2f (output ready), %.2f (fresh output)\n", extractRate / decodeRate,
        extractRate / freshRate);
    // Where the difference goes: per-item costs weigh on small items.
    const uint32_t LargeItem = 1 << 20;
    for (bool large : {true, false}) {
        uint64_t bytes = 0;
        double extractPart = 0;
        double decodePart = 0;
        int count = 0;
        for (size_t i = 0; i < streams.size(); ++i) {
            if ((streams[i].uncompressedSize >= LargeItem) != large)
                continue;
            ++count;
            bytes += streams[i].uncompressedSize;
            extractPart += extractTimes[i];
            decodePart += decodeTimes[i];
        }
        std::printf("  %s items: %d, %.1f MB, ExtractItem %.2f s, decoder %.2f s\n", large ? "large (>= 1 MB)" : "small",
            count, Megabytes(bytes), extractPart, decodePart);
    }
    FreeLibrary(module);
    return 0;
}
