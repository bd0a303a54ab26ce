/* holdfile FILE EVENT: holds FILE open as a running program holds its own
   files, which others may read but neither write nor delete; sets the
   named event EVENT once it holds it, and holds it until it is ended. */
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    HANDLE file, held;
    if (argc != 3)
        return 2;
    file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    held = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (held)
        SetEvent(held);
    Sleep(INFINITE);
    return 0;
}
