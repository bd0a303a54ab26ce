// The payload archive the installer carries as resource RT_RCDATA 24356:
// LZMA-compressed items behind a directory and a checksummed trailer.
#pragma once

#include "core/containers.h"
#include "core/xfile.h"
#include "core/xstring.h"
#include "payload/archiveformat.h"

#include <cstdint>

inline constexpr WCHAR CorruptedInstallMessage[] = L"This installation is corrupted, please obtain a new copy.";

// One directory entry as the archive stores it, with room for the longest
// name the format allows.
struct ArchiveEntry {
    uint32_t offset;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint32_t entrySum;
    uint8_t nameLength;
    char name[archive::EntryNameField];
};

class PayloadArchive {
public:
    // Reads the payload of the running executable.
    PayloadArchive();
    // Reads the payload resource of another loaded module.
    explicit PayloadArchive(HMODULE module);
    ~PayloadArchive();
    PayloadArchive(const PayloadArchive&) = delete;
    PayloadArchive& operator=(const PayloadArchive&) = delete;

    int ItemCount() const;
    XString ItemName(int index) const;
    bool FindItem(const WCHAR* name, ArchiveEntry* entryOut = nullptr) const;
    bool ExtractItem(const WCHAR* name, const XString& destination);

private:
    bool CopyResource(HMODULE module);
    void Load(bool copied);
    bool ChecksumMatches(uint32_t stored, uint64_t coveredSize);
    void ReadDirectory(uint32_t count);
    bool ExtractEntry(const ArchiveEntry& entry, const XString& destination);
    const ArchiveEntry& EntryAt(int index) const;
    bool NameMatches(const ArchiveEntry& entry, const WCHAR* name) const;

    XPtrArray entries_;
    XFile archive_;
    XString copyPath_;
    // Holds the copy from its writing to the end of the run, letting others
    // read it but never change or delete it: the installer may run with
    // administrator rights on a file in the user's temporary folder.
    XFile writer_;
};

// Decodes one LZMA-alone file into a destination file; shows its own
// message box and returns false when that fails.
bool DecompressFile(const XString& source, const XString& destination);
