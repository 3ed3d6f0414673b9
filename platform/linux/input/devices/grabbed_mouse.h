// SPDX-License-Identifier: MIT

#pragma once

#include <linux/input.h>

#include <bitset>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/input/devices/clone_sink.h"
#include "platform/linux/input/devices/handles.h"
#include "platform/linux/input/devices/wheel_mouse_monitor.h"
#include "platform/linux/input/rate_limited_log.h"
#include "platform/linux/input/wheel/wheel_frame.h"

namespace glidewheel::platform::linuxdesktop {

// Whether a frame moves a high-resolution wheel by a step finer than half a detent (60 units):
// a wheel that does already scrolls finely. Half detents are still steps to glide (some wheels
// click twice a detent).
bool movesWheelFinely(std::span<const input_event> frame);

// One wheel mouse taken by a tap, and the uinput clone that stands in for it: grabbing and
// releasing it, draining what the desktop already had, reading its frames and forwarding them
// to the clone (one write() per frame), and resynchronising the clone after the kernel dropped
// events. Input thread only, but for opening and destroying.
class GrabbedMouse {
public:
    enum class State {
        idle,             // not grabbed: the tap is disabled
        awaitingRelease,  // not grabbed yet: a key or button is held
        grabbed,
    };
    // Whether the mouse can still be used: `gone` when it was unplugged, cannot be read, or
    // another program holds its grab. Its owner then drops it.
    // busy: another program holds the grab; the mouse stays idle, to be grabbed again later.
    enum class Status { ok, gone, busy };

    // Decides what of a frame's wheel reaches the clone. Given the wheel motion the frame
    // releases (at most one detent's worth per event, see DetentAccumulator; often none), it
    // returns the motion to write in place of the frame's wheel codes, or nothing to pass them
    // as the mouse sent them. `time` is when the kernel stamped the frame.
    using WheelFilter = std::function<std::optional<WheelMotion>(const WheelMotion& released,
                                                                 std::chrono::nanoseconds time)>;
    // Hears the wheel codes of each frame written to the clone that carries any, exactly as
    // written: whatever the filter decided, and whatever the mouse sent that it let pass.
    using WheelWritten = std::function<void(const FrameWheel& written)>;

    // Opens the event node and makes its clone. Null when the opened device is no wheel mouse
    // after all, or it or its clone cannot be made (logged). Any thread: the kernel takes 10 to
    // 30 ms for it under emulation, too long for the input thread.
    static std::unique_ptr<GrabbedMouse> open(const WheelMouseNode& node, WheelFilter wheelFilter,
                                              WheelWritten wheelWritten);

    GrabbedMouse(const GrabbedMouse&) = delete;
    GrabbedMouse& operator=(const GrabbedMouse&) = delete;
    // Lets go of the grab; the clone goes, and the desktop drops whatever it held pressed. Any
    // thread: destroying the clone and closing the mouse take the kernel 20 to 100 ms under
    // emulation, so the tap does it away from the input thread, after release().
    ~GrabbedMouse();

    const std::string& syspath() const { return syspath_; }
    const std::string& devnode() const { return devnode_; }
    const std::string& name() const { return name_; }
    int fd() const { return fd_.get().fd; }
    CloneSink& clone() { return *clone_; }
    const CloneSink& clone() const { return *clone_; }
    State state() const { return state_; }
    // True once, after the first frame that moved its wheel finely (movesWheelFinely).
    bool newlySawFineWheel() { return std::exchange(fineWheelUnreported_, false); }
    // With `leave`, the first fine step starts letting the mouse go (letGo()), so that its wheel
    // goes on reaching the desktop as it is.
    void setLeavesFineWheelAlone(bool leave) { leavesFineWheelAlone_ = leave; }
    // Releases the mouse, at once or, while the clone holds a button, once it comes up: letting
    // go mid-click would end the click. Until then its frames reach the clone as sent.
    void letGo();
    bool lettingGo() const { return lettingGo_; }
    void keepSmoothing() { lettingGo_ = false; }  // the letting go is called off

    // Grabs once no key or button is held (a grab in the middle of a click would leave the
    // desktop with a button that never comes up); until then the mouse awaits the release.
    Status grab();
    // Lets the mouse go to the desktop directly, forwarding the frames that came before and
    // releasing on the clone whatever the clone holds pressed, or the desktop would keep it
    // pressed.
    void release();
    // Its descriptor is readable: grabs a mouse that awaits the release, forwards the frames
    // of a grabbed one.
    Status onReadable();

private:
    GrabbedMouse() = default;
    Status drain();
    Status drain(std::chrono::nanoseconds since, std::vector<input_event>& after);
    Status readFrames();
    void take(const input_event& event);  // the next event read from a grabbed mouse
    void resynchronise();
    void forwardFrame();
    bool writeToClone(std::span<const input_event> frame);

    std::string syspath_;
    std::string devnode_;
    std::string name_;
    UniqueFd fd_;
    // A second reader of the mouse that never grabs it, and is read only at a grab's edges: it
    // is given what the desktop is given, so it tells which frames the desktop had.
    UniqueFd witness_;
    LibevdevPtr device_;
    WheelResolution resolution_;
    WheelFilter wheelFilter_;
    WheelWritten wheelWritten_;
    std::unique_ptr<CloneSink> clone_;
    State state_ = State::idle;
    std::vector<input_event> frame_;  // the frame being read
    bool forwarding_ = false;         // the wheel filter runs
    DetentAccumulator detents_;       // wheel units not yet released to the filter
    // The keys and buttons the clone holds pressed: what a release or a resynchronisation must
    // put right. libevdev's view of the mouse is no guide after a SYN_DROPPED, as it may hold
    // changes of a frame that never reached the clone.
    std::bitset<KEY_CNT> clonePressed_;
    bool lettingGo_ = false;
    bool fineWheelSeen_ = false;
    bool fineWheelUnreported_ = false;
    bool leavesFineWheelAlone_ = false;
    // Per mouse, so that one mouse that keeps overflowing cannot silence another: 5 lines per
    // 30 s.
    RateLimit droppedLog_{5, std::chrono::seconds(30)};
    // When a read last found the kernel's buffer empty: an overflow's log says how long it had
    // gone unread, which tells a thread held up from a burst of events.
    std::chrono::steady_clock::time_point emptiedAt_;
};

}  // namespace glidewheel::platform::linuxdesktop
