/* Stand-in for the Solvanter application in the launcher's tests. It writes its command line to
 * args.txt beside itself, then behaves as standin.conf there says ("key=value" lines), each key
 * overridable by the environment variable STANDIN_<KEY>:
 *   exit_code=N [message=text]   print the message and exit with N at once, no display needed
 *   no_window=1                  open no window
 *   title=text                   the window's title (default "Solvanter")
 *   window_delay_ms=N            open the window this late
 *   ready_file=path              write the window's id here once it is mapped
 *   lifetime_ms=N                exit with 0 after this long (default: until SIGTERM or SIGINT)
 * Relative paths are taken from the executable's folder. */
#define _DEFAULT_SOURCE

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <ctype.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <unistd.h>

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
        rename(tmp, path);
}

static void leave(int sig) { (void)sig; _exit(0); }

int main(int argc, char **argv)
{
    ssize_t n = readlink("/proc/self/exe", dir, sizeof dir - 1);
    dir[n > 0 ? n : 0] = '\0';
    if (strrchr(dir, '/'))
        *strrchr(dir, '/') = '\0';
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

    signal(SIGTERM, leave);
    signal(SIGINT, leave);
    signal(SIGALRM, leave);
    struct itimerval lifetime = { { 0, 0 }, { get_long("lifetime_ms") / 1000, get_long("lifetime_ms") % 1000 * 1000 } };
    setitimer(ITIMER_REAL, &lifetime, NULL);
    if (get_long("no_window"))
        for (;;)
            pause();
    usleep((useconds_t)get_long("window_delay_ms") * 1000);

    Display *dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "standin: no X display\n");
        return 3;
    }
    const char *title = get("title") ? get("title") : "Solvanter";
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
    if (get("ready_file")) {
        char id[32], *line = id;
        snprintf(id, sizeof id, "0x%lx", (unsigned long)win);
        write_file(get("ready_file"), 1, &line);
    }
    /* Xlib's handler ends the process when the display goes away. */
    for (;;)
        XNextEvent(dpy, &event);
}
