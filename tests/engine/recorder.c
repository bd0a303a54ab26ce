/* Records how it was started: its command line, its own path and its
   parent's process id, one per line, into the file named by the
   environment variable ZELTO_RECORD. */
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>

static DWORD ParentId(void)
{
    DWORD self = GetCurrentProcessId(), parent = 0;
    PROCESSENTRY32W entry;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    entry.dwSize = sizeof entry;
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self)
            parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    return parent;
}

int main(void)
{
    wchar_t record[MAX_PATH], self[MAX_PATH];
    FILE* out;
    if (!GetEnvironmentVariableW(L"ZELTO_RECORD", record, MAX_PATH))
        return 1;
    GetModuleFileNameW(NULL, self, MAX_PATH);
    out = _wfopen(record, L"w, ccs=UTF-8");
    if (!out)
        return 1;
    fwprintf(out, L"%ls\n%ls\n%lu\n", GetCommandLineW(), self, (unsigned long)ParentId());
    fclose(out);
    return 0;
}
