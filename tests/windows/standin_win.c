/* Win32 stand-in for the Solvanter application, for the launcher's tests under Wine.
 * standin.conf beside the exe holds key=value lines: title (of its window, default "Solvanter"),
 * exit_code and message (print the message, exit at once with the code), no_window=1 (run
 * without a window), lifetime_ms (then close). It first writes its arguments to args.txt beside
 * itself, one per line, before any window exists. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char dir[MAX_PATH], title[256] = "Solvanter", message[256];
static long exit_code = -1, no_window, lifetime_ms;

static void read_conf(void)
{
    char path[MAX_PATH + 16], line[512];
    snprintf(path, sizeof path, "%s\\standin.conf", dir);
    FILE *f = fopen(path, "r");
    while (f && fgets(line, sizeof line, f)) {
        line[strcspn(line, "\r\n")] = '\0';
        char *value = strchr(line, '=');
        if (!value)
            continue;
        *value++ = '\0';
        if (!strcmp(line, "title")) snprintf(title, sizeof title, "%s", value);
        else if (!strcmp(line, "message")) snprintf(message, sizeof message, "%s", value);
        else if (!strcmp(line, "exit_code")) exit_code = atol(value);
        else if (!strcmp(line, "no_window")) no_window = atol(value);
        else if (!strcmp(line, "lifetime_ms")) lifetime_ms = atol(value);
    }
    if (f)
        fclose(f);
}

/* Written under another name and then moved, so a reader never sees half of it. */
static void write_args(int argc, char **argv)
{
    char path[MAX_PATH + 16], tmp[MAX_PATH + 16];
    snprintf(path, sizeof path, "%s\\args.txt", dir);
    snprintf(tmp, sizeof tmp, "%s\\args.tmp", dir);
    FILE *f = fopen(tmp, "w");
    for (int i = 0; f && i < argc; i++)
        fprintf(f, "%s\n", argv[i]);
    if (f && fclose(f) == 0)
        MoveFileExA(tmp, path, MOVEFILE_REPLACE_EXISTING);
}

static LRESULT CALLBACK window_proc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DESTROY || (msg == WM_TIMER && wp == 1)) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, msg, wp, lp);
}

int main(int argc, char **argv)
{
    GetModuleFileNameA(NULL, dir, sizeof dir);
    *strrchr(dir, '\\') = '\0';
    read_conf();
    write_args(argc, argv);

    if (exit_code >= 0) {
        printf("%s\n", message);
        return (int)exit_code;
    }
    if (no_window) {
        Sleep(lifetime_ms > 0 ? (DWORD)lifetime_ms : INFINITE);
        return 0;
    }

    WNDCLASSA cls = { 0 };
    cls.lpfnWndProc = window_proc;
    cls.hInstance = GetModuleHandleA(NULL);
    cls.lpszClassName = "SolvanterStandin";
    RegisterClassA(&cls);
    HWND window = CreateWindowA(cls.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 320,
                                200, NULL, NULL, cls.hInstance, NULL);
    if (lifetime_ms > 0)
        SetTimer(window, 1, (UINT)lifetime_ms, NULL);

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
