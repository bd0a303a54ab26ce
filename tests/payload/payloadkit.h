// Payload archives for the tests: built with the packer's writer, damaged
// on purpose, and carried as resource 24356 by a copy of a small stub
// program, or by a copy of the installer runtime itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct TestItem {
    std::string name;
    std::string content;
    // An empty file may be stored as an empty stream or as a coded one.
    bool codeEmpty = false;
};

Bytes MakeArchive(const std::vector<TestItem>& items);

// Where things sit in an archive whose layout is intact.
uint32_t U32At(const Bytes& bytes, size_t at);
void PutU32(Bytes& bytes, size_t at, uint32_t value);
size_t TrailerAt(const Bytes& bytes);
size_t DirectoryAt(const Bytes& bytes);

struct EntryView {
    size_t at; // position of the entry in the archive
    uint32_t offset;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint32_t entrySum;
    std::string name;
};
std::vector<EntryView> Entries(const Bytes& bytes);
EntryView EntryNamed(const Bytes& bytes, const std::string& name);

// Makes the trailer sum and the file checksum fit the bytes again, so the
// reader gets past them to whatever was damaged.
void ResealTrailer(Bytes& bytes);
// The same for one entry's stream sum; the entry is looked up afresh.
void ResealEntry(Bytes& bytes, size_t entryAt);

std::wstring TempFolder();
// Whatever is in the temporary folder apart from the tests' scratch
// folders: the archive copies, raw copies and install folders that must
// not outlive the code that made them.
std::vector<std::wstring> TempLeftovers();

// Writes the archive into an executable as its payload resource.
void EmbedPayload(const std::wstring& exe, const Bytes& archive);

// A copy of the stub program carrying an archive (or none), loaded as a
// resource module the way the reader sees its own executable.
class PayloadModule {
public:
    PayloadModule(const std::wstring& path, const Bytes* archive);
    ~PayloadModule();
    PayloadModule(const PayloadModule&) = delete;
    PayloadModule& operator=(const PayloadModule&) = delete;

    HMODULE Handle() const { return module_; }

private:
    std::wstring path_;
    HMODULE module_ = nullptr;
};
