// The core tests, and two helper roles answering PathExists in a process
// that has never run a second thread, through the exit code (0 false,
// 1 true):
//   --path-exists PATH             for PATH
//   --path-exists-of-unused-drive  for a drive letter that neither
//                                  GetLogicalDrives nor the mount manager
//                                  knows (2 when every letter is used)
#include "core/xfile.h"
#include "testmain.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

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
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args && count == 3 && std::wcscmp(args[1], L"--path-exists") == 0)
        return PathExists(XString(args[2])) ? 1 : 0;
    if (args && count == 2 && std::wcscmp(args[1], L"--path-exists-of-unused-drive") == 0)
        return PathExistsOfAnUnusedDrive();
    LocalFree(args);
    return RunTests(argc, argv);
}
