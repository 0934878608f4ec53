// SPDX-License-Identifier: GPL-3.0-or-later
/* Moving content for the benchmark: fills the screen with a window that
 * shows a large textured image scrolling diagonally, so that most of the
 * picture changes every frame. The image lives in a server-side pixmap and
 * each frame is one XCopyArea, so this client itself costs next to nothing
 * and does not starve the recorder being measured.
 *
 * Usage: zintora_movingcontent [fps]   (DISPLAY names the server)
 * Prints "ready" once the first frame is shown, runs until SIGTERM or
 * SIGINT, then prints its own CPU use to stderr. */

#define _POSIX_C_SOURCE 200809L

#include "contenttexture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <math.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

static volatile sig_atomic_t stopRequested = 0;

static void onSignal(int sig)
{
    (void)sig;
    stopRequested = 1;
}

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

static Pixmap makeTexture(Display *dpy, Window win, int width, int height, int depth)
{
    Visual *visual = DefaultVisual(dpy, DefaultScreen(dpy));
    char *data = malloc((size_t)width * height * 4);
    if (!data)
        return None;
    XImage *image = XCreateImage(dpy, visual, depth, ZPixmap, 0, data, width, height, 32, 0);
    if (!image) {
        free(data);
        return None;
    }
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            XPutPixel(image, x, y, texel(x, y, &noise));

    Pixmap pixmap = XCreatePixmap(dpy, win, width, height, depth);
    GC gc = XCreateGC(dpy, pixmap, 0, NULL);
    /* In bands, so no single request exceeds the server's request limit. */
    const int band = 64;
    for (int y = 0; y < height; y += band)
        XPutImage(dpy, pixmap, gc, image, 0, y, 0, y, width, y + band > height ? height - y : band);
    XFreeGC(dpy, gc);
    XDestroyImage(image); /* frees data too */
    XSync(dpy, False);
    return pixmap;
}

int main(int argc, char **argv)
{
    double fps = argc > 1 ? atof(argv[1]) : 30.0;
    if (fps <= 0 || fps > 240) {
        fprintf(stderr, "zintora_movingcontent: frame rate must be in (0, 240]\n");
        return 2;
    }

    Display *dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "zintora_movingcontent: cannot open display\n");
        return 1;
    }
    int screen = DefaultScreen(dpy);
    int width = DisplayWidth(dpy, screen);
    int height = DisplayHeight(dpy, screen);
    int depth = DefaultDepth(dpy, screen);

    XSetWindowAttributes attrs;
    attrs.override_redirect = True;
    attrs.background_pixel = BlackPixel(dpy, screen);
    Window win =
        XCreateWindow(dpy, RootWindow(dpy, screen), 0, 0, width, height, 0, depth, InputOutput,
                      DefaultVisual(dpy, screen), CWOverrideRedirect | CWBackPixel, &attrs);
    XMapRaised(dpy, win);

    Pixmap texture = makeTexture(dpy, win, width + SCROLL_SPAN, height + SCROLL_SPAN, depth);
    if (texture == None) {
        fprintf(stderr, "zintora_movingcontent: cannot make the texture\n");
        return 1;
    }
    GC gc = XCreateGC(dpy, win, 0, NULL);

    struct sigaction sa = {0};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);

    const double period = 1.0 / fps;
    const double started = now();
    double next = started;
    long frames = 0;
    while (!stopRequested) {
        /* Diagonal scroll, a different step on each axis so the picture
         * never repeats within a recording of a few minutes. */
        int sx = (int)((frames * 7) % SCROLL_SPAN);
        int sy = (int)((frames * 5) % SCROLL_SPAN);
        XCopyArea(dpy, texture, win, gc, sx, sy, width, height, 0, 0);
        XSync(dpy, False);
        if (frames == 0) {
            /* Tells the benchmark that the screen now moves. */
            printf("ready\n");
            fflush(stdout);
        }
        ++frames;

        next += period;
        double wait = next - now();
        if (wait < -period) {
            next = now(); /* fell behind: do not try to catch up in a burst */
        } else if (wait > 0) {
            struct timespec ts = {(time_t)wait, (long)((wait - (time_t)wait) * 1e9)};
            nanosleep(&ts, NULL);
        }
    }

    double wall = now() - started;
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    double cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
                 ru.ru_stime.tv_usec / 1e6;
    fprintf(stderr, "movingcontent: %ld frames in %.1f s, cpu %.2f s (%.1f%% of one core)\n",
            frames, wall, cpu, wall > 0 ? 100.0 * cpu / wall : 0.0);

    XFreeGC(dpy, gc);
    XFreePixmap(dpy, texture);
    XDestroyWindow(dpy, win);
    XCloseDisplay(dpy);
    return 0;
}
