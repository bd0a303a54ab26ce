/* A small console program used as the runtime in packer tests: it finds
   the payload resource as the runtime does and checks the archive's own
   checksum, so a test under Wine can tell that Windows reads the packed
   executable whole. */
#include <stdio.h>
#include <windows.h>

int main(void)
{
    HRSRC found = FindResourceW(NULL, MAKEINTRESOURCEW(24356), MAKEINTRESOURCEW(10));
    if (!found) {
        puts("no payload");
        return 1;
    }
    const unsigned char* data = LockResource(LoadResource(NULL, found));
    DWORD size = SizeofResource(NULL, found);
    if (!data || size < 24) {
        puts("payload unreadable");
        return 1;
    }
    DWORD covered = size - 24, sum = 0, i = 0;
    for (; i + 4 <= covered; i += 4)
        sum += data[i] | data[i + 1] << 8 | data[i + 2] << 16 | (DWORD)data[i + 3] << 24;
    for (; i < covered; ++i)
        sum += data[i];
    if (sum == 0)
        sum = 1;
    DWORD stored = data[covered] | data[covered + 1] << 8 | data[covered + 2] << 16 | (DWORD)data[covered + 3] << 24;
    printf("payload %lu bytes, checksum %s\n", (unsigned long)size, sum == stored ? "ok" : "wrong");
    return sum == stored ? 0 : 1;
}
