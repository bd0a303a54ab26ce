// The core tests, and one helper role: "--path-exists-of-unused-drive"
// answers PathExists for a drive letter that neither GetLogicalDrives nor
// the mount manager knows, in a process that has never run a second
// thread: exit code 0 for false, 1 for true, 2 when every letter is used.
#include "core/xfile.h"
#include "testmain.h"

#include <windows.h>

#include <cstring>

namespace {

int PathExistsOfAnUnusedDrive()
{
    DWORD drives = GetLogicalDrives();
    for (int letter = 25; letter >= 3; --letter) {
        const WCHAR drive[] = {static_cast<WCHAR>(L'A' + letter), L':', 0};
        const WCHAR root[] = {drive[0], L':', L'\\', 0};
        if (!(drives & (1u << letter)) && GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR)
            return PathExists(XString(drive)) ? 1 : 0;
    }
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--path-exists-of-unused-drive") == 0)
        return PathExistsOfAnUnusedDrive();
    return RunTests(argc, argv);
}
