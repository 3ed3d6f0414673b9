#include "platform/linux/input/evdev_event_tap.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/linux/input/clone_sink.h"
#include "platform/linux/input/device_probe.h"
#include "platform/linux/input/handles.h"
#include "platform/linux/input/rate_limited_log.h"
#include "platform/linux/input/wheel_frame.h"

namespace glidewheel::platform::linuxdesktop {

namespace {

// A device that never ends its frames is passed through in pieces of this many events.
constexpr std::size_t kMaxFrameEvents = 256;

bool anyKeyHeld(const libevdev* device) {
    for (unsigned code = 0; code <= KEY_MAX; ++code) {
        if (libevdev_get_event_value(device, EV_KEY, code) != 0) return true;
    }
    return false;
}

// "cannot grab /dev/input/event5: Device or resource busy"
void logDeviceProblem(std::string_view what, std::string_view devnode, int error) {
    std::string message(what);
    message += ' ';
    message += devnode;
    message += ": ";
    message += std::strerror(error);
    logInputProblem(message);
}

// libevdev's own complaints (a device flooding its buffer, say) go through our rate limit.
void logFromLibevdev(const libevdev*, libevdev_log_priority, void*, const char*, int,
                     const char*, const char* format, va_list args) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    std::string_view message(text);
    while (message.ends_with('\n')) message.remove_suffix(1);
    logInputProblem(message);
}

}  // namespace

// Everything of one tap. Lives on the main thread; only its clones are reached from others,
// through the service's registry.
class EvdevTapCore {
public:
    EvdevTapCore(EvdevEventTapService& service, EventTapOptions options, EventMask mask,
                 EventTapCallback callback, void* userInfo, UdevPtr context,
                 UdevMonitorPtr monitor);
    ~EvdevTapCore();

    void start();
    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }
    void setOnMainLoop(bool onMainLoop);
    void appendTaken(std::vector<EvdevEventTapService::TakenDevice>& out) const;

private:
    enum class State { idle, awaitingRelease, grabbed };

    struct Mouse {
        std::string syspath;
        std::string devnode;
        std::string name;
        UniqueFd fd;
        LibevdevPtr device;
        WheelResolution resolution;
        std::unique_ptr<CloneSink> clone;
        EventTapProxy proxy;
        State state = State::idle;
        std::vector<input_event> frame;  // the frame being read
        DetentAccumulator detents;       // wheel units not yet handed to the callback
        std::unique_ptr<MainLoop::Watch> watch;
    };

    void onMonitorReadable();
    void consider(udev_device* node);
    void onMouseReadable(Mouse& mouse);
    void grab(Mouse& mouse);
    void release(Mouse& mouse);
    bool drain(Mouse& mouse);
    void readFrames(Mouse& mouse);
    void resynchronise(Mouse& mouse);
    void handleFrame(Mouse& mouse);
    void updateWatch(Mouse& mouse);
    void remove(Mouse& mouse);
    void forgetRetired() { retired_.clear(); }
    Mouse* find(std::string_view syspath);

    EvdevEventTapService& service_;
    const EventTapOptions options_;
    const bool wantsWheel_;
    const EventTapCallback callback_;
    void* const userInfo_;
    const std::uint32_t id_;
    std::uint32_t nextDeviceSerial_ = 1;
    bool enabled_ = true;
    bool onMainLoop_ = false;

    UdevPtr context_;
    UdevMonitorPtr monitor_;
    std::unique_ptr<MainLoop::Watch> monitorWatch_;
    std::vector<std::unique_ptr<Mouse>> mice_;
    // Removed mice, kept (released, without clone, watch disabled) until the next handler
    // starts: the code that removed one, often that mouse's own handler, may still hold it.
    std::vector<std::unique_ptr<Mouse>> retired_;
};

EvdevTapCore::EvdevTapCore(EvdevEventTapService& service, EventTapOptions options, EventMask mask,
                           EventTapCallback callback, void* userInfo, UdevPtr context,
                           UdevMonitorPtr monitor)
    : service_(service),
      options_(options),
      wantsWheel_((mask & CGEventMaskBit(kCGEventScrollWheel)) != 0 && callback != nullptr),
      callback_(callback),
      userInfo_(userInfo),
      id_(service.registerTap(this)),
      context_(std::move(context)),
      monitor_(std::move(monitor)) {}

EvdevTapCore::~EvdevTapCore() {
    monitorWatch_.reset();
    while (!mice_.empty()) remove(*mice_.back());
    retired_.clear();
    service_.unregisterTap(this);
}

void EvdevTapCore::start() {
    // The monitor runs before the enumeration, so no mouse slips between them; one seen twice
    // is taken once.
    monitorWatch_ = service_.mainLoop_.watchReadable(udev_monitor_get_fd(monitor_.get()),
                                                     [this] { onMonitorReadable(); });
    forEachEventNode(context_.get(), [this](udev_device* node) { consider(node); });
}

void EvdevTapCore::onMonitorReadable() {
    forgetRetired();
    while (UdevDevicePtr node{udev_monitor_receive_device(monitor_.get())}) {
        const char* action = udev_device_get_action(node.get());
        const std::string_view what = action ? action : "";
        if (what == "add") {
            consider(node.get());
        } else if (what == "remove") {
            if (Mouse* mouse = find(udev_device_get_syspath(node.get()))) remove(*mouse);
        }
    }
}

void EvdevTapCore::consider(udev_device* node) {
    const char* sysname = udev_device_get_sysname(node);
    const char* syspath = udev_device_get_syspath(node);
    const char* devnode = udev_device_get_devnode(node);
    if (!sysname || !syspath || !devnode) return;
    if (!std::string_view(sysname).starts_with("event") || find(syspath)) return;

    // Judge by sysfs first, so that keyboards and the like are never even opened.
    DeviceCapabilities caps = capabilitiesFromSysfs(node);
    addUdevTags(node, caps);
    if (!isWheelMouse(caps)) return;

    auto mouse = std::make_unique<Mouse>();
    mouse->syspath = syspath;
    mouse->devnode = devnode;
    mouse->fd = adoptFd(::open(devnode, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!mouse->fd) {
        logDeviceProblem("cannot open", devnode, errno);
        return;
    }
    mouse->device.reset(libevdev_new());
    if (!mouse->device) return;
    libevdev* device = mouse->device.get();
    libevdev_set_device_log_function(device, &logFromLibevdev, LIBEVDEV_LOG_ERROR, nullptr);
    if (const int rc = libevdev_set_fd(device, mouse->fd.get().fd); rc != 0) {
        logDeviceProblem("cannot read", devnode, -rc);
        return;
    }
    DeviceCapabilities opened = capabilitiesOf(device);
    addUdevTags(node, opened);
    if (!isWheelMouse(opened)) return;

    mouse->name = opened.name;
    mouse->resolution = wheelResolutionOf(device);
    std::string error;
    mouse->clone = CloneSink::create(device, error);
    if (!mouse->clone) {
        logInputProblem("cannot make a virtual mouse for " + std::string(devnode) + ": " + error);
        return;
    }
    mouse->proxy = EventTapProxy{(std::uint64_t{id_} << 32) | nextDeviceSerial_++};
    service_.registerClone(mouse->proxy, mouse->clone.get());
    Mouse& added = *mice_.emplace_back(std::move(mouse));
    added.watch = service_.mainLoop_.watchReadable(added.fd.get().fd,
                                                   [this, &added] { onMouseReadable(added); });
    if (enabled_) grab(added);
    updateWatch(added);
}

// Grabs once no key or button is held (a grab in the middle of a click would leave the desktop
// with a button that never comes up), then drops what was queued before the grab: the desktop
// has already had it.
void EvdevTapCore::grab(Mouse& mouse) {
    if (!drain(mouse)) return;
    if (anyKeyHeld(mouse.device.get())) {
        mouse.state = State::awaitingRelease;
        return;
    }
    if (const int rc = libevdev_grab(mouse.device.get(), LIBEVDEV_GRAB); rc != 0) {
        // EBUSY: another program holds it; leave it to that program.
        logDeviceProblem("cannot grab", mouse.devnode, -rc);
        remove(mouse);
        return;
    }
    if (!drain(mouse)) return;
    if (anyKeyHeld(mouse.device.get())) {
        // Pressed just before the grab: the desktop saw the press, so it must see the release.
        libevdev_grab(mouse.device.get(), LIBEVDEV_UNGRAB);
        mouse.state = State::awaitingRelease;
        return;
    }
    mouse.frame.clear();
    mouse.detents = {};  // the desktop had the wheel since the last grab
    mouse.state = State::grabbed;
}

// Lets the mouse go to the desktop directly. Whatever the clone holds pressed is released on
// it first, or the desktop would keep it pressed.
void EvdevTapCore::release(Mouse& mouse) {
    if (mouse.state == State::grabbed) {
        std::vector<input_event> frame;
        for (unsigned code = 0; code <= KEY_MAX; ++code) {
            if (libevdev_get_event_value(mouse.device.get(), EV_KEY, code) == 0) continue;
            input_event up{};
            up.type = EV_KEY;
            up.code = static_cast<std::uint16_t>(code);
            frame.push_back(up);
        }
        if (!frame.empty()) {
            input_event report{};
            report.type = EV_SYN;
            report.code = SYN_REPORT;
            frame.push_back(report);
            mouse.clone->writeFrame(frame);
        }
        libevdev_grab(mouse.device.get(), LIBEVDEV_UNGRAB);
    }
    mouse.state = State::idle;
    mouse.frame.clear();
}

// Reads and drops everything queued, keeping libevdev's view of the keys current. False when
// the mouse is gone (and removed).
bool EvdevTapCore::drain(Mouse& mouse) {
    unsigned flags = LIBEVDEV_READ_FLAG_NORMAL;
    for (;;) {
        input_event event;
        const int rc = libevdev_next_event(mouse.device.get(), flags, &event);
        if (rc == LIBEVDEV_READ_STATUS_SYNC) {
            flags = LIBEVDEV_READ_FLAG_SYNC;
        } else if (rc == -EAGAIN) {
            if (flags == LIBEVDEV_READ_FLAG_NORMAL) return true;
            flags = LIBEVDEV_READ_FLAG_NORMAL;
        } else if (rc != LIBEVDEV_READ_STATUS_SUCCESS) {
            if (rc != -ENODEV) logDeviceProblem("cannot read", mouse.devnode, -rc);
            remove(mouse);
            return false;
        }
    }
}

void EvdevTapCore::onMouseReadable(Mouse& mouse) {
    forgetRetired();
    switch (mouse.state) {
        case State::awaitingRelease:
            grab(mouse);
            if (find(mouse.syspath)) updateWatch(mouse);
            break;
        case State::grabbed:
            readFrames(mouse);
            break;
        case State::idle:
            break;
    }
}

void EvdevTapCore::readFrames(Mouse& mouse) {
    // Stops when the callback disabled the tap, or the mouse is gone.
    while (mouse.state == State::grabbed) {
        input_event event;
        const int rc = libevdev_next_event(mouse.device.get(), LIBEVDEV_READ_FLAG_NORMAL, &event);
        if (rc == -EAGAIN) return;
        if (rc == LIBEVDEV_READ_STATUS_SYNC) {
            // SYN_DROPPED: the frame in progress is incomplete; drop it and bring the clone up
            // to the state libevdev recovers.
            mouse.frame.clear();
            resynchronise(mouse);
            continue;
        }
        if (rc != LIBEVDEV_READ_STATUS_SUCCESS) {
            if (rc != -ENODEV) logDeviceProblem("cannot read", mouse.devnode, -rc);
            remove(mouse);
            return;
        }
        mouse.frame.push_back(event);
        if (event.type == EV_SYN && event.code == SYN_REPORT) {
            handleFrame(mouse);
        } else if (mouse.frame.size() >= kMaxFrameEvents) {
            mouse.clone->writeFrame(mouse.frame);
            mouse.frame.clear();
        }
    }
}

void EvdevTapCore::resynchronise(Mouse& mouse) {
    std::vector<input_event> frame;
    for (;;) {
        input_event event;
        const int rc = libevdev_next_event(mouse.device.get(), LIBEVDEV_READ_FLAG_SYNC, &event);
        if (rc != LIBEVDEV_READ_STATUS_SYNC) break;  // -EAGAIN: in sync again
        frame.push_back(event);
        if (event.type == EV_SYN && event.code == SYN_REPORT) {
            mouse.clone->writeFrame(frame);
            frame.clear();
        }
    }
    if (!frame.empty()) mouse.clone->writeFrame(frame);
}

// The callback sees the wheel once a detent has built up (see DetentAccumulator), and the clone
// gets the wheel codes of what it lets pass; the frame's other codes pass at once. A listening
// tap's frames, and every frame of a tap that leaves the wheel alone, pass as the mouse sent them.
void EvdevTapCore::handleFrame(Mouse& mouse) {
    std::optional<WheelMotion> passed;
    if (wantsWheel_) {
        const WheelMotion released = mouse.detents.add(wheelMotion(mouse.frame, mouse.resolution));
        bool swallowed = false;
        if (std::optional<Event> event = wheelEvent(released)) {
            swallowed = callback_(mouse.proxy, kCGEventScrollWheel, &*event, userInfo_) == nullptr;
        }
        if (options_ != kCGEventTapOptionListenOnly) passed = swallowed ? WheelMotion{} : released;
    }
    const std::vector<input_event> out = cloneFrame(mouse.frame, mouse.resolution, passed);
    mouse.frame.clear();
    mouse.clone->writeFrame(out);
}

void EvdevTapCore::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    // Copied: grabbing may remove mice.
    std::vector<Mouse*> mice;
    for (const auto& mouse : mice_) mice.push_back(mouse.get());
    for (Mouse* mouse : mice) {
        if (enabled) {
            grab(*mouse);
        } else {
            release(*mouse);
        }
        if (find(mouse->syspath) == mouse) updateWatch(*mouse);
    }
}

void EvdevTapCore::setOnMainLoop(bool onMainLoop) {
    onMainLoop_ = onMainLoop;
    for (const auto& mouse : mice_) updateWatch(*mouse);
}

void EvdevTapCore::updateWatch(Mouse& mouse) {
    if (mouse.watch) mouse.watch->setEnabled(onMainLoop_ && mouse.state != State::idle);
}

void EvdevTapCore::remove(Mouse& mouse) {
    service_.unregisterClone(mouse.proxy);
    if (mouse.watch) mouse.watch->setEnabled(false);
    if (mouse.state == State::grabbed) libevdev_grab(mouse.device.get(), LIBEVDEV_UNGRAB);
    mouse.state = State::idle;
    mouse.clone.reset();  // the desktop drops the clone, and any button it held, now
    const auto it = std::find_if(mice_.begin(), mice_.end(),
                                 [&mouse](const auto& held) { return held.get() == &mouse; });
    if (it == mice_.end()) return;
    retired_.push_back(std::move(*it));
    mice_.erase(it);
}

EvdevTapCore::Mouse* EvdevTapCore::find(std::string_view syspath) {
    for (const auto& mouse : mice_) {
        if (mouse->syspath == syspath) return mouse.get();
    }
    return nullptr;
}

void EvdevTapCore::appendTaken(std::vector<EvdevEventTapService::TakenDevice>& out) const {
    for (const auto& mouse : mice_) {
        out.push_back(EvdevEventTapService::TakenDevice{mouse->devnode, mouse->name,
                                                        mouse->clone->devnode(),
                                                        mouse->state == State::grabbed,
                                                        mouse->proxy});
    }
}

namespace {

class EvdevEventTap final : public EventTap {
public:
    explicit EvdevEventTap(std::shared_ptr<EvdevTapCore> core) : core_(std::move(core)) {}
    void setEnabled(bool enabled) override { core_->setEnabled(enabled); }
    bool isEnabled() const override { return core_->isEnabled(); }
    const std::shared_ptr<EvdevTapCore>& core() const { return core_; }

private:
    std::shared_ptr<EvdevTapCore> core_;
};

// Outliving its tap is harmless: it then reaches nothing.
class EvdevRunLoopSource final : public RunLoopSource {
public:
    explicit EvdevRunLoopSource(std::weak_ptr<EvdevTapCore> core) : core_(std::move(core)) {}
    ~EvdevRunLoopSource() override { removeFromMainRunLoop(); }
    void addToMainRunLoop() override { setOnMainLoop(true); }
    void removeFromMainRunLoop() override { setOnMainLoop(false); }

private:
    void setOnMainLoop(bool on) {
        if (on == added_) return;
        added_ = on;
        if (auto core = core_.lock()) core->setOnMainLoop(on);
    }

    std::weak_ptr<EvdevTapCore> core_;
    bool added_ = false;
};

}  // namespace

EvdevEventTapService::EvdevEventTapService(MainLoop& mainLoop) : mainLoop_(mainLoop) {}

EvdevEventTapService::~EvdevEventTapService() = default;

std::unique_ptr<EventTap> EvdevEventTapService::createTap(EventTapLocation, EventTapPlacement,
                                                          EventTapOptions options,
                                                          EventMask eventsOfInterest,
                                                          EventTapCallback callback,
                                                          void* userInfo) {
    // Posting needs uinput; each clone opens it anew.
    if (!adoptFd(::open("/dev/uinput", O_RDWR | O_CLOEXEC))) {
        logDeviceProblem("cannot open", "/dev/uinput", errno);
        return nullptr;
    }
    UdevPtr context(udev_new());
    if (!context) return nullptr;
    // Without a udev daemon (a bare system), the kernel's own announcements are all there is;
    // with one, its announcements come after it has set the node's permissions.
    UdevMonitorPtr monitor(
        udev_monitor_new_from_netlink(context.get(), udevDaemonRuns() ? "udev" : "kernel"));
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "input", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
        logInputProblem("cannot follow input devices through udev");
        return nullptr;
    }
    auto core = std::make_shared<EvdevTapCore>(*this, options, eventsOfInterest, callback,
                                               userInfo, std::move(context), std::move(monitor));
    core->start();
    return std::make_unique<EvdevEventTap>(std::move(core));
}

std::unique_ptr<RunLoopSource> EvdevEventTapService::createRunLoopSource(EventTap& tap) {
    auto* ours = dynamic_cast<EvdevEventTap*>(&tap);
    if (ours == nullptr) return nullptr;
    return std::make_unique<EvdevRunLoopSource>(ours->core());
}

void EvdevEventTapService::postEvent(EventTapProxy proxy, const Event& event) {
    std::scoped_lock guard(clonesMutex_);
    const auto it = clones_.find(proxy.id);
    if (it != clones_.end()) it->second->post(event);
}

std::vector<EvdevEventTapService::TakenDevice> EvdevEventTapService::takenDevices() const {
    std::vector<TakenDevice> taken;
    for (const EvdevTapCore* tap : taps_) tap->appendTaken(taken);
    return taken;
}

std::uint32_t EvdevEventTapService::registerTap(EvdevTapCore* tap) {
    taps_.push_back(tap);
    return nextTapId_++;
}

void EvdevEventTapService::unregisterTap(EvdevTapCore* tap) { std::erase(taps_, tap); }

void EvdevEventTapService::registerClone(EventTapProxy proxy, CloneSink* clone) {
    std::scoped_lock guard(clonesMutex_);
    clones_[proxy.id] = clone;
}

void EvdevEventTapService::unregisterClone(EventTapProxy proxy) {
    std::scoped_lock guard(clonesMutex_);
    clones_.erase(proxy.id);
}

}  // namespace glidewheel::platform::linuxdesktop
