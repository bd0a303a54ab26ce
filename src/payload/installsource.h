// The install source: the run's temporary folder with the setup files
// unpacked from the payload, and the payload archive itself.
#pragma once

#include "core/xstring.h"
#include "payload/payloadarchive.h"

#include <cstdint>
#include <memory>

class InstallSource {
public:
    InstallSource() = default;
    ~InstallSource() { Release(); }
    InstallSource(const InstallSource&) = delete;
    InstallSource& operator=(const InstallSource&) = delete;

    // Unpacks the setup files of the running executable's payload;
    // `failedOut` tells whether "setup.dat" could not be unpacked.
    void Prepare(bool& failedOut);
    // The same for the payload resource of another loaded module.
    void Prepare(bool& failedOut, HMODULE payloadModule);
    // Deletes the archive copy and the temporary folder with all it holds.
    void Release();

    // Inline: the path macros read it from the script library, below this one.
    XString TempFolderPath() const
    {
        XString path(tempFolder ? *tempFolder : XString());
        path.EnsureTrailingBackslash();
        return path;
    }

    std::unique_ptr<PayloadArchive> archive;
    uint8_t hasTerms = 0;
    std::unique_ptr<XString> tempFolder;

private:
    XString SetupFilePath(const WCHAR* name) const;
};
