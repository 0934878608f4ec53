// Gives the headless desktop's seat a pointer, so that sway's "seat - cursor"
// commands reach clients: the headless backend has no input device at all.
// Creates one through the wlr virtual-pointer protocol and keeps it until it
// is ended or the compositor goes. The protocol is small enough to spell out
// here.
#include <stdio.h>
#include <string.h>
#include <wayland-client.h>

static const struct wl_interface pointerInterface = {
    "zwlr_virtual_pointer_v1", 1, 0, NULL, 0, NULL};
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

int main(void)
{
    static const struct wl_registry_listener listener = {global, globalRemove};
    struct wl_display *display = wl_display_connect(NULL);
    if (!display)
        return 1;
    wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
    wl_display_roundtrip(display);
    if (!manager) {
        fprintf(stderr, "virtualpointer: the compositor offers no virtual pointers\n");
        return 1;
    }
    wl_proxy_marshal_constructor(manager, 0, &pointerInterface, NULL, NULL);
    wl_display_roundtrip(display);
    puts("ready");
    fflush(stdout);
    while (wl_display_dispatch(display) != -1)
        ;
    wl_display_disconnect(display);
    return 0;
}
