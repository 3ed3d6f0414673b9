// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/x11_pointer_application.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xinput.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "platform/linux/base/executable_name.h"

namespace glidewheel::platform::linuxdesktop {

namespace {

// xcb hands out replies and events allocated with malloc.
struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

// Frame, then client; or frame, wrapper, client, as some window managers nest them.
constexpr int kMaxClientDepth = 3;
constexpr std::uint32_t kMaxClassBytes = 1024;  // WM_CLASS read, in bytes

xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name) {
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection,
                              xcb_intern_atom(connection, 0,
                                              static_cast<std::uint16_t>(name.size()), name.data()),
                              nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

}  // namespace

struct X11PointerApplication::Connection {
    std::unique_ptr<xcb_connection_t, Disconnect> xcb;
    xcb_window_t root = XCB_WINDOW_NONE;
    xcb_atom_t wmState = XCB_ATOM_NONE;
    xcb_atom_t netWmPid = XCB_ATOM_NONE;
    xcb_atom_t netActiveWindow = XCB_ATOM_NONE;

    xcb_connection_t* get() const { return xcb.get(); }
    // Selects, or deselects, raw motion and the root window's changes.
    void watch(bool on) const;
    bool hasProperty(xcb_window_t window, xcb_atom_t property) const;
    // The client window at or below `window` (the topmost one first), or none.
    xcb_window_t clientWindow(xcb_window_t window, int depth = 0) const;
    std::shared_ptr<const PointerTarget> targetOf(xcb_window_t window) const;
};

void X11PointerApplication::Connection::watch(bool on) const {
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } rawMotion{{XCB_INPUT_DEVICE_ALL, 1},
                on ? std::uint32_t{XCB_INPUT_XI_EVENT_MASK_RAW_MOTION} : 0u};
    xcb_input_xi_select_events(get(), root, 1, &rawMotion.head);
    // The root window's Enter: the pointer left the top-level windows, for the desktop or, under
    // XWayland, for a Wayland window, where no raw motion follows it.
    const std::uint32_t rootEvents = on ? XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY |
                                              XCB_EVENT_MASK_PROPERTY_CHANGE |
                                              XCB_EVENT_MASK_ENTER_WINDOW
                                        : 0u;
    xcb_change_window_attributes(get(), root, XCB_CW_EVENT_MASK, &rootEvents);
    xcb_flush(get());
}

bool X11PointerApplication::Connection::hasProperty(xcb_window_t window,
                                                    xcb_atom_t property) const {
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        get(), xcb_get_property(get(), 0, window, property, XCB_ATOM_ANY, 0, 0), nullptr));
    return reply && reply->type != XCB_ATOM_NONE;
}

xcb_window_t X11PointerApplication::Connection::clientWindow(xcb_window_t window, int depth) const {
    if (hasProperty(window, wmState)) return window;
    if (depth == kMaxClientDepth) return XCB_WINDOW_NONE;
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(get(), xcb_query_tree(get(), window), nullptr));
    if (!tree) return XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i) {
        if (const xcb_window_t client = clientWindow(children[i], depth + 1);
            client != XCB_WINDOW_NONE) {
            return client;
        }
    }
    return XCB_WINDOW_NONE;
}

std::shared_ptr<const PointerTarget> X11PointerApplication::Connection::targetOf(
    xcb_window_t window) const {
    // Both asked at once: one round trip.
    const xcb_get_property_cookie_t classCookie =
        xcb_get_property(get(), 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0,
                         kMaxClassBytes / 4);
    const xcb_get_property_cookie_t pidCookie =
        xcb_get_property(get(), 0, window, netWmPid, XCB_ATOM_CARDINAL, 0, 1);
    const Reply<xcb_get_property_reply_t> wmClass(
        xcb_get_property_reply(get(), classCookie, nullptr));
    const Reply<xcb_get_property_reply_t> pid(xcb_get_property_reply(get(), pidCookie, nullptr));

    PointerTarget target;
    if (wmClass && wmClass->format == 8) {
        // "resource name\0class\0"
        std::string_view names(static_cast<const char*>(xcb_get_property_value(wmClass.get())),
                               static_cast<std::size_t>(
                                   xcb_get_property_value_length(wmClass.get())));
        const std::size_t end = names.find('\0');
        target.instanceName = names.substr(0, end);
        if (end != std::string_view::npos) {
            names.remove_prefix(end + 1);
            target.className = names.substr(0, names.find('\0'));
        }
    }
    if (pid && pid->format == 32 && xcb_get_property_value_length(pid.get()) == 4) {
        target.executable =
            executableOf(*static_cast<const std::uint32_t*>(xcb_get_property_value(pid.get())));
    }
    if (target.executable.empty() && target.instanceName.empty() && target.className.empty())
        return nullptr;
    return std::make_shared<const PointerTarget>(std::move(target));
}

std::unique_ptr<X11PointerApplication> X11PointerApplication::open(const char* display,
                                                                   bool xwaylandOnly) {
    int screenNumber = 0;
    auto connection = std::make_unique<Connection>();
    connection->xcb.reset(xcb_connect(display, &screenNumber));
    xcb_connection_t* xcb = connection->get();
    if (xcb_connection_has_error(xcb)) return nullptr;
    const xcb_query_extension_reply_t* xinput = xcb_get_extension_data(xcb, &xcb_input_id);
    if (xinput == nullptr || !xinput->present) return nullptr;
    // 2.2: raw events reach a client that selected them on the root window, whoever grabs.
    const Reply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(xcb, xcb_input_xi_query_version(xcb, 2, 2), nullptr));
    if (!version || version->major_version < 2) return nullptr;
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(xcb));
    for (int i = 0; i < screenNumber && screen.rem > 0; ++i) xcb_screen_next(&screen);
    if (screen.rem == 0) return nullptr;
    connection->root = screen.data->root;
    connection->wmState = internAtom(xcb, "WM_STATE");
    connection->netWmPid = internAtom(xcb, "_NET_WM_PID");
    connection->netActiveWindow = internAtom(xcb, "_NET_ACTIVE_WINDOW");

    UniqueFd wake = adoptFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake) return nullptr;
    return std::unique_ptr<X11PointerApplication>(
        new X11PointerApplication(std::move(connection), std::move(wake), xwaylandOnly));
}

X11PointerApplication::X11PointerApplication(std::unique_ptr<Connection> connection, UniqueFd wake,
                                             bool xwaylandOnly)
    : connection_(std::move(connection)),
      xwaylandOnly_(xwaylandOnly),
      wake_(std::move(wake)),
      thread_([this] { run(); }) {}

X11PointerApplication::~X11PointerApplication() {
    quit_ = true;
    signalEventFd(wake_);
    thread_.join();
}

void X11PointerApplication::setNeeded(bool needed) {
    if (needed_.exchange(needed) == needed) return;
    connection_->watch(needed);
    signalEventFd(wake_);
}

void X11PointerApplication::run() {
    using Clock = std::chrono::steady_clock;
    bool pending = false;
    bool windowsChanged = false;
    Clock::time_point lastLookUp{};
    for (;;) {
        bool moved = false;
        if (!readEvents(moved, windowsChanged)) {
            publish(nullptr);
            std::fprintf(stderr,
                         "glidewheel: lost the X display; the application under the "
                         "pointer is no longer known\n");
            return;
        }
        pending = pending || moved || windowsChanged;
        const Clock::time_point due = lastLookUp + kRequeryInterval;
        if (pending && needed_ && Clock::now() >= due) {
            lookUp(windowsChanged);
            lastLookUp = Clock::now();
            pending = windowsChanged = false;
            continue;  // events may have queued up while waiting for the replies
        }
        const int timeoutMs =
            pending && needed_
                ? static_cast<int>(
                      std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count())
                : -1;
        pollfd fds[] = {{xcb_get_file_descriptor(connection_->get()), POLLIN, 0},
                        {wake_.get().fd, POLLIN, 0}};
        if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR) return;
        if (fds[1].revents == 0) continue;
        std::uint64_t wakes = 0;
        if (::read(wake_.get().fd, &wakes, sizeof wakes) < 0 && errno != EAGAIN) return;
        if (quit_) return;
        // Needed anew: the pointer and the windows may have changed unheard. No longer needed:
        // the answer would go stale.
        pending = windowsChanged = true;
        if (!needed_) topLevel_ = XCB_WINDOW_NONE, publish(nullptr);
    }
}

bool X11PointerApplication::readEvents(bool& moved, bool& windowsChanged) {
    while (const Reply<xcb_generic_event_t> event{xcb_poll_for_event(connection_->get())}) {
        switch (event->response_type & ~0x80) {
            case XCB_GE_GENERIC:  // raw motion, the only extension event selected
            case XCB_ENTER_NOTIFY: moved = true; break;
            case XCB_PROPERTY_NOTIFY:
                windowsChanged =
                    windowsChanged ||
                    reinterpret_cast<const xcb_property_notify_event_t*>(event.get())->atom ==
                        connection_->netActiveWindow;
                break;
            case XCB_MAP_NOTIFY:
            case XCB_UNMAP_NOTIFY:
            case XCB_DESTROY_NOTIFY:
            case XCB_CONFIGURE_NOTIFY:
            case XCB_REPARENT_NOTIFY: windowsChanged = true; break;
            default: break;
        }
    }
    return xcb_connection_has_error(connection_->get()) == 0;
}

// Only a change of top-level window, or of the windows, is worth reading the names again.
void X11PointerApplication::lookUp(bool windowsChanged) {
    xcb_connection_t* xcb = connection_->get();
    const Reply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(xcb, xcb_query_pointer(xcb, connection_->root), nullptr));
    if (!pointer) return;
    if (pointer->child == topLevel_ && !windowsChanged) return;
    topLevel_ = pointer->child;
    if (topLevel_ == XCB_WINDOW_NONE) {
        publish(nullptr);
        return;
    }
    const xcb_window_t client = connection_->clientWindow(topLevel_);
    publish(connection_->targetOf(client != XCB_WINDOW_NONE ? client : topLevel_));
}

}  // namespace glidewheel::platform::linuxdesktop
