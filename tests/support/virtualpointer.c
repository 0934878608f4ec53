// SPDX-License-Identifier: GPL-3.0-or-later
// The headless desktop's pointer: its backend has no input device at all.
// Creates one through the wlr virtual-pointer protocol, small enough to spell
// out here, and moves and clicks it as the lines read from FIFO say:
// "move X Y" (output pixels), "press", "release". Moves made this way reach a
// client also while a button is held, unlike sway's own cursor commands.
// Usage: virtualpointer FIFO WIDTH HEIGHT
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

enum
{
    motionAbsolute = 1,
    button = 2,
    frame = 4,
    leftButton = 0x110
};

static const struct wl_message pointerRequests[] = {
    {"motion", "uff", NULL}, {"motion_absolute", "uuuuu", NULL},
    {"button", "uuu", NULL}, {"axis", "uuf", NULL},
    {"frame", "", NULL},
};
static const struct wl_interface pointerInterface = {"zwlr_virtual_pointer_v1", 1, 5,
                                                     pointerRequests,           0, NULL};
static const struct wl_interface *createTypes[] = {&wl_seat_interface, &pointerInterface};
static const struct wl_message managerRequests[] = {
    {"create_virtual_pointer", "?on", createTypes},
};
static const struct wl_interface managerInterface = {
    "zwlr_virtual_pointer_manager_v1", 1, 1, managerRequests, 0, NULL};

static struct wl_proxy *manager;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version)
{
    (void)data;
    (void)version;
    if (strcmp(interface, managerInterface.name) == 0)
        manager = wl_registry_bind(registry, name, &managerInterface, 1);
}

static void globalRemove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static uint32_t milliseconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

int main(int argc, char *argv[])
{
    static const struct wl_registry_listener listener = {global, globalRemove};
    struct wl_display *display = wl_display_connect(NULL);
    // Opened for reading and writing, so that it never reads an end.
    const int commands = argc == 4 ? open(argv[1], O_RDWR) : -1;
    if (!display || commands < 0)
        return 1;
    wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
    wl_display_roundtrip(display);
    if (!manager) {
        fprintf(stderr, "virtualpointer: the compositor offers no virtual pointers\n");
        return 1;
    }
    struct wl_proxy *pointer =
        wl_proxy_marshal_constructor(manager, 0, &pointerInterface, NULL, NULL);
    wl_display_roundtrip(display);
    puts("ready");
    fflush(stdout);
    FILE *lines = fdopen(commands, "r");
    char line[64];
    int x, y;
    while (fgets(line, sizeof line, lines)) {
        if (sscanf(line, "move %d %d", &x, &y) == 2)
            wl_proxy_marshal(pointer, motionAbsolute, milliseconds(), x, y, atoi(argv[2]),
                             atoi(argv[3]));
        else if (strncmp(line, "press", 5) == 0 || strncmp(line, "release", 7) == 0)
            wl_proxy_marshal(pointer, button, milliseconds(), leftButton, line[0] == 'p');
        wl_proxy_marshal(pointer, frame);
        if (wl_display_roundtrip(display) == -1)
            break;
    }
    wl_display_disconnect(display);
    return 0;
}
