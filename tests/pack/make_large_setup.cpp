// make_large_setup STUB OUTPUT: a setup whose "setup.bmp" item is as large
// as the installer unpacks (archive::MaxItemSize bytes) and whose stored
// stream is as long as incompressible data of that size would make it. The
// stream is the coded form of zero bytes followed by zero padding: the
// decoder stops once the output is full, so the installer needs exactly the
// memory a random item of that size needs, and the file is made in seconds.
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "pack/archive_writer.h"
#include "pack/pe_resources.h"

namespace {

// LZMA grows random data by about 1.45 %; a little more is allowed for.
constexpr uint32_t kRandomGrowthDivisor = 64;

std::vector<uint8_t> LargeItemStream(uint32_t size) {
    size_t produced = 0;
    pack::ByteSource zeros = [&](uint8_t* buffer, size_t capacity) {
        const size_t count = std::min<size_t>(capacity, size - produced);
        std::memset(buffer, 0, count);
        produced += count;
        return count;
    };
    std::vector<uint8_t> stream = pack::CompressLzmaAlone(zeros, size, pack::SettingsForLevel(pack::kFastestLevel));
    stream.resize(archive::StreamHeaderSize + size + size / kRandomGrowthDivisor, 0);
    return stream;
}

pack::ArchiveItem SmallItem(const std::string& name, const std::string& text) {
    pack::ArchiveItem item;
    item.name = name;
    item.stream = pack::CompressLzmaAlone(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    item.uncompressedSize = static_cast<uint32_t>(text.size());
    return item;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_large_setup STUB OUTPUT\n";
        return 2;
    }
    std::ifstream stubFile(argv[1], std::ios::binary);
    const std::vector<uint8_t> stub((std::istreambuf_iterator<char>(stubFile)), std::istreambuf_iterator<char>());
    if (!stubFile || stub.empty()) {
        std::cerr << "make_large_setup: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::vector<pack::ArchiveItem> items;
    items.push_back(SmallItem("setup.dat", "[Project Name]\r\nLarge Item\r\n"));
    pack::ArchiveItem large;
    large.name = "setup.bmp";
    large.uncompressedSize = archive::MaxItemSize;
    large.stream = LargeItemStream(archive::MaxItemSize);
    items.push_back(std::move(large));

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    pack::WriteStubWithResource(stub, archive::PayloadResourceId, pack::BuildArchive(items), out);
    out.close();
    if (!out) {
        std::cerr << "make_large_setup: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
