/* Gives a headless sway seat a pointer: creates one zwlr_virtual_pointer_v1 and stays connected
 * until the compositor ends or the process is terminated. Once the seat has a pointer,
 * `swaymsg seat - cursor set|press|release` moves and clicks it. Prints "ready" when the pointer
 * exists.
 * `virtual-pointer wheel N` instead turns the wheel N notches where the cursor is (negative: up)
 * and exits, as a mouse does: a notch's discrete step, which the compositor hands on in the units
 * of its day. sway's `cursor press button4` sends 1/120 of a notch since wlroots 0.17, which a
 * client sees only after 120 of them. */
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wayland-client.h>

static struct zwlr_virtual_pointer_manager_v1 *manager;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version) {
    (void)data;
    (void)version;
    if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    }
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener listener = {global, global_remove};

int main(int argc, char **argv) {
    const int notches = argc == 3 && strcmp(argv[1], "wheel") == 0 ? atoi(argv[2]) : 0;
    struct wl_display *display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "virtual-pointer: no Wayland display\n");
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
    wl_display_roundtrip(display);
    if (!manager) {
        fprintf(stderr, "virtual-pointer: the compositor offers no virtual pointers\n");
        return 1;
    }
    struct zwlr_virtual_pointer_v1 *pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, NULL);
    if (notches) {
        zwlr_virtual_pointer_v1_axis_source(pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
        zwlr_virtual_pointer_v1_axis_discrete(pointer, 0, WL_POINTER_AXIS_VERTICAL_SCROLL,
                                              wl_fixed_from_int(15 * notches), notches);
        zwlr_virtual_pointer_v1_frame(pointer);
        zwlr_virtual_pointer_v1_destroy(pointer);
        return wl_display_roundtrip(display) < 0;
    }
    if (wl_display_roundtrip(display) < 0) {
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
