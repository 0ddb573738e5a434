/* Stand-in for the Solvanter application in the launcher's tests: an X11 program on Linux, a
 * Win32 one (cross-built by tests/windows/wine_tests.sh) for the tests under Wine. It writes its
 * command line to args.txt beside itself, then behaves as standin.conf there says ("key=value"
 * lines), each key overridable by the environment variable STANDIN_<KEY>:
 *   exit_code=N [message=text]   print the message and exit with N at once, no display needed
 *   no_window=1                  open no window
 *   title=text                   the window's title (default "Solvanter")
 *   window_delay_ms=N            open the window this late
 *   ready_file=path              write the window's id here once it is mapped
 *   lifetime_ms=N                exit with 0 after this long (default: until SIGTERM or SIGINT,
 *                                or on Windows until the window is closed)
 * Relative paths are taken from the executable's folder. */
#define _DEFAULT_SOURCE

#ifdef _WIN32
#include <windows.h>
#define SEPARATOR '\\'
/* Unlike rename(), replaces a file already there. */
#define move_over(from, to) MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)
#define sleep_ms(ms) Sleep((DWORD)(ms))
#else
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>
#define SEPARATOR '/'
#define move_over(from, to) rename(from, to)
#define sleep_ms(ms) usleep((useconds_t)(ms) * 1000)
#endif

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char dir[4096], conf[8192];

static const char *get(const char *key)
{
    char name[64] = "STANDIN_";
    for (size_t i = 0; key[i] && i < 50; i++)
        name[8 + i] = (char)toupper((unsigned char)key[i]);
    if (getenv(name))
        return getenv(name);
    static char value[4096];
    size_t len = strlen(key);
    for (const char *line = conf; *line; line += strcspn(line, "\n") + (line[strcspn(line, "\n")] != 0))
        if (strncmp(line, key, len) == 0 && line[len] == '=') {
            snprintf(value, sizeof value, "%.*s", (int)strcspn(line + len + 1, "\r\n"), line + len + 1);
            return value;
        }
    return NULL;
}

static long get_long(const char *key) { return get(key) ? atol(get(key)) : 0; }

/* Through a temporary file, so that a poller never reads half of it. */
static void write_file(const char *name, int count, char **lines)
{
    char path[8192], tmp[8300];
    snprintf(path, sizeof path, name[0] == '/' ? "%.0s%s" : "%s/%s", dir, name);
    snprintf(tmp, sizeof tmp, "%s.tmp", path);
    FILE *f = fopen(tmp, "w");
    for (int i = 0; f && i < count; i++)
        fprintf(f, "%s\n", lines[i]);
    if (f && fclose(f) == 0)
        move_over(tmp, path);
}

static void window_ready(unsigned long id)
{
    char text[32], *line = text;
    snprintf(text, sizeof text, "0x%lx", id);
    if (get("ready_file"))
        write_file(get("ready_file"), 1, &line);
}

#ifdef _WIN32
static DWORD WINAPI expire(LPVOID ms)
{
    Sleep((DWORD)(INT_PTR)ms);
    ExitProcess(0);
}

static void end_after(long ms)
{
    if (ms > 0)
        CreateThread(NULL, 0, expire, (LPVOID)(INT_PTR)ms, 0, NULL);
}

static LRESULT CALLBACK window_proc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DESTROY)
        PostQuitMessage(0);
    return msg == WM_DESTROY ? 0 : DefWindowProcA(window, msg, wp, lp);
}

/* Until the window is closed. */
static int run_window(const char *title)
{
    WNDCLASSA cls = { .lpfnWndProc = window_proc, .hInstance = GetModuleHandleA(NULL), .lpszClassName = "Standin" };
    RegisterClassA(&cls);
    HWND window = CreateWindowA(cls.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 320, 200,
                                NULL, NULL, cls.hInstance, NULL);
    window_ready((unsigned long)(UINT_PTR)window);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
#else
static void leave(int sig) { (void)sig; _exit(0); }

/* Or on SIGTERM or SIGINT; never when ms is 0. */
static void end_after(long ms)
{
    signal(SIGTERM, leave);
    signal(SIGINT, leave);
    signal(SIGALRM, leave);
    struct itimerval lifetime = { { 0, 0 }, { ms / 1000, ms % 1000 * 1000 } };
    setitimer(ITIMER_REAL, &lifetime, NULL);
}

/* Until the process is ended: Xlib's handler ends it when the display goes away. */
static int run_window(const char *title)
{
    Display *dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "standin: no X display\n");
        return 3;
    }
    Window win = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 100, 100, 320, 200, 0, 0, 0x1B1C1E);
    XStoreName(dpy, win, title);
    XChangeProperty(dpy, win, XInternAtom(dpy, "_NET_WM_NAME", False), XInternAtom(dpy, "UTF8_STRING", False), 8,
                    PropModeReplace, (const unsigned char *)title, (int)strlen(title));
    XSelectInput(dpy, win, StructureNotifyMask);
    XMapWindow(dpy, win);
    XEvent event;
    do
        XNextEvent(dpy, &event);
    while (event.type != MapNotify);
    window_ready((unsigned long)win);
    for (;;)
        XNextEvent(dpy, &event);
}
#endif

int main(int argc, char **argv)
{
#ifdef _WIN32
    GetModuleFileNameA(NULL, dir, sizeof dir);
#else
    ssize_t n = readlink("/proc/self/exe", dir, sizeof dir - 1);
    dir[n > 0 ? n : 0] = '\0';
#endif
    if (strrchr(dir, SEPARATOR))
        *strrchr(dir, SEPARATOR) = '\0';
    else
        strcpy(dir, ".");
    char path[8300];
    snprintf(path, sizeof path, "%s/standin.conf", dir);
    FILE *f = fopen(path, "r");
    if (f) {
        conf[fread(conf, 1, sizeof conf - 1, f)] = '\0';
        fclose(f);
    }
    write_file("args.txt", argc, argv);

    if (get("exit_code")) {
        if (get("message"))
            printf("%s\n", get("message"));
        return (int)get_long("exit_code");
    }
    end_after(get_long("lifetime_ms"));
    while (get_long("no_window"))
        sleep_ms(1000);
    sleep_ms(get_long("window_delay_ms"));
    return run_window(get("title") ? get("title") : "Solvanter");
}
