// SPDX-License-Identifier: MIT

// A bare Wayland client: one full-screen surface whose offset is the sum of the axis values its
// pointer receives, printed as the toolkit windows print theirs, one line each:
//   ready                      its surface is shown
//   enter, leave               the pointer came onto the surface, or left it
//   scroll US V H              the offsets in surface units after a wl_pointer frame with axis
//                              events, received at US on CLOCK_MONOTONIC (microseconds)
// Positive is down and right. Usage: wayland-scroll-client [SEAT_VERSION] binds wl_seat at most
// at that version (8 when not given, the first with axis_value120).

#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include "xdg-shell-client-protocol.h"

struct client {
    struct wl_compositor* compositor;
    struct wl_shm* shm;
    struct xdg_wm_base* wm_base;
    struct wl_seat* seat;
    struct wl_pointer* pointer;
    struct wl_surface* surface;
    int width, height, configured;
    unsigned most_seat_version;
    int frame_has_axis;  // the wl_pointer frame being gathered
    double offset[2];    // every axis value so far; index 0 vertical, 1 horizontal
};

static void on_pointer_enter(void* data, struct wl_pointer* p, unsigned serial,
                             struct wl_surface* s, wl_fixed_t x, wl_fixed_t y) {
    printf("enter\n");
}
static void on_pointer_leave(void* data, struct wl_pointer* p, unsigned serial,
                             struct wl_surface* s) {
    printf("leave\n");
}
static void on_motion(void* data, struct wl_pointer* p, unsigned time, wl_fixed_t x, wl_fixed_t y) {
}
static void on_button(void* data, struct wl_pointer* p, unsigned serial, unsigned time,
                      unsigned button, unsigned state) {}
static void on_axis(void* data, struct wl_pointer* p, unsigned time, unsigned axis,
                    wl_fixed_t value) {
    struct client* c = data;
    c->frame_has_axis = 1;
    c->offset[axis] += wl_fixed_to_double(value);
}
static void on_frame(void* data, struct wl_pointer* p) {
    struct client* c = data;
    if (!c->frame_has_axis) return;
    c->frame_has_axis = 0;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    printf("scroll %lld %g %g\n", now.tv_sec * 1000000LL + now.tv_nsec / 1000, c->offset[0],
           c->offset[1]);
}
static void on_axis_source(void* data, struct wl_pointer* p, unsigned source) {}
static void on_axis_stop(void* data, struct wl_pointer* p, unsigned time, unsigned axis) {}
static void on_axis_discrete(void* data, struct wl_pointer* p, unsigned axis, int discrete) {}
static void on_axis_value120(void* data, struct wl_pointer* p, unsigned axis, int value120) {}
static const struct wl_pointer_listener pointer_listener = {
    on_pointer_enter, on_pointer_leave, on_motion,    on_button,        on_axis,
    on_frame,         on_axis_source,   on_axis_stop, on_axis_discrete, on_axis_value120,
};

static void on_capabilities(void* data, struct wl_seat* seat, unsigned capabilities) {
    struct client* c = data;
    if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !c->pointer) {
        c->pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(c->pointer, &pointer_listener, c);
    }
}
static void on_seat_name(void* data, struct wl_seat* seat, const char* name) {}
static const struct wl_seat_listener seat_listener = {on_capabilities, on_seat_name};

static void on_ping(void* data, struct xdg_wm_base* base, unsigned serial) {
    xdg_wm_base_pong(base, serial);
}
static const struct xdg_wm_base_listener wm_base_listener = {on_ping};

static void on_global(void* data, struct wl_registry* registry, unsigned name,
                      const char* interface, unsigned version) {
    struct client* c = data;
    if (strcmp(interface, wl_compositor_interface.name) == 0) {
        c->compositor = wl_registry_bind(registry, name, &wl_compositor_interface, 1);
    } else if (strcmp(interface, wl_shm_interface.name) == 0) {
        c->shm = wl_registry_bind(registry, name, &wl_shm_interface, 1);
    } else if (strcmp(interface, xdg_wm_base_interface.name) == 0) {
        c->wm_base = wl_registry_bind(registry, name, &xdg_wm_base_interface, 1);
        xdg_wm_base_add_listener(c->wm_base, &wm_base_listener, c);
    } else if (strcmp(interface, wl_seat_interface.name) == 0 && !c->seat) {
        const unsigned bound = version < c->most_seat_version ? version : c->most_seat_version;
        c->seat = wl_registry_bind(registry, name, &wl_seat_interface, bound);
        wl_seat_add_listener(c->seat, &seat_listener, c);
    }
}
static void on_global_remove(void* data, struct wl_registry* registry, unsigned name) {}
static const struct wl_registry_listener registry_listener = {on_global, on_global_remove};

static void on_toplevel_configure(void* data, struct xdg_toplevel* toplevel, int width, int height,
                                  struct wl_array* states) {
    struct client* c = data;
    if (width > 0 && height > 0) c->width = width, c->height = height;
}
static void on_toplevel_close(void* data, struct xdg_toplevel* toplevel) { exit(0); }
static const struct xdg_toplevel_listener toplevel_listener = {.configure = on_toplevel_configure,
                                                               .close = on_toplevel_close};

static void on_surface_configure(void* data, struct xdg_surface* surface, unsigned serial) {
    xdg_surface_ack_configure(surface, serial);
    ((struct client*)data)->configured = 1;
}
static const struct xdg_surface_listener surface_listener = {on_surface_configure};

// A white buffer of the configured size, in shared memory.
static struct wl_buffer* white_buffer(struct client* c) {
    const int stride = c->width * 4, size = stride * c->height;
    const int fd = memfd_create("wayland-scroll-client", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) return NULL;
    void* pixels = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) return NULL;
    memset(pixels, 0xff, size);
    munmap(pixels, size);
    struct wl_shm_pool* pool = wl_shm_create_pool(c->shm, fd, size);
    struct wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, c->width, c->height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

int main(int argc, char** argv) {
    setvbuf(stdout, NULL, _IOLBF, 0);
    struct client c = {.width = 640, .height = 480, .most_seat_version = 8};
    if (argc > 1) c.most_seat_version = (unsigned)atoi(argv[1]);
    if (c.most_seat_version < 1 || c.most_seat_version > 8) {
        fprintf(stderr, "usage: wayland-scroll-client [SEAT_VERSION from 1 to 8]\n");
        return 2;
    }
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "wayland-scroll-client: no Wayland display\n");
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &registry_listener, &c);
    wl_display_roundtrip(display);
    if (!c.compositor || !c.shm || !c.wm_base || !c.seat) {
        fprintf(stderr, "wayland-scroll-client: the compositor lacks a needed global\n");
        return 1;
    }
    c.surface = wl_compositor_create_surface(c.compositor);
    struct xdg_surface* surface = xdg_wm_base_get_xdg_surface(c.wm_base, c.surface);
    xdg_surface_add_listener(surface, &surface_listener, &c);
    struct xdg_toplevel* toplevel = xdg_surface_get_toplevel(surface);
    xdg_toplevel_add_listener(toplevel, &toplevel_listener, &c);
    xdg_toplevel_set_fullscreen(toplevel, NULL);
    wl_surface_commit(c.surface);
    while (!c.configured && wl_display_dispatch(display) != -1) {
    }
    struct wl_buffer* buffer = white_buffer(&c);
    if (!buffer) return 1;
    wl_surface_attach(c.surface, buffer, 0, 0);
    wl_surface_commit(c.surface);
    printf("ready\n");
    while (wl_display_dispatch(display) != -1) {
    }
    return 0;
}
