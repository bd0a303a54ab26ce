#include "pe_resources.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace pack {

namespace {

constexpr uint32_t kRtRcData = 10;
constexpr size_t kResourceDirectory = 2;
constexpr size_t kSecurityDirectory = 4;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kSubdirectoryFlag = 0x80000000;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kDllImage = 0x2000;
constexpr uint32_t kResourceSectionFlags = 0x40000040;  // initialized data, readable
// Windows stops at three levels (type, name, language); a little more
// depth is tolerated, loops are not.
constexpr int kMaxResourceDepth = 8;

uint32_t AlignUp(uint64_t value, uint32_t alignment) {
    const uint64_t aligned = (value + alignment - 1) / alignment * alignment;
    if (aligned > UINT32_MAX) throw StubError("the image would reach 4 GiB");
    return static_cast<uint32_t>(aligned);
}

bool IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

struct Section {
    size_t headerOffset;
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t rawSize;
    uint32_t rawPointer;

    uint32_t Span() const { return std::max(virtualSize, rawSize); }
};

// The headers of a PE executable, checked as far as this code relies on them.
class PeImage {
public:
    explicit PeImage(const std::vector<uint8_t>& bytes) : bytes_(bytes) {
        if (bytes_.size() < 0x40 || Get16(0) != 0x5A4D) throw StubError("no MZ header");
        const uint32_t peOffset = Get32(0x3C);
        if (Get32(peOffset) != 0x00004550) throw StubError("no PE header");
        coff_ = peOffset + 4;
        const uint16_t characteristics = Get16(coff_ + 18);
        if (!(characteristics & kExecutableImage) || (characteristics & kDllImage))
            throw StubError("not an executable image");
        optional_ = coff_ + 20;
        const uint16_t magic = Get16(optional_);
        if (magic != 0x10B && magic != 0x20B) throw StubError("unknown optional header");
        const bool plus = magic == 0x20B;
        const size_t optionalSize = Get16(coff_ + 16);
        const size_t directoryCountAt = optional_ + (plus ? 108 : 92);
        directories_ = directoryCountAt + 4;
        directoryCount_ = Get32(directoryCountAt);
        if (directoryCount_ > 16 || directories_ + 8 * directoryCount_ > optional_ + optionalSize)
            throw StubError("malformed data directories");
        sectionAlignment_ = Get32(optional_ + 32);
        fileAlignment_ = Get32(optional_ + 36);
        if (!IsPowerOfTwo(sectionAlignment_) || !IsPowerOfTwo(fileAlignment_) ||
            fileAlignment_ > sectionAlignment_)
            throw StubError("malformed section alignment");

        sectionTable_ = optional_ + optionalSize;
        const size_t count = Get16(coff_ + 2);
        for (size_t i = 0; i < count; ++i) {
            const size_t at = sectionTable_ + i * kSectionHeaderSize;
            Section section{at, Get32(at + 8), Get32(at + 12), Get32(at + 16), Get32(at + 20)};
            if (section.rawSize && uint64_t{section.rawPointer} + section.rawSize > bytes_.size())
                throw StubError("section data beyond the end of the file");
            sections_.push_back(section);
        }
        if (sections_.empty()) throw StubError("no sections");
    }

    uint16_t Get16(size_t at) const {
        Need(at, 2);
        return static_cast<uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
    }
    uint32_t Get32(size_t at) const {
        Need(at, 4);
        return static_cast<uint32_t>(bytes_[at]) | static_cast<uint32_t>(bytes_[at + 1]) << 8 |
               static_cast<uint32_t>(bytes_[at + 2]) << 16 | static_cast<uint32_t>(bytes_[at + 3]) << 24;
    }

    // The file bytes of `size` bytes at `rva`, which must lie in one section's raw data.
    const uint8_t* AtRva(uint32_t rva, uint32_t size) const {
        for (const Section& s : sections_) {
            if (rva < s.virtualAddress || rva - s.virtualAddress >= s.Span()) continue;
            const uint64_t inSection = rva - s.virtualAddress;
            if (inSection + size > s.rawSize) break;
            return bytes_.data() + s.rawPointer + inSection;
        }
        throw StubError("resource data outside the file");
    }

    uint32_t DirectoryRva(size_t index) const {
        return index < directoryCount_ ? Get32(directories_ + 8 * index) : 0;
    }
    uint32_t DirectorySize(size_t index) const {
        return index < directoryCount_ ? Get32(directories_ + 8 * index + 4) : 0;
    }
    size_t DirectoryOffset(size_t index) const { return directories_ + 8 * index; }
    size_t DirectoryCount() const { return directoryCount_; }

    size_t Coff() const { return coff_; }
    size_t Optional() const { return optional_; }
    size_t SectionTableEnd() const { return sectionTable_ + sections_.size() * kSectionHeaderSize; }
    const std::vector<Section>& Sections() const { return sections_; }
    uint32_t SectionAlignment() const { return sectionAlignment_; }
    uint32_t FileAlignment() const { return fileAlignment_; }
    uint32_t SizeOfHeaders() const { return Get32(optional_ + 60); }

    // Where data that no section owns begins (symbols, signatures).
    size_t OverlayStart() const {
        size_t end = SizeOfHeaders();
        for (const Section& s : sections_)
            if (s.rawSize) end = std::max<size_t>(end, size_t{s.rawPointer} + s.rawSize);
        return std::min(end, bytes_.size());
    }

    uint64_t ImageEnd() const {
        uint64_t end = 0;
        for (const Section& s : sections_) end = std::max<uint64_t>(end, uint64_t{s.virtualAddress} + s.Span());
        return end;
    }

private:
    void Need(size_t at, size_t size) const {
        if (at > bytes_.size() || bytes_.size() - at < size) throw StubError("truncated headers");
    }

    const std::vector<uint8_t>& bytes_;
    size_t coff_ = 0;
    size_t optional_ = 0;
    size_t directories_ = 0;
    size_t directoryCount_ = 0;
    size_t sectionTable_ = 0;
    uint32_t sectionAlignment_ = 0;
    uint32_t fileAlignment_ = 0;
    std::vector<Section> sections_;
};

struct ResourceNode;

struct ResourceEntry {
    bool named = false;
    uint32_t id = 0;
    std::vector<uint16_t> name;                // UTF-16 units of a named entry
    std::unique_ptr<ResourceNode> directory;   // null for a leaf
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    uint32_t codePage = 0;
    bool isPayload = false;
};

struct ResourceNode {
    uint32_t characteristics = 0;
    uint16_t majorVersion = 0;
    uint16_t minorVersion = 0;
    std::vector<ResourceEntry> entries;
};

class ResourceReader {
public:
    ResourceReader(const PeImage& image, uint32_t rootRva) : image_(image), rootRva_(rootRva) {}

    std::unique_ptr<ResourceNode> ReadDirectory(uint32_t offset, int depth) {
        if (depth > kMaxResourceDepth || !visited_.insert(offset).second)
            throw StubError("malformed resource directory");
        const uint8_t* table = At(offset, 16);
        auto node = std::make_unique<ResourceNode>();
        node->characteristics = U32(table);
        node->majorVersion = U16(table + 8);
        node->minorVersion = U16(table + 10);
        const size_t count = size_t{U16(table + 12)} + U16(table + 14);
        const uint8_t* entries = At(offset + 16, static_cast<uint32_t>(8 * count));
        for (size_t i = 0; i < count; ++i) {
            const uint32_t nameField = U32(entries + 8 * i);
            const uint32_t dataField = U32(entries + 8 * i + 4);
            ResourceEntry entry;
            if (nameField & kSubdirectoryFlag) {
                entry.named = true;
                entry.name = ReadName(nameField & ~kSubdirectoryFlag);
            } else {
                entry.id = nameField;
            }
            if (dataField & kSubdirectoryFlag) {
                entry.directory = ReadDirectory(dataField & ~kSubdirectoryFlag, depth + 1);
            } else {
                const uint8_t* leaf = At(dataField, 16);
                entry.size = U32(leaf + 4);
                entry.codePage = U32(leaf + 8);
                entry.data = image_.AtRva(U32(leaf), entry.size);
            }
            node->entries.push_back(std::move(entry));
        }
        return node;
    }

private:
    const uint8_t* At(uint32_t offset, uint32_t size) const {
        if (uint64_t{rootRva_} + offset > UINT32_MAX) throw StubError("malformed resource directory");
        return image_.AtRva(rootRva_ + offset, size);
    }

    std::vector<uint16_t> ReadName(uint32_t offset) const {
        const uint16_t length = U16(At(offset, 2));
        const uint8_t* text = At(offset + 2, 2u * length);
        std::vector<uint16_t> name(length);
        for (size_t i = 0; i < length; ++i) name[i] = U16(text + 2 * i);
        return name;
    }

    static uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
    static uint32_t U32(const uint8_t* p) {
        return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    }

    const PeImage& image_;
    uint32_t rootRva_;
    std::set<uint32_t> visited_;
};

// The entry with integer id `id` in `node`, added in id order when missing.
ResourceEntry& FindOrAddId(ResourceNode& node, uint32_t id) {
    auto it = node.entries.begin();
    while (it != node.entries.end() && (it->named || it->id < id)) ++it;
    if (it != node.entries.end() && it->id == id) return *it;
    ResourceEntry entry;
    entry.id = id;
    return *node.entries.insert(it, std::move(entry));
}

void AddPayload(ResourceNode& root, uint16_t id, const std::vector<uint8_t>& payload) {
    ResourceEntry& type = FindOrAddId(root, kRtRcData);
    if (!type.directory) {
        if (type.data) throw StubError("malformed resource directory");
        type.directory = std::make_unique<ResourceNode>();
    }
    ResourceEntry& name = FindOrAddId(*type.directory, id);
    if (!name.directory) {
        if (name.data) throw StubError("malformed resource directory");
        name.directory = std::make_unique<ResourceNode>();
    }
    name.directory->entries.clear();
    ResourceEntry language;  // neutral: found whatever the user's language
    language.data = payload.data();
    language.size = static_cast<uint32_t>(payload.size());
    language.isPayload = true;
    name.directory->entries.push_back(std::move(language));
}

// Section contents in the order resource compilers use: directory tables
// breadth first, name strings, data entries, then the data itself, with the
// payload last so that it can be written straight from its own buffer.
class ResourceSectionWriter {
public:
    ResourceSectionWriter(const ResourceNode& root, uint32_t sectionRva) : sectionRva_(sectionRva) {
        std::vector<const ResourceNode*> queue{&root};
        for (size_t i = 0; i < queue.size(); ++i) {
            nodeOffsets_[queue[i]] = size_;
            size_ += 16 + 8 * queue[i]->entries.size();
            for (const ResourceEntry& entry : queue[i]->entries) {
                if (entry.directory) queue.push_back(entry.directory.get());
                else leaves_.push_back(&entry);
            }
        }
        nodes_ = queue;
        for (const ResourceNode* node : nodes_)
            for (const ResourceEntry& entry : node->entries)
                if (entry.named) {
                    nameOffsets_[&entry] = size_;
                    size_ += 2 + 2 * entry.name.size();
                }
        size_ = Align(size_, 4);
        for (const ResourceEntry* leaf : leaves_) {
            leafOffsets_[leaf] = size_;
            size_ += 16;
        }
        for (const ResourceEntry* leaf : leaves_) {
            if (leaf->isPayload) continue;
            size_ = Align(size_, 8);
            dataOffsets_[leaf] = size_;
            size_ += leaf->size;
        }
        size_ = Align(size_, 8);
        for (const ResourceEntry* leaf : leaves_)
            if (leaf->isPayload) {
                dataOffsets_[leaf] = size_;
                payloadSize_ = leaf->size;
            }
    }

    // Everything before the payload's bytes.
    uint64_t HeadSize() const { return size_; }
    uint64_t TotalSize() const { return size_ + payloadSize_; }

    std::vector<uint8_t> Head() const {
        std::vector<uint8_t> head(static_cast<size_t>(size_), 0);
        for (const ResourceNode* node : nodes_) {
            const size_t at = nodeOffsets_.at(node);
            Put32(head, at, node->characteristics);
            Put32(head, at + 4, 0);  // no time stamp: identical input, identical output
            Put16(head, at + 8, node->majorVersion);
            Put16(head, at + 10, node->minorVersion);
            const auto named = std::count_if(node->entries.begin(), node->entries.end(),
                                             [](const ResourceEntry& e) { return e.named; });
            Put16(head, at + 12, static_cast<uint16_t>(named));
            Put16(head, at + 14, static_cast<uint16_t>(node->entries.size() - named));
            size_t entryAt = at + 16;
            for (const ResourceEntry& entry : node->entries) {
                Put32(head, entryAt, entry.named ? kSubdirectoryFlag | Offset(nameOffsets_, &entry) : entry.id);
                Put32(head, entryAt + 4, entry.directory
                                              ? kSubdirectoryFlag | Offset<ResourceNode>(nodeOffsets_, entry.directory.get())
                                              : Offset(leafOffsets_, &entry));
                entryAt += 8;
                if (entry.named) {
                    const size_t nameAt = nameOffsets_.at(&entry);
                    Put16(head, nameAt, static_cast<uint16_t>(entry.name.size()));
                    for (size_t i = 0; i < entry.name.size(); ++i) Put16(head, nameAt + 2 + 2 * i, entry.name[i]);
                }
            }
        }
        for (const ResourceEntry* leaf : leaves_) {
            const size_t at = leafOffsets_.at(leaf);
            Put32(head, at, Rva(dataOffsets_.at(leaf)));
            Put32(head, at + 4, leaf->size);
            Put32(head, at + 8, leaf->codePage);
            if (!leaf->isPayload && leaf->size)
                std::copy(leaf->data, leaf->data + leaf->size, head.begin() + dataOffsets_.at(leaf));
        }
        return head;
    }

private:
    static uint64_t Align(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

    template <typename Key>
    static uint32_t Offset(const std::map<const Key*, uint64_t>& offsets, const Key* key) {
        return static_cast<uint32_t>(offsets.at(key));
    }

    uint32_t Rva(uint64_t offset) const {
        if (sectionRva_ + offset > UINT32_MAX) throw StubError("the image would reach 4 GiB");
        return static_cast<uint32_t>(sectionRva_ + offset);
    }

    uint64_t sectionRva_;
    uint64_t size_ = 0;
    uint64_t payloadSize_ = 0;
    std::vector<const ResourceNode*> nodes_;
    std::vector<const ResourceEntry*> leaves_;
    std::map<const ResourceNode*, uint64_t> nodeOffsets_;
    std::map<const ResourceEntry*, uint64_t> nameOffsets_;
    std::map<const ResourceEntry*, uint64_t> leafOffsets_;
    std::map<const ResourceEntry*, uint64_t> dataOffsets_;
};

// The optional header's checksum: 16-bit words added with end-around
// carry, plus the file length; written over pieces of the file in order.
class PeChecksum {
public:
    void Add(const uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i) {
            sum_ += length_ % 2 ? uint64_t{data[i]} << 8 : data[i];
            ++length_;
        }
    }
    void AddZeros(size_t count) { length_ += count; }
    uint32_t Finish() const {
        uint64_t sum = sum_;
        while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
        return static_cast<uint32_t>(sum + length_);
    }

private:
    uint64_t sum_ = 0;
    uint64_t length_ = 0;
};

// True when the resource section can be rebuilt where it is: it holds the
// resource tree alone and nothing follows it in the image or the file.
bool CanReplaceInPlace(const PeImage& image, const Section* resources) {
    if (!resources || image.DirectoryRva(kResourceDirectory) != resources->virtualAddress) return false;
    for (const Section& s : image.Sections()) {
        if (&s == resources) continue;
        if (s.virtualAddress > resources->virtualAddress) return false;
        if (s.rawSize && s.rawPointer > resources->rawPointer) return false;
    }
    if (resources->rawPointer % image.FileAlignment() || resources->rawPointer < image.SizeOfHeaders()) return false;
    for (size_t i = 0; i < image.DirectoryCount(); ++i) {
        if (i == kResourceDirectory || i == kSecurityDirectory) continue;
        const uint32_t rva = image.DirectoryRva(i);
        if (rva >= resources->virtualAddress && rva - resources->virtualAddress < resources->Span()) return false;
    }
    return true;
}

const Section* SectionHolding(const PeImage& image, uint32_t rva) {
    for (const Section& s : image.Sections())
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.Span()) return &s;
    return nullptr;
}

}  // namespace

void WriteStubWithResource(const std::vector<uint8_t>& stub, uint16_t id, const std::vector<uint8_t>& payload,
                           std::ostream& out) {
    const PeImage image(stub);

    ResourceNode root;
    const uint32_t rootRva = image.DirectoryRva(kResourceDirectory);
    if (image.DirectoryCount() <= kResourceDirectory) throw StubError("no resource directory entry");
    if (rootRva) root = std::move(*ResourceReader(image, rootRva).ReadDirectory(0, 0));
    AddPayload(root, id, payload);

    const Section* oldResources = rootRva ? SectionHolding(image, rootRva) : nullptr;
    const bool inPlace = CanReplaceInPlace(image, oldResources);
    size_t overlayStart = image.OverlayStart();
    size_t overlayEnd = stub.size();

    uint32_t sectionRva;
    size_t sectionFileOffset;
    size_t headerAt;
    uint32_t oldRawSize = 0;
    if (inPlace) {
        sectionRva = oldResources->virtualAddress;
        sectionFileOffset = oldResources->rawPointer;
        headerAt = oldResources->headerOffset;
        oldRawSize = oldResources->rawSize;
    } else {
        headerAt = image.SectionTableEnd();
        const size_t roomEnd = std::min<size_t>(image.SizeOfHeaders(), stub.size());
        bool room = headerAt + kSectionHeaderSize <= roomEnd;
        for (const Section& s : image.Sections())
            if (s.rawSize && s.rawPointer < headerAt + kSectionHeaderSize) room = false;
        if (room)
            room = std::all_of(stub.begin() + headerAt, stub.begin() + headerAt + kSectionHeaderSize,
                               [](uint8_t b) { return b == 0; });
        if (!room) throw StubError("no room for another section header");
        sectionRva = AlignUp(image.ImageEnd(), image.SectionAlignment());
        sectionFileOffset = AlignUp(overlayStart, image.FileAlignment());
    }

    // A signature cannot survive the change; its bytes go when they end the file.
    const uint32_t signatureOffset = image.DirectoryRva(kSecurityDirectory);
    const uint32_t signatureSize = image.DirectorySize(kSecurityDirectory);
    if (signatureOffset && signatureOffset >= overlayStart && uint64_t{signatureOffset} + signatureSize >= stub.size())
        overlayEnd = signatureOffset;

    const ResourceSectionWriter writer(root, sectionRva);
    const std::vector<uint8_t> head = writer.Head();
    if (writer.TotalSize() > UINT32_MAX) throw StubError("the image would reach 4 GiB");
    const auto virtualSize = static_cast<uint32_t>(writer.TotalSize());
    const uint32_t rawSize = AlignUp(virtualSize, image.FileAlignment());

    std::vector<uint8_t> prefix(stub.begin(), stub.begin() + std::min(sectionFileOffset, overlayStart));
    prefix.resize(sectionFileOffset, 0);

    const size_t coff = image.Coff();
    const size_t optional = image.Optional();
    if (!inPlace) {
        Put16(prefix, coff + 2, static_cast<uint16_t>(image.Sections().size() + 1));
        const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
        std::copy(name, name + 8, prefix.begin() + headerAt);
        Put32(prefix, headerAt + 24, 0);
        Put32(prefix, headerAt + 28, 0);
        Put32(prefix, headerAt + 32, 0);
        Put32(prefix, headerAt + 36, kResourceSectionFlags);
    }
    Put32(prefix, headerAt + 8, virtualSize);
    Put32(prefix, headerAt + 12, sectionRva);
    Put32(prefix, headerAt + 16, rawSize);
    Put32(prefix, headerAt + 20, static_cast<uint32_t>(sectionFileOffset));

    const size_t resourceEntry = image.DirectoryOffset(kResourceDirectory);
    Put32(prefix, resourceEntry, sectionRva);
    Put32(prefix, resourceEntry + 4, virtualSize);
    if (signatureOffset || signatureSize) {
        Put32(prefix, image.DirectoryOffset(kSecurityDirectory), 0);
        Put32(prefix, image.DirectoryOffset(kSecurityDirectory) + 4, 0);
    }

    uint64_t imageEnd = uint64_t{sectionRva} + std::max(virtualSize, rawSize);
    for (const Section& s : image.Sections())
        if (!inPlace || &s != oldResources)
            imageEnd = std::max<uint64_t>(imageEnd, uint64_t{s.virtualAddress} + s.Span());
    Put32(prefix, optional + 56, AlignUp(imageEnd, image.SectionAlignment()));
    const uint32_t initializedData = image.Get32(optional + 8);
    Put32(prefix, optional + 8, initializedData - oldRawSize + rawSize);

    const size_t newOverlayStart = sectionFileOffset + rawSize;
    const uint32_t symbols = image.Get32(coff + 8);
    if (symbols && symbols >= overlayStart) {
        const uint64_t moved = uint64_t{symbols} - overlayStart + newOverlayStart;
        if (moved > UINT32_MAX) throw StubError("the image would reach 4 GiB");
        Put32(prefix, coff + 8, static_cast<uint32_t>(moved));
    }

    const size_t checksumAt = optional + 64;
    Put32(prefix, checksumAt, 0);
    const size_t padding = rawSize - virtualSize;
    const uint8_t* overlay = stub.data() + overlayStart;
    const size_t overlaySize = overlayEnd > overlayStart ? overlayEnd - overlayStart : 0;
    PeChecksum checksum;
    checksum.Add(prefix.data(), prefix.size());
    checksum.Add(head.data(), head.size());
    checksum.Add(payload.data(), payload.size());
    checksum.AddZeros(padding);
    checksum.Add(overlay, overlaySize);
    Put32(prefix, checksumAt, checksum.Finish());

    const std::vector<char> zeros(padding, 0);
    out.write(reinterpret_cast<const char*>(prefix.data()), static_cast<std::streamsize>(prefix.size()));
    out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    out.write(reinterpret_cast<const char*>(payload.data()), static_cast<std::streamsize>(payload.size()));
    out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    out.write(reinterpret_cast<const char*>(overlay), static_cast<std::streamsize>(overlaySize));
}

}  // namespace pack
