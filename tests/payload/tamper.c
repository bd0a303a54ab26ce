/* Plays a program of the user's that tries to change the installer's copy
   of its payload: tamper FILE writes over the file, deletes it and renames
   it. The exit code has a bit for each that succeeded (1 write, 2 delete,
   4 rename); 8 means the file could not even be read. */
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    int succeeded = 0;
    HANDLE file;
    DWORD written = 0;
    wchar_t renamed[MAX_PATH + 8];
    if (argc != 2)
        return 255;
    file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        succeeded |= 8;
    else
        CloseHandle(file);
    file = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        if (WriteFile(file, "evil", 4, &written, NULL) && written == 4)
            succeeded |= 1;
        CloseHandle(file);
    }
    if (DeleteFileW(argv[1]))
        succeeded |= 2;
    lstrcpyW(renamed, argv[1]);
    lstrcatW(renamed, L".old");
    if (MoveFileW(argv[1], renamed))
        succeeded |= 4;
    return succeeded;
}
