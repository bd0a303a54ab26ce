#include "payloadkit.h"

#include "pack/archive_writer.h"
#include "process.h"
#include "text.h"

#include <stdexcept>

namespace {

const WCHAR StubName[] = L"payload_carrier.exe";
const WCHAR ScratchPrefix[] = L"zelto-test-";

} // namespace

Bytes MakeArchive(const std::vector<TestItem>& items)
{
    std::vector<pack::ArchiveItem> packed;
    for (const TestItem& item : items) {
        pack::ArchiveItem archived;
        archived.name = item.name;
        archived.uncompressedSize = static_cast<uint32_t>(item.content.size());
        if (!item.content.empty() || item.codeEmpty) {
            archived.stream = pack::CompressLzmaAlone(reinterpret_cast<const uint8_t*>(item.content.data()),
                item.content.size());
        }
        packed.push_back(std::move(archived));
    }
    return pack::BuildArchive(packed);
}

uint32_t U32At(const Bytes& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes.at(at)) | static_cast<uint32_t>(bytes.at(at + 1)) << 8
        | static_cast<uint32_t>(bytes.at(at + 2)) << 16 | static_cast<uint32_t>(bytes.at(at + 3)) << 24;
}

void PutU32(Bytes& bytes, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

size_t TrailerAt(const Bytes& bytes)
{
    return bytes.size() - archive::TrailerSize;
}

size_t DirectoryAt(const Bytes& bytes)
{
    return U32At(bytes, TrailerAt(bytes) + 8);
}

std::vector<EntryView> Entries(const Bytes& bytes)
{
    std::vector<EntryView> entries;
    size_t at = DirectoryAt(bytes);
    uint32_t count = U32At(bytes, TrailerAt(bytes) + 12);
    for (uint32_t i = 0; i < count; ++i) {
        EntryView entry {at, U32At(bytes, at), U32At(bytes, at + 4), U32At(bytes, at + 8), U32At(bytes, at + 12), ""};
        size_t nameLength = bytes.at(at + 16);
        entry.name.assign(reinterpret_cast<const char*>(&bytes.at(at + 17)), nameLength - 1);
        entries.push_back(entry);
        at += archive::EntryFixedSize + nameLength;
    }
    return entries;
}

EntryView EntryNamed(const Bytes& bytes, const std::string& name)
{
    for (const EntryView& entry : Entries(bytes)) {
        if (entry.name == name)
            return entry;
    }
    throw std::logic_error("no entry named " + name);
}

void ResealTrailer(Bytes& bytes)
{
    size_t trailer = TrailerAt(bytes);
    PutU32(bytes, trailer + archive::TrailerSumAt, archive::TrailerSum(bytes.data() + trailer));
    PutU32(bytes, trailer, pack::FileChecksum(bytes.data(), trailer));
}

void ResealEntry(Bytes& bytes, size_t entryAt)
{
    uint32_t offset = U32At(bytes, entryAt);
    uint32_t size = U32At(bytes, entryAt + 4);
    if (static_cast<uint64_t>(offset) + size <= bytes.size())
        PutU32(bytes, entryAt + 12, archive::StreamSum(bytes.data() + offset, size));
}

std::wstring TempFolder()
{
    WCHAR path[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, path);
    return std::wstring(path, n);
}

std::vector<std::wstring> TempLeftovers()
{
    std::vector<std::wstring> left;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((TempFolder() + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return left;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L".." || name.rfind(ScratchPrefix, 0) == 0)
            continue;
        left.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return left;
}

void EmbedPayload(const std::wstring& exe, const Bytes& archive)
{
    HANDLE update = BeginUpdateResourceW(exe.c_str(), FALSE);
    if (!update)
        throw std::runtime_error("cannot update the resources of " + Narrow(exe));
    BOOL added = UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(24356), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
        const_cast<uint8_t*>(archive.data()), static_cast<DWORD>(archive.size()));
    if (!EndUpdateResourceW(update, !added) || !added)
        throw std::runtime_error("cannot embed the payload in " + Narrow(exe));
}

PayloadModule::PayloadModule(const std::wstring& path, const Bytes* archive)
    : path_(path)
{
    if (!CopyFileW((ProgramFolder() + StubName).c_str(), path.c_str(), FALSE))
        throw std::runtime_error("cannot copy the stub program to " + Narrow(path));
    // An empty resource cannot be written; to the reader it is the same as none.
    if (archive && !archive->empty())
        EmbedPayload(path, *archive);
    module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module_)
        throw std::runtime_error("cannot load " + Narrow(path));
}

PayloadModule::~PayloadModule()
{
    FreeLibrary(module_);
    DeleteFileW(path_.c_str());
}
