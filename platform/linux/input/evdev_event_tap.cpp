// SPDX-License-Identifier: MIT

#include "platform/linux/input/evdev_event_tap.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "platform/linux/base/describe_error.h"
#include "platform/linux/base/thread_priority.h"
#include "platform/linux/input/devices/grabbed_mouse.h"
#include "platform/linux/input/devices/wheel_mouse_monitor.h"
#include "platform/linux/input/rate_limited_log.h"
#include "platform/linux/input/wheel/wheel_frame.h"

namespace glidewheel::platform::linuxdesktop {

// The slow device calls' nice value: against a busy program of nice 0 they get about a tenth of
// a CPU, which is still a mouse opened or a clone destroyed within a second.
constexpr int kSlowCallsNice = 10;

// How long a grab that another program holds is tried again: in a switch between two sessions
// that both smooth, the one coming in hears of it before the one going out lets go.
constexpr auto kBusyRetryInterval = std::chrono::milliseconds(250);
constexpr int kBusyRetries = 20;

// The mice of one tap and what it does with their wheels. Made, used and destroyed on the
// input thread; only isEnabled() is read elsewhere. Opening a mouse with its clone, and
// destroying them, are the service's slow device calls, made on a thread of their own.
class WheelMouseTap : public std::enable_shared_from_this<WheelMouseTap> {
public:
    WheelMouseTap(EvdevEventTapService& service, EventTapOptions options, EventMask mask,
                  EventTapCallback callback, void* userInfo,
                  std::unique_ptr<WheelMouseMonitor> monitor);
    // Lets every mouse go; their clones go with them.
    ~WheelMouseTap();
    WheelMouseTap(const WheelMouseTap&) = delete;
    WheelMouseTap& operator=(const WheelMouseTap&) = delete;

    void start();
    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }
    void setOnLoop(bool onLoop);
    void appendTaken(std::vector<EvdevEventTapService::TakenDevice>& out) const;
    void appendPresent(std::vector<KnownWheelMouse>& out) const;
    // Takes or lets go each mouse present as the service's choices now say.
    void applyWheelMice();

private:
    struct Taken {
        std::shared_ptr<GrabbedMouse> mouse;  // shared only to cross to the slow-call thread
        EventTapProxy proxy;
        std::unique_ptr<InputLoop::Watch> watch;
        int busyRetries = 0;
    };

    void follow(const WheelMouseNode& node);
    void unfollow(std::string_view syspath);
    void takeWheelMouse(const WheelMouseNode& node);
    void adopt(std::shared_ptr<GrabbedMouse> mouse, const std::string& syspath,
               EventTapProxy proxy);
    void forget(std::string_view syspath);
    void onReadable(Taken& taken);
    // Whether the mouse is still held after a grab or read gave `status`: dropped when gone, and
    // when another program has held it for longer than the retries; else a retry is due.
    bool stillHeld(Taken& taken, GrabbedMouse::Status status);
    void retryGrab(std::string_view syspath);
    std::optional<WheelMotion> filterWheel(EventTapProxy proxy, const WheelMotion& released,
                                           std::chrono::nanoseconds time);
    void updateWatch(Taken& taken);
    void drop(Taken& taken);
    void letGo(Taken& taken);  // drops it, or once it has let go by itself
    Taken* find(std::string_view syspath);

    EvdevEventTapService& service_;
    const EventTapOptions options_;
    const bool wantsWheel_;
    const EventTapCallback callback_;
    void* const userInfo_;
    const std::uint32_t id_;
    std::uint32_t nextDeviceSerial_ = 1;
    std::atomic<bool> enabled_ = true;
    bool onLoop_ = false;

    std::unique_ptr<WheelMouseMonitor> monitor_;
    std::vector<std::unique_ptr<Taken>> mice_;
    std::set<std::string, std::less<>> opening_;  // syspaths of mice being opened
    // Every wheel mouse plugged in, taken or left alone, by syspath.
    std::map<std::string, WheelMouseNode, std::less<>> present_;
};

WheelMouseTap::WheelMouseTap(EvdevEventTapService& service, EventTapOptions options, EventMask mask,
                             EventTapCallback callback, void* userInfo,
                             std::unique_ptr<WheelMouseMonitor> monitor)
    : service_(service),
      options_(options),
      wantsWheel_((mask & CGEventMaskBit(kCGEventScrollWheel)) != 0 && callback != nullptr),
      callback_(callback),
      userInfo_(userInfo),
      id_(service.nextTapId_++),
      monitor_(std::move(monitor)) {
    service_.taps_.push_back(this);
}

WheelMouseTap::~WheelMouseTap() {
    monitor_.reset();
    while (!mice_.empty()) drop(*mice_.back());
    std::erase(service_.taps_, this);
}

void WheelMouseTap::start() {
    if (service_.leaveMiceAlone_) return;
    monitor_->start(
        service_.loop_, [this](const WheelMouseNode& node) { follow(node); },
        [this](std::string_view syspath) { unfollow(syspath); });
}

void WheelMouseTap::follow(const WheelMouseNode& node) {
    present_.insert_or_assign(node.syspath, node);
    if (service_.takes(service_.asKnown(node.identity))) takeWheelMouse(node);
    service_.reportWheelMice();
}

void WheelMouseTap::unfollow(std::string_view syspath) {
    forget(syspath);
    if (const auto it = present_.find(syspath); it != present_.end()) {
        present_.erase(it);
        service_.reportWheelMice();
    }
}

void WheelMouseTap::applyWheelMice() {
    for (const auto& [syspath, node] : present_) {
        const KnownWheelMouse known = service_.asKnown(node.identity);
        const bool takes = service_.takes(known);
        Taken* taken = find(syspath);
        if (takes && !taken) {
            takeWheelMouse(node);
        } else if (!takes) {
            if (taken) letGo(*taken);
            opening_.erase(syspath);  // adopt() lets it go
        } else {
            taken->mouse->keepSmoothing();
            taken->mouse->setLeavesFineWheelAlone(!known.smooth);
        }
    }
}

void WheelMouseTap::appendPresent(std::vector<KnownWheelMouse>& out) const {
    for (const auto& [syspath, node] : present_) out.push_back(service_.asKnown(node.identity));
}

// The mouse is opened and cloned on the slow-call thread, then adopted here. The filter it is
// given runs only while this tap holds the mouse, on the input thread.
void WheelMouseTap::takeWheelMouse(const WheelMouseNode& node) {
    if (find(node.syspath) || opening_.contains(node.syspath)) return;
    opening_.insert(node.syspath);
    const EventTapProxy proxy{(std::uint64_t{id_} << 32) | nextDeviceSerial_++};
    service_.slowDeviceCalls_.post(
        [this, tap = weak_from_this(), &loop = service_.loop_, node, proxy] {
            std::shared_ptr<GrabbedMouse> mouse = GrabbedMouse::open(
                node,
                [this, proxy](const WheelMotion& released, std::chrono::nanoseconds time) {
                    return filterWheel(proxy, released, time);
                },
                // What reaches the clone moves the desktop's scroll state, which later posts go
                // by, and its legacy steps.
                [this, proxy](const FrameWheel& written) {
                    service_.clones_.passed(proxy, written.vertical, written.horizontal);
                });
            loop.post([tap, mouse = std::move(mouse), syspath = node.syspath, proxy]() mutable {
                if (auto held = tap.lock()) held->adopt(std::move(mouse), syspath, proxy);
            });
        });
}

void WheelMouseTap::forget(std::string_view syspath) {
    if (Taken* taken = find(syspath)) drop(*taken);
    if (const auto opening = opening_.find(syspath); opening != opening_.end())
        opening_.erase(opening);  // unplugged while being opened: adopt() lets it go
}

void WheelMouseTap::adopt(std::shared_ptr<GrabbedMouse> mouse, const std::string& syspath,
                          EventTapProxy proxy) {
    if (opening_.erase(syspath) == 0 || !mouse) {
        if (mouse) service_.slowDeviceCalls_.post([gone = std::move(mouse)] {});
        return;
    }
    if (const auto node = present_.find(syspath); node != present_.end())
        mouse->setLeavesFineWheelAlone(!service_.asKnown(node->second.identity).smooth);
    service_.clones_.add(proxy, mouse->clone());
    Taken& taken = *mice_.emplace_back(std::make_unique<Taken>(Taken{std::move(mouse), proxy, {}}));
    taken.watch =
        service_.loop_.watchReadable(taken.mouse->fd(), [this, &taken] { onReadable(taken); });
    if (enabled_ && !stillHeld(taken, taken.mouse->grab())) return;
    updateWatch(taken);
}

void WheelMouseTap::onReadable(Taken& taken) {
    // A drop takes its watch too, whose handler this is: the loop allows that.
    if (!stillHeld(taken, taken.mouse->onReadable())) return;
    if (taken.mouse->newlySawFineWheel()) {
        if (const auto node = present_.find(taken.mouse->syspath()); node != present_.end()) {
            service_.noteFineWheel(node->second.identity);  // may drop it
            return;
        }
    }
    if (taken.mouse->lettingGo() && taken.mouse->state() == GrabbedMouse::State::idle) {
        drop(taken);
        return;
    }
    updateWatch(taken);
}

// The callback sees the wheel once a detent has built up, and the clone gets the wheel codes of
// what it lets pass. A listening tap's frames, and every frame of a tap that leaves the wheel
// alone, pass as the mouse sent them, partial detents and all.
std::optional<WheelMotion> WheelMouseTap::filterWheel(EventTapProxy proxy,
                                                      const WheelMotion& released,
                                                      std::chrono::nanoseconds time) {
    bool swallowed = false;
    if (std::optional<Event> event = wheelEvent(released, time); event && wantsWheel_) {
        swallowed = callback_(proxy, kCGEventScrollWheel, &*event, userInfo_) == nullptr;
        // A notch let pass may have cut a glide short (an application that keeps the raw
        // wheel): what settles that glide goes out before it.
        if (!swallowed) service_.clones_.settleNow(proxy);
    }
    if (!wantsWheel_ || options_ == kCGEventTapOptionListenOnly) return std::nullopt;
    return passingMotion(released, swallowed);
}

void WheelMouseTap::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    // Copied: grabbing may drop mice.
    std::vector<Taken*> mice;
    for (const auto& taken : mice_) mice.push_back(taken.get());
    for (Taken* taken : mice) {
        if (taken->mouse->lettingGo()) {
            drop(*taken);  // released: its buttons come up on the clone
            continue;
        }
        if (!enabled) {
            taken->mouse->release();
        } else if (!stillHeld(*taken, taken->mouse->grab())) {
            continue;
        }
        updateWatch(*taken);
    }
}

bool WheelMouseTap::stillHeld(Taken& taken, GrabbedMouse::Status status) {
    if (status == GrabbedMouse::Status::ok) {
        taken.busyRetries = 0;
        return true;
    }
    if (status == GrabbedMouse::Status::busy && taken.busyRetries++ < kBusyRetries) {
        service_.loop_.postAt(InputLoop::Clock::now() + kBusyRetryInterval,
                              [tap = weak_from_this(), syspath = taken.mouse->syspath()] {
                                  if (auto held = tap.lock()) held->retryGrab(syspath);
                              });
        return true;
    }
    if (status == GrabbedMouse::Status::busy)
        logInputProblem(describeError("cannot grab", taken.mouse->devnode(), EBUSY));
    drop(taken);
    return false;
}

void WheelMouseTap::retryGrab(std::string_view syspath) {
    Taken* taken = find(syspath);
    if (!taken || !enabled_ || taken->mouse->state() != GrabbedMouse::State::idle) return;
    if (stillHeld(*taken, taken->mouse->grab())) updateWatch(*taken);
}

void WheelMouseTap::setOnLoop(bool onLoop) {
    onLoop_ = onLoop;
    for (const auto& taken : mice_) updateWatch(*taken);
}

void WheelMouseTap::updateWatch(Taken& taken) {
    taken.watch->setEnabled(onLoop_ && taken.mouse->state() != GrabbedMouse::State::idle);
}

// Released here, so that once a disable or removal returns nothing is grabbed; the clone and the
// descriptor go on the slow-call thread, in the task that holds the last reference.
void WheelMouseTap::drop(Taken& taken) {
    service_.clones_.remove(taken.proxy);  // before the clone goes: posts may come meanwhile
    taken.mouse->release();
    std::shared_ptr<GrabbedMouse> mouse = std::move(taken.mouse);
    const auto it = std::find_if(mice_.begin(), mice_.end(),
                                 [&taken](const auto& held) { return held.get() == &taken; });
    if (it != mice_.end()) mice_.erase(it);
    service_.slowDeviceCalls_.post([gone = std::move(mouse)] {});
}

void WheelMouseTap::letGo(Taken& taken) {
    taken.mouse->letGo();
    if (taken.mouse->state() == GrabbedMouse::State::idle) drop(taken);
}

WheelMouseTap::Taken* WheelMouseTap::find(std::string_view syspath) {
    for (const auto& taken : mice_) {
        if (taken->mouse->syspath() == syspath) return taken.get();
    }
    return nullptr;
}

void WheelMouseTap::appendTaken(std::vector<EvdevEventTapService::TakenDevice>& out) const {
    for (const auto& taken : mice_) {
        const GrabbedMouse& mouse = *taken->mouse;
        out.push_back(EvdevEventTapService::TakenDevice{
            mouse.devnode(), mouse.name(), mouse.clone().devnode(),
            mouse.state() == GrabbedMouse::State::grabbed, taken->proxy});
    }
}

namespace {

// The tap as the main thread holds it: every change is handed to the input thread and waited
// for.
class EvdevEventTap final : public EventTap {
public:
    EvdevEventTap(InputLoop& loop, std::shared_ptr<WheelMouseTap> tap)
        : loop_(loop), tap_(std::move(tap)) {}
    ~EvdevEventTap() override {
        loop_.runAndWait([this] { tap_.reset(); });
    }
    void setEnabled(bool enabled) override {
        loop_.runAndWait([&] { tap_->setEnabled(enabled); });
    }
    bool isEnabled() const override { return tap_->isEnabled(); }
    const std::shared_ptr<WheelMouseTap>& tap() const { return tap_; }

private:
    InputLoop& loop_;
    std::shared_ptr<WheelMouseTap> tap_;
};

// Puts the tap on the input loop, the counterpart here of the main run loop. Outliving its tap
// is harmless: it then reaches nothing.
class EvdevRunLoopSource final : public RunLoopSource {
public:
    EvdevRunLoopSource(InputLoop& loop, std::weak_ptr<WheelMouseTap> tap)
        : loop_(loop), tap_(std::move(tap)) {}
    ~EvdevRunLoopSource() override { removeFromMainRunLoop(); }
    void addToMainRunLoop() override { setOnLoop(true); }
    void removeFromMainRunLoop() override { setOnLoop(false); }

private:
    void setOnLoop(bool on) {
        if (on == added_) return;
        added_ = on;
        if (auto tap = tap_.lock()) loop_.runAndWait([&] { tap->setOnLoop(on); });
    }

    InputLoop& loop_;
    std::weak_ptr<WheelMouseTap> tap_;
    bool added_ = false;
};

}  // namespace

EvdevEventTapService::EvdevEventTapService(bool leaveMiceAlone) : leaveMiceAlone_(leaveMiceAlone) {
    // The slow calls give way to the input thread when it wakes: on one core the two share, a
    // mouse appearing must not hold up another one's motion. A lower priority, not an idle one:
    // busy programs on every CPU would starve an idle thread for seconds, leaving a new mouse
    // untaken and a gone one's clone standing. Lowering one's own priority needs no privilege.
    slowDeviceCalls_.post(
        [] { setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kSlowCallsNice); });
    // Raising the input thread's may wait on the system bus, which neither that thread nor the
    // mice being opened should.
    pid_t inputThread = 0;
    loop_.runAndWait([&] {
        inputThread = gettid();
        followSession();
    });
    priorityRequest_ = raiseOnTheMousePath(inputThread, "input thread");
}

EvdevEventTapService::~EvdevEventTapService() {
    loop_.runAndWait([&] { sessionWatch_.reset(); });
}

void EvdevEventTapService::followSession() {
    session_ = SessionActivity::create();
    if (!session_) return;
    sessionActive_ = session_->isActive();
    sessionWatch_ = loop_.watchReadable(session_->fd(), [this] {
        if (session_->changed() == sessionActive_) return;
        sessionActive_ = !sessionActive_;
        for (WheelMouseTap* tap : taps_) tap->applyWheelMice();
    });
}

std::unique_ptr<EventTap> EvdevEventTapService::createTap(EventTapLocation, EventTapPlacement,
                                                          EventTapOptions options,
                                                          EventMask eventsOfInterest,
                                                          EventTapCallback callback,
                                                          void* userInfo) {
    // Posting needs uinput; each clone opens it anew.
    if (!adoptFd(::open("/dev/uinput", O_RDWR | O_CLOEXEC))) {
        logInputProblem(describeError("cannot open", "/dev/uinput", errno));
        return nullptr;
    }
    std::unique_ptr<WheelMouseMonitor> monitor = WheelMouseMonitor::create();
    if (!monitor) return nullptr;
    std::shared_ptr<WheelMouseTap> tap;
    loop_.runAndWait([&] {
        tap = std::make_shared<WheelMouseTap>(*this, options, eventsOfInterest, callback, userInfo,
                                              std::move(monitor));
        tap->start();
    });
    return std::make_unique<EvdevEventTap>(loop_, std::move(tap));
}

std::unique_ptr<RunLoopSource> EvdevEventTapService::createRunLoopSource(EventTap& tap) {
    auto* ours = dynamic_cast<EvdevEventTap*>(&tap);
    if (ours == nullptr) return nullptr;
    return std::make_unique<EvdevRunLoopSource>(loop_, ours->tap());
}

void EvdevEventTapService::postEvent(EventTapProxy proxy, const Event& event) {
    clones_.post(proxy, event);
}

void EvdevEventTapService::setWheelMice(std::vector<KnownWheelMouse> mice) {
    loop_.runAndWait([&] {
        wheelMice_ = std::move(mice);
        for (WheelMouseTap* tap : taps_) tap->applyWheelMice();
    });
}

void EvdevEventTapService::setWheelMiceListener(WheelMiceListener listener) {
    loop_.runAndWait([&] {
        wheelMiceListener_ = std::move(listener);
        reportWheelMice();
    });
}

// The settings' entry for the mouse where there is one, with what this run saw of its wheel.
KnownWheelMouse EvdevEventTapService::asKnown(const KnownWheelMouse& seen) const {
    const std::string id = seen.id();
    const auto entry =
        std::find_if(wheelMice_.begin(), wheelMice_.end(),
                     [&id](const KnownWheelMouse& mouse) { return mouse.id() == id; });
    KnownWheelMouse known = entry != wheelMice_.end() ? *entry : seen;
    known.fineWheel = known.fineWheel || fineWheels_.contains(id);
    return known;
}

void EvdevEventTapService::noteFineWheel(const KnownWheelMouse& seen) {
    fineWheels_.insert(seen.id());
    for (WheelMouseTap* tap : taps_) tap->applyWheelMice();
    reportWheelMice();
}

void EvdevEventTapService::reportWheelMice() const {
    if (!wheelMiceListener_) return;
    std::vector<KnownWheelMouse> present;
    for (const WheelMouseTap* tap : taps_) tap->appendPresent(present);
    wheelMiceListener_(std::move(present));
}

std::vector<EvdevEventTapService::TakenDevice> EvdevEventTapService::takenDevices() const {
    std::vector<TakenDevice> taken;
    loop_.runAndWait([&] {
        for (const WheelMouseTap* tap : taps_) tap->appendTaken(taken);
    });
    return taken;
}

}  // namespace glidewheel::platform::linuxdesktop
