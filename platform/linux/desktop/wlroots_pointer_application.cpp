// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/wlroots_pointer_application.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace glidewheel::platform::linuxdesktop {

namespace {

// The first version already tells all this needs: app_id, state, done and closed.
constexpr std::uint32_t kManagerVersion = 1;

bool isActivated(const wl_array* states) {
    const std::span<const std::uint32_t> all(static_cast<const std::uint32_t*>(states->data),
                                             states->size / sizeof(std::uint32_t));
    return std::ranges::find(all, ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) != all.end();
}

}  // namespace

// One window as the compositor describes it. Its changes come in batches, each closed by `done`,
// after which they hold together.
struct WlrootsPointerApplication::Toplevel {
    WlrootsPointerApplication* owner;
    zwlr_foreign_toplevel_handle_v1* handle;
    std::string appId;
    bool activated = false;

    ~Toplevel() { zwlr_foreign_toplevel_handle_v1_destroy(handle); }
};

void WlrootsPointerApplication::Disconnect::operator()(wl_display* display) const {
    wl_display_disconnect(display);
}

std::unique_ptr<WlrootsPointerApplication> WlrootsPointerApplication::open(const char* name) {
    std::unique_ptr<wl_display, Disconnect> display(wl_display_connect(name));
    UniqueFd wake = adoptFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!display || !wake) return nullptr;
    // The compositor names its globals at once: the manager's name, if it offers one.
    static constexpr wl_registry_listener kGlobals{
        .global =
            [](void* manager, wl_registry*, std::uint32_t name, const char* interface,
               std::uint32_t) {
                if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0)
                    *static_cast<std::optional<std::uint32_t>*>(manager) = name;
            },
        .global_remove = [](void*, wl_registry*, std::uint32_t) {},
    };
    std::optional<std::uint32_t> manager;
    wl_registry* registry = wl_display_get_registry(display.get());
    wl_registry_add_listener(registry, &kGlobals, &manager);
    void* bound =
        wl_display_roundtrip(display.get()) >= 0 && manager
            ? wl_registry_bind(registry, *manager, &zwlr_foreign_toplevel_manager_v1_interface,
                               kManagerVersion)
            : nullptr;
    wl_registry_destroy(registry);
    if (!bound) return nullptr;
    return std::unique_ptr<WlrootsPointerApplication>(
        new WlrootsPointerApplication(std::move(display),
                                      static_cast<zwlr_foreign_toplevel_manager_v1*>(bound),
                                      std::move(wake)));
}

WlrootsPointerApplication::WlrootsPointerApplication(
    std::unique_ptr<wl_display, Disconnect> display, zwlr_foreign_toplevel_manager_v1* manager,
    UniqueFd wake)
    : display_(std::move(display)), wake_(std::move(wake)), manager_(manager) {
    static constexpr zwlr_foreign_toplevel_manager_v1_listener kManagerEvents{
        .toplevel =
            [](void* self, zwlr_foreign_toplevel_manager_v1*,
               zwlr_foreign_toplevel_handle_v1* handle) {
                static_cast<WlrootsPointerApplication*>(self)->adopt(handle);
            },
        // The compositor withdrew the manager: no window's changes will be heard of.
        .finished =
            [](void* self, zwlr_foreign_toplevel_manager_v1* manager) {
                zwlr_foreign_toplevel_manager_v1_destroy(manager);
                static_cast<WlrootsPointerApplication*>(self)->manager_ = nullptr;
            },
    };
    zwlr_foreign_toplevel_manager_v1_add_listener(manager_, &kManagerEvents, this);
    thread_ = std::thread([this] { run(); });  // once the listener is there for what comes
}

WlrootsPointerApplication::~WlrootsPointerApplication() {
    signalEventFd(wake_);
    thread_.join();
    if (manager_) zwlr_foreign_toplevel_manager_v1_destroy(manager_);
}

void WlrootsPointerApplication::run() {
    wl_display* display = display_.get();
    // Sends what is queued (the bind, handles let go), then sleeps until the compositor speaks.
    while (manager_ && (wl_display_flush(display) >= 0 || errno == EAGAIN)) {
        pollfd fds[] = {{wl_display_get_fd(display), POLLIN, 0}, {wake_.get().fd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (fds[1].revents != 0) return;  // to end
        // Reads without blocking, the socket being readable, or fails once it has closed.
        if (fds[0].revents != 0 && wl_display_dispatch(display) < 0) break;
    }
    publish(nullptr);  // the compositor went away, or withdrew the manager: no application known
    std::fprintf(stderr,
                 "glidewheel: lost the compositor's windows; the application under the pointer "
                 "is no longer known\n");
}

void WlrootsPointerApplication::adopt(zwlr_foreign_toplevel_handle_v1* handle) {
    static constexpr zwlr_foreign_toplevel_handle_v1_listener kToplevelEvents{
        .title = [](void*, zwlr_foreign_toplevel_handle_v1*, const char*) {},
        .app_id = [](void* toplevel, zwlr_foreign_toplevel_handle_v1*,
                     const char* appId) { static_cast<Toplevel*>(toplevel)->appId = appId; },
        .output_enter = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
        .output_leave = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
        .state =
            [](void* toplevel, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
                static_cast<Toplevel*>(toplevel)->activated = isActivated(states);
            },
        .done =
            [](void* data, zwlr_foreign_toplevel_handle_v1*) {
                auto* toplevel = static_cast<Toplevel*>(data);
                toplevel->owner->settle(*toplevel);
            },
        .closed =
            [](void* data, zwlr_foreign_toplevel_handle_v1*) {
                auto* toplevel = static_cast<Toplevel*>(data);
                WlrootsPointerApplication& self = *toplevel->owner;
                toplevel->activated = false;
                self.settle(*toplevel);
                std::erase_if(self.toplevels_,
                              [&](const auto& kept) { return kept.get() == toplevel; });
            },
        // Sent from version 3 on only, which is not bound; libwayland wants every slot filled.
        .parent = [](void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {},
    };
    toplevels_.push_back(std::make_unique<Toplevel>(this, handle));
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kToplevelEvents, toplevels_.back().get());
}

// The answer after a batch of one window's changes: the activated window's application. Two may
// be activated for a moment, as focus moves: the later one is kept.
void WlrootsPointerApplication::settle(const Toplevel& toplevel) {
    if (toplevel.activated)
        activated_ = &toplevel;
    else if (activated_ == &toplevel)
        activated_ = nullptr;
    else
        return;  // a change to a window in the background
    const std::string appId = activated_ ? activated_->appId : std::string();
    const std::shared_ptr<const PointerTarget> answer = current();
    if (appId == (answer ? answer->className : std::string())) return;  // its title changed, say
    std::shared_ptr<PointerTarget> target;
    if (!appId.empty()) target = std::make_shared<PointerTarget>(), target->className = appId;
    publish(std::move(target));
}

}  // namespace glidewheel::platform::linuxdesktop
