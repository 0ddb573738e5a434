/* "hold_open PATH": opens a file or folder without sharing it, as a running program may hold one,
 * says "held" on standard output and keeps it open until killed. Windows then refuses to delete
 * the file, or to rename the folder. */
#include <windows.h>

#include <stdio.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    /* Folders open only with backup semantics; files do not mind it. */
    HANDLE handle = CreateFileA(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return 1;
    printf("held\n");
    fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
