/* Stand-in for the Solvanter desktop application, used by the launcher's tests.
 * Behaviour is driven by standin.conf beside the executable and STANDIN_<KEY>
 * environment variables, so one binary can play every scenario a test needs. */
#define _POSIX_C_SOURCE 200809L

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

enum { EXIT_NO_DISPLAY = 3, EXIT_X_LOST = 4, EXIT_BAD_CONFIG = 2 };

static const char *const known_keys[] = {
    "title", "args_file", "exit_code", "message", "error_message",
    "no_window", "window_delay_ms", "lifetime_ms", "ready_file",
};
#define KEY_COUNT (sizeof known_keys / sizeof known_keys[0])

static char *file_values[KEY_COUNT];
static char exe_dir[PATH_MAX];
static volatile sig_atomic_t stop_requested;

static void on_signal(int sig)
{
    (void)sig;
    stop_requested = 1;
}

static char *trim(char *s)
{
    while (isspace((unsigned char)*s))
        s++;
    char *end = s + strlen(s);
    while (end > s && isspace((unsigned char)end[-1]))
        *--end = '\0';
    return s;
}

static int key_index(const char *key)
{
    for (size_t i = 0; i < KEY_COUNT; i++)
        if (strcmp(known_keys[i], key) == 0)
            return (int)i;
    return -1;
}

static void find_exe_dir(const char *argv0)
{
    ssize_t n = readlink("/proc/self/exe", exe_dir, sizeof exe_dir - 1);
    if (n <= 0) {
        /* No procfs: fall back to argv[0], good enough for tests. */
        snprintf(exe_dir, sizeof exe_dir, "%s", argv0 ? argv0 : ".");
        n = (ssize_t)strlen(exe_dir);
    }
    exe_dir[n] = '\0';
    char *slash = strrchr(exe_dir, '/');
    if (slash == exe_dir)
        exe_dir[1] = '\0';
    else if (slash)
        *slash = '\0';
    else
        snprintf(exe_dir, sizeof exe_dir, ".");
}

static void load_config_file(void)
{
    char path[PATH_MAX + 32];
    snprintf(path, sizeof path, "%s/standin.conf", exe_dir);
    FILE *f = fopen(path, "r");
    if (!f)
        return;
    char line[4096];
    while (fgets(line, sizeof line, f)) {
        char *s = trim(line);
        if (*s == '\0' || *s == '#')
            continue;
        char *eq = strchr(s, '=');
        if (!eq)
            continue;
        *eq = '\0';
        char *key = trim(s);
        for (char *p = key; *p; p++)
            *p = (char)tolower((unsigned char)*p);
        int idx = key_index(key);
        if (idx < 0)
            continue;
        free(file_values[idx]);
        file_values[idx] = strdup(trim(eq + 1));
    }
    fclose(f);
}

/* Environment wins over the file so a test can tweak one run without rewriting it. */
static const char *get(const char *key)
{
    char env_name[64] = "STANDIN_";
    size_t len = strlen(env_name);
    for (const char *p = key; *p && len < sizeof env_name - 1; p++)
        env_name[len++] = (char)toupper((unsigned char)*p);
    env_name[len] = '\0';
    const char *env = getenv(env_name);
    if (env)
        return env;
    int idx = key_index(key);
    return idx >= 0 ? file_values[idx] : NULL;
}

static const char *get_or(const char *key, const char *fallback)
{
    const char *v = get(key);
    return v ? v : fallback;
}

/* Returns 1 and stores the value if the key holds an integer, 0 if unset/empty. */
static int get_long(const char *key, long *out)
{
    const char *v = get(key);
    if (!v || !*v)
        return 0;
    char *end;
    errno = 0;
    long n = strtol(v, &end, 10);
    while (isspace((unsigned char)*end))
        end++;
    if (errno || *end) {
        fprintf(stderr, "standin: %s is not an integer: '%s'\n", key, v);
        exit(EXIT_BAD_CONFIG);
    }
    *out = n;
    return 1;
}

/* Relative paths are taken from the executable's folder, since the launcher's cwd is not ours to assume. */
static void resolve_path(const char *value, char *out, size_t size)
{
    if (value[0] == '/')
        snprintf(out, size, "%s", value);
    else
        snprintf(out, size, "%s/%s", exe_dir, value);
}

/* Write via a temp file and rename so pollers never see a half-written file. */
static int write_file_atomically(const char *path, int argc, char **lines, const char *single)
{
    char tmp[PATH_MAX + 64];
    snprintf(tmp, sizeof tmp, "%s.tmp.%ld", path, (long)getpid());
    FILE *f = fopen(tmp, "w");
    if (!f) {
        fprintf(stderr, "standin: cannot write %s: %s\n", tmp, strerror(errno));
        return -1;
    }
    if (single)
        fprintf(f, "%s\n", single);
    for (int i = 0; i < argc; i++)
        fprintf(f, "%s\n", lines[i]);
    int failed = ferror(f);
    if (fclose(f) != 0 || failed || rename(tmp, path) != 0) {
        fprintf(stderr, "standin: cannot write %s: %s\n", path, strerror(errno));
        unlink(tmp);
        return -1;
    }
    return 0;
}

static long long now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static long long start_ms;
static long lifetime_ms;

static int lifetime_over(void)
{
    return lifetime_ms > 0 && now_ms() - start_ms >= lifetime_ms;
}

/* Short waits keep signals and the lifetime responsive without busy looping. */
static void wait_fd(int fd, int max_ms)
{
    fd_set set;
    FD_ZERO(&set);
    if (fd >= 0)
        FD_SET(fd, &set);
    struct timeval tv = { 0, (max_ms > 50 ? 50 : max_ms) * 1000 };
    select(fd >= 0 ? fd + 1 : 0, fd >= 0 ? &set : NULL, NULL, NULL, &tv);
}

static int x_io_error(Display *dpy)
{
    (void)dpy;
    fprintf(stderr, "standin: lost the X display\n");
    _exit(EXIT_X_LOST);
    return 0;
}

static Window create_window(Display *dpy, const char *title, Atom wm_delete)
{
    int screen = DefaultScreen(dpy);
    Window win = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 100, 100, 320, 200, 0,
                                     WhitePixel(dpy, screen), 0x1B1C1E);
    XSelectInput(dpy, win, StructureNotifyMask | ExposureMask);

    XStoreName(dpy, win, title);
    Atom net_wm_name = XInternAtom(dpy, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    XChangeProperty(dpy, win, net_wm_name, utf8, 8, PropModeReplace,
                    (const unsigned char *)title, (int)strlen(title));

    XClassHint class_hint = { (char *)"solvanter", (char *)"Solvanter" };
    XSetClassHint(dpy, win, &class_hint);

    unsigned long pid = (unsigned long)getpid();
    XChangeProperty(dpy, win, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, (const unsigned char *)&pid, 1);

    Atom protocols[1] = { wm_delete };
    XSetWMProtocols(dpy, win, protocols, 1);

    XMapWindow(dpy, win);
    XFlush(dpy);
    return win;
}

int main(int argc, char **argv)
{
    start_ms = now_ms();
    find_exe_dir(argc > 0 ? argv[0] : NULL);
    load_config_file();

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);

    char path[PATH_MAX + 64];
    resolve_path(get_or("args_file", "args.txt"), path, sizeof path);
    write_file_atomically(path, argc, argv, NULL);

    long exit_code;
    if (get_long("exit_code", &exit_code)) {
        const char *message = get_or("message", "");
        const char *error_message = get_or("error_message", "");
        if (*message)
            printf("%s\n", message);
        if (*error_message)
            fprintf(stderr, "%s\n", error_message);
        fflush(stdout);
        return (int)exit_code;
    }

    long no_window = 0, window_delay_ms = 0;
    get_long("no_window", &no_window);
    get_long("window_delay_ms", &window_delay_ms);
    get_long("lifetime_ms", &lifetime_ms);

    if (no_window) {
        while (!stop_requested && !lifetime_over())
            wait_fd(-1, 50);
        return 0;
    }

    Display *dpy = XOpenDisplay(NULL);
    if (!dpy) {
        const char *name = getenv("DISPLAY");
        fprintf(stderr, "standin: cannot open X display '%s'\n", name ? name : "");
        return EXIT_NO_DISPLAY;
    }
    XSetIOErrorHandler(x_io_error);
    int xfd = ConnectionNumber(dpy);
    Atom wm_delete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    const char *title = get_or("title", "Solvanter");
    const char *ready = get("ready_file");

    Window win = None;
    int ready_written = 0;
    int closed = 0;
    while (!stop_requested && !closed && !lifetime_over()) {
        if (win == None && now_ms() - start_ms >= window_delay_ms)
            win = create_window(dpy, title, wm_delete);

        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == MapNotify && ev.xmap.window == win && !ready_written) {
                ready_written = 1;
                if (ready && *ready) {
                    char id[32];
                    snprintf(id, sizeof id, "0x%lx", (unsigned long)win);
                    resolve_path(ready, path, sizeof path);
                    write_file_atomically(path, 0, NULL, id);
                }
            } else if (ev.type == Expose && ev.xexpose.count == 0) {
                GC gc = DefaultGC(dpy, DefaultScreen(dpy));
                XSetForeground(dpy, gc, 0x00D397);
                XDrawString(dpy, win, gc, 20, 30, title, (int)strlen(title));
            } else if (ev.type == ClientMessage && (Atom)ev.xclient.data.l[0] == wm_delete) {
                closed = 1;
            } else if (ev.type == DestroyNotify && ev.xdestroywindow.window == win) {
                closed = 1;
                win = None;
            }
        }
        wait_fd(xfd, 50);
    }

    if (win != None)
        XDestroyWindow(dpy, win);
    XCloseDisplay(dpy);
    return 0;
}
