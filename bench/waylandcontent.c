// SPDX-License-Identifier: GPL-3.0-or-later
/* Moving content for the benchmark's Wayland desktop: the same scrolling
 * texture as zintora_movingcontent shows on X11, full screen. Each frame
 * copies the visible part of the texture into a free shared-memory buffer.
 *
 * Usage: zintora_waylandcontent [fps]   (WAYLAND_DISPLAY names the desktop)
 * Prints "ready" once the first frame is shown, runs until SIGTERM or
 * SIGINT. */

#define _GNU_SOURCE

#include "contenttexture.h"
#include "xdg-shell-client-protocol.h"

#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <wayland-client.h>

#define BUFFERS 3

static struct wl_compositor *compositor;
static struct wl_shm *shm;
static struct xdg_wm_base *wmBase;
static struct wl_output *output;
static int width, height, configured;
static volatile sig_atomic_t stopRequested;

struct buffer
{
    struct wl_buffer *buffer;
    uint32_t *pixels;
    int busy;
};

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version)
{
    (void)data;
    (void)version;
    if (strcmp(interface, wl_compositor_interface.name) == 0)
        compositor = wl_registry_bind(registry, name, &wl_compositor_interface, 4);
    else if (strcmp(interface, wl_shm_interface.name) == 0)
        shm = wl_registry_bind(registry, name, &wl_shm_interface, 1);
    else if (strcmp(interface, xdg_wm_base_interface.name) == 0)
        wmBase = wl_registry_bind(registry, name, &xdg_wm_base_interface, 1);
    else if (strcmp(interface, wl_output_interface.name) == 0 && !output)
        output = wl_registry_bind(registry, name, &wl_output_interface, 1);
}
static void outputGeometry(void *data, struct wl_output *o, int32_t x, int32_t y, int32_t w,
                           int32_t h, int32_t subpixel, const char *make, const char *model,
                           int32_t transform)
{
    (void)data, (void)o, (void)x, (void)y, (void)w, (void)h;
    (void)subpixel, (void)make, (void)model, (void)transform;
}
/* sway configures a new full-screen window only once it shows a buffer: the
 * first buffer has the output's size. */
static void outputMode(void *data, struct wl_output *o, uint32_t flags, int32_t w, int32_t h,
                       int32_t refresh)
{
    (void)data, (void)o, (void)refresh;
    if ((flags & WL_OUTPUT_MODE_CURRENT) && width <= 0) {
        width = w;
        height = h;
    }
}
static void globalRemove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}
static void ping(void *data, struct xdg_wm_base *base, uint32_t serial)
{
    (void)data;
    xdg_wm_base_pong(base, serial);
}
static void surfaceConfigure(void *data, struct xdg_surface *surface, uint32_t serial)
{
    (void)data;
    xdg_surface_ack_configure(surface, serial);
    configured = 1;
}
static void toplevelConfigure(void *data, struct xdg_toplevel *toplevel, int32_t w, int32_t h,
                              struct wl_array *states)
{
    (void)data;
    (void)toplevel;
    (void)states;
    if (w > 0 && h > 0) {
        width = w;
        height = h;
    }
}
static void toplevelClose(void *data, struct xdg_toplevel *toplevel)
{
    (void)data;
    (void)toplevel;
    stopRequested = 1;
}
static void released(void *data, struct wl_buffer *buffer)
{
    (void)buffer;
    ((struct buffer *)data)->busy = 0;
}
static void onSignal(int sig)
{
    (void)sig;
    stopRequested = 1;
}

int main(int argc, char **argv)
{
    static const struct wl_registry_listener registryListener = {global, globalRemove};
    static const struct xdg_wm_base_listener wmBaseListener = {ping};
    static const struct xdg_surface_listener surfaceListener = {surfaceConfigure};
    static const struct xdg_toplevel_listener toplevelListener = {.configure = toplevelConfigure,
                                                                  .close = toplevelClose};
    static const struct wl_buffer_listener bufferListener = {released};
    static const struct wl_output_listener outputListener = {.geometry = outputGeometry,
                                                             .mode = outputMode};
    const int fps = argc > 1 ? atoi(argv[1]) : 30;
    struct wl_display *display = wl_display_connect(NULL);
    if (!display || fps <= 0) {
        fprintf(stderr, "zintora_waylandcontent: cannot connect\n");
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &registryListener, NULL);
    wl_display_roundtrip(display);
    if (output)
        wl_output_add_listener(output, &outputListener, NULL);
    wl_display_roundtrip(display);
    if (!compositor || !shm || !wmBase) {
        fprintf(stderr, "zintora_waylandcontent: the compositor lacks a needed interface\n");
        return 1;
    }
    xdg_wm_base_add_listener(wmBase, &wmBaseListener, NULL);
    struct wl_surface *surface = wl_compositor_create_surface(compositor);
    struct xdg_surface *xdgSurface = xdg_wm_base_get_xdg_surface(wmBase, surface);
    xdg_surface_add_listener(xdgSurface, &surfaceListener, NULL);
    struct xdg_toplevel *toplevel = xdg_surface_get_toplevel(xdgSurface);
    xdg_toplevel_add_listener(toplevel, &toplevelListener, NULL);
    xdg_toplevel_set_title(toplevel, "zintora_waylandcontent");
    xdg_toplevel_set_fullscreen(toplevel, NULL); /* the whole output, no border */
    wl_surface_commit(surface);
    while (!configured && wl_display_dispatch(display) != -1)
        ;
    if (width <= 0 || height <= 0) {
        fprintf(stderr, "zintora_waylandcontent: no size from the compositor\n");
        return 1;
    }

    const int textureWidth = width + SCROLL_SPAN;
    const int textureHeight = height + SCROLL_SPAN;
    uint32_t *texture = malloc((size_t)textureWidth * textureHeight * 4);
    const size_t size = (size_t)width * height * 4;
    int fd = memfd_create("zintora_waylandcontent", MFD_CLOEXEC);
    if (!texture || fd < 0 || ftruncate(fd, (off_t)(size * BUFFERS)) < 0) {
        fprintf(stderr, "zintora_waylandcontent: out of memory\n");
        return 1;
    }
    uint32_t noise = 12345;
    for (int y = 0; y < textureHeight; ++y)
        for (int x = 0; x < textureWidth; ++x)
            texture[(size_t)y * textureWidth + x] = texel(x, y, &noise);
    uint8_t *memory = mmap(NULL, size * BUFFERS, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    struct wl_shm_pool *pool = wl_shm_create_pool(shm, fd, (int32_t)(size * BUFFERS));
    struct buffer buffers[BUFFERS];
    for (int i = 0; i < BUFFERS; ++i) {
        buffers[i].buffer = wl_shm_pool_create_buffer(pool, (int32_t)(i * size), width, height,
                                                      width * 4, WL_SHM_FORMAT_XRGB8888);
        buffers[i].pixels = (uint32_t *)(memory + i * size);
        buffers[i].busy = 0;
        wl_buffer_add_listener(buffers[i].buffer, &bufferListener, &buffers[i]);
    }

    struct sigaction sa = {0};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    const long period = 1000000000L / fps;
    struct itimerspec every = {{0, period}, {0, 1}};
    timerfd_settime(timer, 0, &every, NULL);
    long frames = 0;
    while (!stopRequested) {
        wl_display_flush(display);
        struct pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {timer, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0)
            continue; /* a signal */
        if ((fds[0].revents & POLLIN) && wl_display_dispatch(display) == -1)
            break;
        uint64_t expirations;
        if (!(fds[1].revents & POLLIN) || read(timer, &expirations, sizeof expirations) < 0)
            continue;
        struct buffer *next = NULL;
        for (int i = 0; i < BUFFERS && !next; ++i)
            next = buffers[i].busy ? NULL : &buffers[i];
        if (!next)
            continue; /* the compositor holds them all: skip this frame */
        /* The same diagonal scroll as on X11. */
        const int sx = (int)((frames * 7) % SCROLL_SPAN);
        const int sy = (int)((frames * 5) % SCROLL_SPAN);
        for (int y = 0; y < height; ++y)
            memcpy(next->pixels + (size_t)y * width, texture + (size_t)(y + sy) * textureWidth + sx,
                   (size_t)width * 4);
        next->busy = 1;
        wl_surface_attach(surface, next->buffer, 0, 0);
        wl_surface_damage_buffer(surface, 0, 0, width, height);
        wl_surface_commit(surface);
        if (frames++ == 0) {
            printf("ready\n");
            fflush(stdout);
        }
    }
    wl_display_disconnect(display);
    return 0;
}
