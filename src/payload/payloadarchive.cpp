#include "payload/payloadarchive.h"

#include "core/tempnames.h"
#include "payload/lzmadecode.h"
#include "script/installsettings.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

const WCHAR UnreadableFormat[] = L"Error whilst uncompressing '%s', unable to read '%s'";
const WCHAR UnwritableFormat[] = L"Error whilst uncompressing '%s', unable to write '%s'";

using namespace archive;

// A malloc'd block: running short of memory here is an ordinary failure the
// caller reports, not an exception.
class HeapBytes {
public:
    explicit HeapBytes(uint64_t size)
        : data_(size <= SIZE_MAX ? static_cast<uint8_t*>(std::malloc(size ? static_cast<size_t>(size) : 1))
                                 : nullptr)
    {
    }
    ~HeapBytes() { std::free(data_); }
    HeapBytes(const HeapBytes&) = delete;
    HeapBytes& operator=(const HeapBytes&) = delete;

    uint8_t* Data() const { return data_; }
    bool Allocated() const { return data_ != nullptr; }

private:
    uint8_t* data_;
};

struct Trailer {
    uint32_t checksum;
    uint32_t trailerSum;
    uint32_t directoryOffset;
    uint32_t entryCount;
    uint32_t firstMagic;
    uint32_t secondMagic;
};

Trailer ParseTrailer(const uint8_t* raw)
{
    return Trailer {LoadU32(raw), LoadU32(raw + 4), LoadU32(raw + 8), LoadU32(raw + 12), LoadU32(raw + 16),
        LoadU32(raw + 20)};
}

// The trailer guards its own last 16 bytes with a sum of signed bytes.
bool TrailerIsSound(const uint8_t* raw)
{
    Trailer trailer = ParseTrailer(raw);
    return trailer.firstMagic == FirstMagic && trailer.secondMagic == SecondMagic
        && trailer.trailerSum == TrailerSum(raw);
}

void ShowCorrupted()
{
    MessageBoxW(nullptr, CorruptedInstallMessage, MessageCaption(), MB_OK | MB_ICONERROR);
}

void ShowUncompressError(const WCHAR* format, const XString& destination, const XString& file)
{
    XString message;
    message.Format(format, destination.Text(), file.Text());
    MessageBoxW(nullptr, message, MessageCaption(), MB_OK | MB_ICONERROR | MB_TOPMOST);
}

uint64_t FilePosition(HANDLE file)
{
    LARGE_INTEGER zero {};
    LARGE_INTEGER position {};
    SetFilePointerEx(file, zero, &position, FILE_CURRENT);
    return static_cast<uint64_t>(position.QuadPart);
}

enum class Outcome { Done, ReadError, WriteError };

// The LZMA-alone header: properties, dictionary size and a 64-bit size
// that must be known and below 4 GiB.
bool ParseStreamHeader(const uint8_t* stream, uint64_t size, uint32_t& uncompressedSize)
{
    if (size < StreamHeaderSize)
        return false;
    uncompressedSize = LoadU32(stream + StreamPropertiesSize);
    return LoadU32(stream + StreamPropertiesSize + 4) == 0 && uncompressedSize != UnknownSize;
}

// Decodes a whole stream held in memory into the destination file.
Outcome DecodeStream(const uint8_t* stream, uint64_t size, const XString& destination)
{
    uint32_t uncompressedSize = 0;
    if (!ParseStreamHeader(stream, size, uncompressedSize) || stream[0] >= LzmaPropertiesLimit)
        return Outcome::ReadError;
    HeapBytes output(uncompressedSize);
    if (!output.Allocated())
        return Outcome::WriteError;
    size_t produced = 0;
    switch (DecodeLzma(stream, stream + StreamHeaderSize, static_cast<size_t>(size - StreamHeaderSize), output.Data(),
        uncompressedSize, produced)) {
    case LzmaResult::Decoded:
        break;
    case LzmaResult::BadData:
        return Outcome::ReadError;
    case LzmaResult::OutOfMemory:
        return Outcome::WriteError;
    }

    XFile out(destination);
    out.Open(GENERIC_WRITE, CREATE_ALWAYS, false);
    if (!out.IsOpen() || !out.Write(output.Data(), static_cast<uint32_t>(produced)))
        return Outcome::WriteError;
    return Outcome::Done;
}

Outcome DecompressStoredFile(const XString& source, uint64_t sourceSize, const XString& destination)
{
    XFile in(source);
    in.Open(GENERIC_READ, OPEN_EXISTING, false);
    if (!in.IsOpen() || sourceSize < StreamHeaderSize)
        return Outcome::ReadError;
    HeapBytes stream(sourceSize);
    if (!stream.Allocated())
        return Outcome::WriteError;
    if (sourceSize > UINT32_MAX || in.Read(stream.Data(), static_cast<uint32_t>(sourceSize)) < sourceSize)
        return Outcome::ReadError;
    return DecodeStream(stream.Data(), sourceSize, destination);
}

// The outcome of decoding `source`, reported as DecompressFile reports it.
bool Report(Outcome outcome, const XString& source, const XString& destination)
{
    switch (outcome) {
    case Outcome::Done:
        return true;
    case Outcome::ReadError:
        ShowUncompressError(UnreadableFormat, destination, source);
        return false;
    case Outcome::WriteError:
        ShowUncompressError(UnwritableFormat, destination, destination);
        return false;
    }
    return false;
}

Outcome CreateEmptyDestination(const XString& destination)
{
    XFile empty(destination);
    empty.Open(GENERIC_WRITE, CREATE_ALWAYS, false);
    return empty.IsOpen() ? Outcome::Done : Outcome::WriteError;
}

} // namespace

PayloadArchive::PayloadArchive()
    : PayloadArchive(GetModuleHandleW(nullptr))
{
}

PayloadArchive::PayloadArchive(HMODULE module)
{
    MakeTempFile(copyPath_, "zto");
    bool copied = CopyResource(module);
    Load(copied);
}

PayloadArchive::~PayloadArchive()
{
    for (int i = 0; i < entries_.Count(); ++i)
        delete static_cast<ArchiveEntry*>(entries_[i]);
    entries_.Clear();
    archive_.Close();
    writer_.Close();
    ReleaseTempFile(copyPath_);
}

// The archive is read from a private copy so that it can be read with
// ordinary file calls for the whole run. False when the copy could not be
// made ours: whatever the file holds then was not written by us.
bool PayloadArchive::CopyResource(HMODULE module)
{
    writer_.SetName(copyPath_);
    writer_.Open(GENERIC_WRITE, CREATE_ALWAYS, false, FILE_SHARE_READ);
    if (!writer_.IsOpen())
        return false;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(archive::PayloadResourceId), RT_RCDATA);
    if (!found)
        return true;
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes)
        writer_.Write(bytes, SizeofResource(module, found));
    return true;
}

void PayloadArchive::Load(bool copied)
{
    if (!archive_.OpenAlways(copyPath_, GENERIC_READ) || !copied)
        return;
    uint64_t size = archive_.Size();
    uint8_t raw[TrailerSize];
    archive_.Seek(static_cast<int64_t>(size) - TrailerSize, false);
    if (archive_.Read(raw, TrailerSize) < TrailerSize || !TrailerIsSound(raw))
        return;
    Trailer trailer = ParseTrailer(raw);
    if (!ChecksumMatches(trailer.checksum, size - TrailerSize) || !archive_.Seek(trailer.directoryOffset, false)) {
        ShowCorrupted();
        return;
    }
    ReadDirectory(trailer.entryCount);
}

bool PayloadArchive::ChecksumMatches(uint32_t stored, uint64_t coveredSize)
{
    XFile file(archive_.Handle(), copyPath_);
    file.Seek(0, false);
    std::unique_ptr<uint8_t[]> block(new uint8_t[ChecksumBlockSize]);
    uint32_t sum = 0;
    for (uint64_t left = coveredSize; left > 0;) {
        uint32_t wanted = left < ChecksumBlockSize ? static_cast<uint32_t>(left) : ChecksumBlockSize;
        uint32_t got = file.Read(block.get(), wanted);
        sum += ChecksumOfBlock(block.get(), got);
        if (got < wanted)
            break;
        left -= got;
    }
    // 0 is kept free so that a zeroed trailer can never pass.
    return FinalChecksum(sum) == stored;
}

void PayloadArchive::ReadDirectory(uint32_t count)
{
    uint64_t size = archive_.Size();
    for (uint32_t i = 0; i < count; ++i) {
        std::unique_ptr<ArchiveEntry> entry(new ArchiveEntry());
        uint8_t fixed[EntryFixedSize];
        bool complete = archive_.Read(fixed, EntryFixedSize) == EntryFixedSize;
        if (complete) {
            entry->offset = LoadU32(fixed);
            entry->compressedSize = LoadU32(fixed + 4);
            entry->uncompressedSize = LoadU32(fixed + 8);
            entry->entrySum = LoadU32(fixed + 12);
            entry->nameLength = fixed[16];
            complete = archive_.Read(entry->name, entry->nameLength) == entry->nameLength;
        }
        if (complete) {
            entries_.Add(entry.release());
            continue;
        }
        // Past the end of the copy every further read comes back empty as
        // well, so none of the remaining entries could be complete.
        if (FilePosition(archive_.Handle()) >= size)
            break;
    }
}

int PayloadArchive::ItemCount() const
{
    return entries_.Count();
}

const ArchiveEntry& PayloadArchive::EntryAt(int index) const
{
    return *static_cast<const ArchiveEntry*>(entries_[index]);
}

XString PayloadArchive::ItemName(int index) const
{
    if (index < 0 || index >= ItemCount())
        return XString();
    return XString(EntryAt(index).name);
}

bool PayloadArchive::NameMatches(const ArchiveEntry& entry, const WCHAR* name) const
{
    return XString(entry.name).Compare(name, true) == 0;
}

bool PayloadArchive::FindItem(const WCHAR* name, ArchiveEntry* entryOut) const
{
    if (entryOut)
        std::memset(entryOut, 0, sizeof *entryOut);
    for (int i = 0; i < ItemCount(); ++i) {
        if (NameMatches(EntryAt(i), name)) {
            if (entryOut)
                *entryOut = EntryAt(i);
            return true;
        }
    }
    return false;
}

bool PayloadArchive::ExtractItem(const WCHAR* name, const XString& destination)
{
    bool extracted = false;
    for (int i = 0; i < ItemCount(); ++i) {
        if (NameMatches(EntryAt(i), name) && ExtractEntry(EntryAt(i), destination))
            extracted = true;
    }
    return extracted;
}

// The stored stream goes through a raw copy checked against its byte sum
// before the decoder sees it. The decoder takes the bytes already in memory
// rather than reading the copy back: the same stream, one pass fewer.
bool PayloadArchive::ExtractEntry(const ArchiveEntry& entry, const XString& destination)
{
    archive_.Seek(entry.offset, false);
    XString rawPath;
    MakeTempFile(rawPath, "Ext");
    bool decoded = false;
    {
        XFile raw(rawPath);
        raw.Open(GENERIC_WRITE, CREATE_ALWAYS, false);
        // A stream reaching past the end of the archive can only come back short.
        bool inside = static_cast<uint64_t>(entry.offset) + entry.compressedSize <= archive_.Size();
        HeapBytes stream(inside ? entry.compressedSize : 0);
        bool copied = raw.IsOpen() && inside && stream.Allocated()
            && archive_.Read(stream.Data(), entry.compressedSize) == entry.compressedSize
            && StreamSum(stream.Data(), entry.compressedSize) == entry.entrySum
            && raw.Write(stream.Data(), entry.compressedSize);
        raw.Close();
        if (copied) {
            Outcome outcome = entry.compressedSize == 0 ? CreateEmptyDestination(destination)
                                                        : DecodeStream(stream.Data(), entry.compressedSize, destination);
            decoded = Report(outcome, rawPath, destination);
        }
    }
    ReleaseTempFile(rawPath);
    return decoded;
}

bool DecompressFile(const XString& source, const XString& destination)
{
    uint64_t sourceSize = FileSizeOf(source);
    Outcome outcome = sourceSize == 0 ? CreateEmptyDestination(destination)
                                      : DecompressStoredFile(source, sourceSize, destination);
    return Report(outcome, source, destination);
}
