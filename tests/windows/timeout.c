/* "timeout /t N": Wine's cmd lacks it, and the self-update's patcher waits with it for the old
 * launcher to exit before moving files over it. Waits N seconds; other switches are ignored. */
#include <windows.h>

#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; i++)
        if (!_stricmp(argv[i], "/t"))
            Sleep((DWORD)atol(argv[i + 1]) * 1000);
    return 0;
}
