// SPDX-License-Identifier: MIT

#include "tests/device/motion_stream.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace glidewheel::devicetest {

using platform::linuxdesktop::adoptFd;
using namespace std::chrono_literals;

namespace {

MotionStream::Clock::time_point timeOf(const input_event& event) {
    return MotionStream::Clock::time_point(std::chrono::seconds(event.input_event_sec) +
                                           std::chrono::microseconds(event.input_event_usec));
}

double ms(MotionStream::Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

}  // namespace

MotionStream::MotionStream(TestMouse& mouse, const std::string& cloneNode)
    : mouse_(mouse), clone_(adoptFd(open(cloneNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))) {
    if (!clone_) throw std::system_error(errno, std::generic_category(), "opening " + cloneNode);
    int clock = CLOCK_MONOTONIC;
    if (ioctl(clone_.get().fd, EVIOCSCLOCKID, &clock) != 0)
        throw std::system_error(errno, std::generic_category(), "EVIOCSCLOCKID");
    reader_ = std::jthread([this](std::stop_token stop) { readClone(stop); });
    sender_ = std::jthread([this](std::stop_token stop) { sendMotion(stop); });
}

MotionStream::~MotionStream() {
    if (sender_.joinable()) stop();
}

void MotionStream::sendBetween(Frame frame) {
    std::scoped_lock guard(mutex_);
    extra_.push_back(std::move(frame));
}

// Absolute deadlines a millisecond apart. When the whole VM was held up (its emulator waits for
// the host's CPU), the slots it missed are skipped, not sent in a burst: a mouse reports once
// per poll of its bus, whatever it has gathered, and a burst would overflow the kernel buffer
// however fast the tap reads.
void MotionStream::sendMotion(std::stop_token stop) {
    timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    while (!stop.stop_requested()) {
        next.tv_nsec += 1'000'000;
        if (next.tv_nsec >= 1'000'000'000) next.tv_nsec -= 1'000'000'000, ++next.tv_sec;
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if ((now.tv_sec - next.tv_sec) * 1'000'000'000 + (now.tv_nsec - next.tv_nsec) > 1'000'000)
            next = now;
        const int number = static_cast<int>(sentAt_.size()) + 1;
        sentAt_.push_back(Clock::now());
        mouse_.send({{EV_REL, REL_X, 1}, {EV_REL, REL_Y, number}});
        std::vector<Frame> extra;
        {
            std::scoped_lock guard(mutex_);
            extra.swap(extra_);
        }
        for (Frame& frame : extra) mouse_.send(std::move(frame));
    }
}

void MotionStream::readClone(std::stop_token stop) {
    int number = 0;  // the frame's number, 0 while none was read (numbers start at 1)
    while (!stop.stop_requested()) {
        pollfd ready{clone_.get().fd, POLLIN, 0};
        poll(&ready, 1, 20);
        input_event event;
        while (read(clone_.get().fd, &event, sizeof event) == sizeof event) {
            if (event.type == EV_REL && event.code == REL_Y) number = event.value;
            if (event.type == EV_REL && event.code == REL_WHEEL_HI_RES) {
                wheel_.wheelUnits += event.value;
                wheel_.lastWheel = timeOf(event);
            }
            if (event.type != EV_SYN || event.code != SYN_REPORT) continue;
            frameTimes_.push_back(timeOf(event));
            if (number != 0) motionReceived_.emplace_back(number, timeOf(event));
            number = 0;
        }
    }
}

MotionStream::Report MotionStream::stop() {
    sender_.request_stop();
    sender_.join();
    std::this_thread::sleep_for(300ms);  // the last frames cross the tap
    reader_.request_stop();
    reader_.join();

    Report report = wheel_;
    report.sent = static_cast<int>(sentAt_.size());
    std::vector<bool> seen(sentAt_.size() + 1);
    std::vector<double> delays;
    for (const auto& [number, at] : motionReceived_) {
        if (number < 1 || number > report.sent || seen[number]) continue;
        seen[number] = true;
        delays.push_back(ms(at - sentAt_[number - 1]));
    }
    report.lost = report.sent - static_cast<int>(delays.size());
    for (std::size_t i = 1; i < frameTimes_.size(); ++i)
        report.maxGapMs = std::max(report.maxGapMs, ms(frameTimes_[i] - frameTimes_[i - 1]));
    for (std::size_t i = 1; i < motionReceived_.size(); ++i) {
        const auto [before, beforeAt] = motionReceived_[i - 1];
        const auto [number, at] = motionReceived_[i];
        if (before < 1 || number <= before || number > report.sent) continue;
        const auto sentGap = sentAt_[number - 1] - sentAt_[before - 1];
        report.maxAddedGapMs = std::max(report.maxAddedGapMs, ms((at - beforeAt) - sentGap));
    }
    report.delayP50Ms = percentile(delays, 0.5);
    report.delayP99Ms = percentile(delays, 0.99);
    return report;
}

void spinFor(std::chrono::milliseconds duration) {
    for (const auto end = MotionStream::Clock::now() + duration;
         MotionStream::Clock::now() < end;) {
    }
}

}  // namespace glidewheel::devicetest
