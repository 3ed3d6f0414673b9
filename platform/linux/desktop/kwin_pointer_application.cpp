// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/kwin_pointer_application.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/linux/base/executable_name.h"
#include "platform/linux/base/file_io.h"

namespace glidewheel::platform::linuxdesktop {

namespace {

constexpr const char* kKwin = "org.kde.KWin";
constexpr const char* kScripting = "/Scripting";
constexpr const char* kScriptingInterface = "org.kde.kwin.Scripting";
constexpr const char* kObject = "/PointerApplication";
constexpr const char* kInterface = "org.glidewheel.PointerApplication";
// KWin answers at once; a compositor that hangs must not hold the lookup's thread for long.
constexpr std::uint64_t kCallTimeoutMicroseconds = 2'000'000;

// KWin 6 finds the window under a point itself (windowAt, which skips what is minimised, hidden
// or on another desktop or activity); KWin 5 lists its windows, each with its stacking order.
// Names go as strings: callDBus turns a JavaScript number into a double.
constexpr std::string_view kScript = R"js(
const service = "@SERVICE@";
let told = "";

function windowUnder(pos) {
    if (workspace.windowAt) return workspace.windowAt(pos, 1)[0] || null;
    let top = null;
    for (const w of workspace.clientList()) {
        const g = w.frameGeometry;
        if (w.minimized || w.deleted || !(w.onAllDesktops || w.desktop === workspace.currentDesktop)
            || pos.x < g.x || pos.y < g.y || pos.x >= g.x + g.width || pos.y >= g.y + g.height)
            continue;
        if (top === null || w.stackingOrder > top.stackingOrder) top = w;
    }
    return top;
}

function tell() {
    const w = windowUnder(workspace.cursorPos);
    const id = w ? String(w.internalId) : "";
    if (id === told) return;
    told = id;
    callDBus(service, "@OBJECT@", "@INTERFACE@", "Enter",
             w ? String(w.resourceClass) : "", w ? String(w.resourceName) : "",
             w ? String(w.pid) : "0");
}

for (const change of ["cursorPosChanged", "windowActivated", "clientActivated", "windowRemoved",
                      "clientRemoved", "stackingOrderChanged", "currentDesktopChanged"]) {
    if (workspace[change]) workspace[change].connect(tell);
}
tell();
)js";

std::string replaced(std::string text, std::string_view marker, std::string_view value) {
    for (std::size_t at; (at = text.find(marker)) != std::string::npos;)
        text.replace(at, marker.size(), value);
    return text;
}

// Calls a method of KWin's scripting; false (logged) when KWin does not answer or refuses.
bool callScripting(sd_bus* bus, const char* method, const char* types, auto... arguments) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int rc = sd_bus_call_method(bus, kKwin, kScripting, kScriptingInterface, method, &error,
                                      &reply, types, arguments...);
    if (rc < 0)
        std::fprintf(stderr, "glidewheel: KWin's scripting refused %s: %s\n", method,
                     error.message ? error.message : "no answer");
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    return rc >= 0;
}

std::string ownerOf(sd_bus* bus, const char* name) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const char* owner = nullptr;
    std::string found;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetNameOwner", &error, &reply, "s",
                           name) >= 0 &&
        sd_bus_message_read(reply, "s", &owner) >= 0)
        found = owner;
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    return found;
}

// Until the bus's next timeout is due: -1 for none, else whole milliseconds rounded up.
int pollTimeout(sd_bus* bus) {
    std::uint64_t due = UINT64_MAX;
    if (sd_bus_get_timeout(bus, &due) < 0 || due == UINT64_MAX) return -1;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t nowMicroseconds =
        std::uint64_t(now.tv_sec) * 1'000'000 + std::uint64_t(now.tv_nsec) / 1000;
    return due <= nowMicroseconds ? 0 : int((due - nowMicroseconds + 999) / 1000);
}

}  // namespace

std::unique_ptr<KwinPointerApplication> KwinPointerApplication::open() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0') {
        std::fprintf(stderr, "glidewheel: no XDG_RUNTIME_DIR to hand KWin a script in\n");
        return nullptr;
    }
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return nullptr;
    sd_bus_set_method_call_timeout(bus, kCallTimeoutMicroseconds);
    UniqueFd wake = adoptFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (ownerOf(bus, kKwin).empty() || !wake) {
        sd_bus_flush_close_unref(bus);
        return nullptr;
    }
    std::filesystem::path script = std::filesystem::path(runtime) / "glidewheel-pointer.js";
    return std::unique_ptr<KwinPointerApplication>(
        new KwinPointerApplication(bus, std::move(script), std::move(wake)));
}

KwinPointerApplication::KwinPointerApplication(sd_bus* bus, std::filesystem::path script,
                                               UniqueFd wake)
    : bus_(bus), script_(std::move(script)), wake_(std::move(wake)), thread_([this] { run(); }) {}

KwinPointerApplication::~KwinPointerApplication() {
    stopping_ = true;
    signalEventFd(wake_);
    thread_.join();
    std::error_code ignored;
    std::filesystem::remove(script_, ignored);
}

void KwinPointerApplication::setNeeded(bool needed) {
    if (needed_.exchange(needed) != needed) signalEventFd(wake_);
}

void KwinPointerApplication::follow(bool needed) {
    static const sd_bus_vtable kVtable[] = {
        SD_BUS_VTABLE_START(0),
        // resource class, resource name, process id ("0" for none) of the window now under
        // the cursor; all empty (and "0") for none
        SD_BUS_METHOD("Enter", "sss", "", &KwinPointerApplication::onWindow, 0),
        SD_BUS_VTABLE_END,
    };
    if (needed == loaded_) return;
    sd_bus_slot_unref(std::exchange(object_, nullptr));
    publish(nullptr);
    // Also before loading: a script left by a run that ended without unloading it would call a
    // name that is gone.
    if (loaded_ || needed) callScripting(bus_, "unloadScript", "s", kScriptName);
    loaded_ = false;
    if (!needed) return;
    kwin_ = ownerOf(bus_, kKwin);
    const char* self = nullptr;
    if (kwin_.empty() || sd_bus_get_unique_name(bus_, &self) < 0 ||
        sd_bus_add_object_vtable(bus_, &object_, kObject, kInterface, kVtable, this) < 0)
        return;
    std::string text = replaced(std::string(kScript), "@SERVICE@", self);
    text = replaced(replaced(std::move(text), "@OBJECT@", kObject), "@INTERFACE@", kInterface);
    if (const auto failed = writeFileAtomically(script_, text)) {
        std::fprintf(stderr, "glidewheel: %s\n", failed->c_str());
        return;
    }
    loaded_ = callScripting(bus_, "loadScript", "ss", script_.c_str(), kScriptName) &&
              callScripting(bus_, "start", "");
}

int KwinPointerApplication::onWindow(sd_bus_message* call, void* self, sd_bus_error*) {
    auto& lookup = *static_cast<KwinPointerApplication*>(self);
    const char *resourceClass = nullptr, *resourceName = nullptr, *pidText = nullptr;
    const char* sender = sd_bus_message_get_sender(call);
    if (sender == nullptr || lookup.kwin_ != sender ||
        sd_bus_message_read(call, "sss", &resourceClass, &resourceName, &pidText) < 0)
        return sd_bus_reply_method_errorf(call, SD_BUS_ERROR_ACCESS_DENIED, "KWin's only");
    std::uint32_t pid = 0;
    const std::string_view digits(pidText);
    std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (pid == 0 && *resourceClass == '\0') {
        lookup.publish(nullptr);  // the desktop itself, or no window
    } else {
        auto target = std::make_shared<PointerTarget>();
        target->className = resourceClass;
        target->instanceName = resourceName;
        if (pid != 0) target->executable = executableOf(pid);
        lookup.publish(std::move(target));
    }
    return sd_bus_reply_method_return(call, "");
}

void KwinPointerApplication::run() {
    for (;;) {
        int rc;
        while ((rc = sd_bus_process(bus_, nullptr)) > 0) {
        }
        if (rc < 0) break;  // the session bus went away
        pollfd watched[] = {{sd_bus_get_fd(bus_), static_cast<short>(sd_bus_get_events(bus_)), 0},
                            {wake_.get().fd, POLLIN, 0}};
        ::poll(watched, 2, pollTimeout(bus_));
        std::uint64_t wakes = 0;
        if (::read(wake_.get().fd, &wakes, sizeof wakes) == sizeof wakes) {
            if (stopping_) break;
            follow(needed_);
        }
    }
    follow(false);
    sd_bus_flush_close_unref(bus_);
    publish(nullptr);
}

}  // namespace glidewheel::platform::linuxdesktop
