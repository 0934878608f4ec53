// SPDX-License-Identifier: GPL-3.0-or-later
// Test-environment workaround, preloaded into xdg-desktop-portal-wlr 0.7 only
// by the Wayland test desktop; the program never uses it. That portal starts
// a cast only after the compositor announced a DMA-BUF format, which a
// compositor without a GPU never does (fixed in 0.8). After each shared-memory
// buffer event this passes on a DMA-BUF event of the same format; with no
// DMA-BUF modifiers the portal still negotiates shared memory.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <string.h>

struct wl_proxy;
const char *wl_proxy_get_class(struct wl_proxy *proxy);

// The events of zwlr_screencopy_frame_v1, in protocol order.
struct frame_listener
{
    void (*buffer)(void *, struct wl_proxy *, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*flags)(void), (*ready)(void), (*failed)(void), (*damage)(void);
    void (*linux_dmabuf)(void *, struct wl_proxy *, uint32_t, uint32_t, uint32_t);
    void (*buffer_done)(void);
};
static const struct frame_listener *original;
static struct frame_listener wrapped;

static void buffer(void *data, struct wl_proxy *frame, uint32_t format, uint32_t width,
                   uint32_t height, uint32_t stride)
{
    original->buffer(data, frame, format, width, height, stride);
    // wl_shm's two codes that differ from their DRM fourcc: ARGB8888, XRGB8888.
    const uint32_t fourcc = format == 0 ? 0x34325241u : format == 1 ? 0x34325258u : format;
    if (original->linux_dmabuf)
        original->linux_dmabuf(data, frame, fourcc, width, height);
}

int wl_proxy_add_listener(struct wl_proxy *proxy, void (**implementation)(void), void *data)
{
    int (*real)(struct wl_proxy *, void (**)(void), void *) =
        (int (*)(struct wl_proxy *, void (**)(void), void *))dlsym(RTLD_NEXT,
                                                                   "wl_proxy_add_listener");
    if (strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") == 0) {
        original = (const struct frame_listener *)implementation;
        wrapped = *original;
        wrapped.buffer = buffer;
        implementation = (void (**)(void)) & wrapped;
    }
    return real(proxy, implementation, data);
}
