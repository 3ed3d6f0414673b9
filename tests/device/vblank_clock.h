// SPDX-License-Identifier: MIT

#pragma once

// The virtual display (vkms) of the device-test VM, its own vblanks, and how a stream of frames
// falls on them: for tests of what follows the display.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/base/unique_fd.h"

namespace glidewheel::devicetest {

using platform::linuxdesktop::adoptFd;

inline constexpr char kCard[] = "/dev/dri/card0";

// Why there is no display to test on; empty when there is one.
inline std::string noDisplay() {
    if (std::filesystem::exists(kCard)) return {};
    std::ifstream why("/display-missing");  // written by run_vm.sh
    std::string line;
    if (std::getline(why, line)) return line;
    return std::string("no ") + kCard + " (the device-test VM loads vkms)";
}

#define SKIP_WITHOUT_DISPLAY() \
    if (const std::string why = noDisplay(); !why.empty()) GTEST_SKIP() << why

// The compositor's side, in the child process: answers every command with '1' (done) or '0'.
[[noreturn]] inline void serveAsCompositor(int commands, int answers) {
    const auto answer = [&](bool done) {
        const char reply = done ? '1' : '0';
        if (write(answers, &reply, 1) != 1) _exit(1);
    };
    const int card = open(kCard, O_RDWR | O_CLOEXEC);
    drmModeRes* resources = card >= 0 ? drmModeGetResources(card) : nullptr;
    // VGA's 640x480 timing (25.175 MHz over 800 x 525 pixels, 59.94 Hz), one of vkms's modes.
    std::uint32_t connector = 0;
    drmModeModeInfo mode{};
    for (int i = 0; resources != nullptr && i < resources->count_connectors && !connector; ++i) {
        drmModeConnector* c = drmModeGetConnector(card, resources->connectors[i]);
        for (int m = 0; c != nullptr && c->connection == DRM_MODE_CONNECTED && m < c->count_modes;
             ++m)
            if (c->modes[m].clock == 25175) mode = c->modes[m], connector = c->connector_id;
        drmModeFreeConnector(c);
    }
    drm_mode_create_dumb dumb{.height = 480, .width = 640, .bpp = 32};
    std::uint32_t framebuffer = 0;
    const bool ready =
        connector != 0 && drmIsMaster(card) &&
        drmIoctl(card, DRM_IOCTL_MODE_CREATE_DUMB, &dumb) == 0 &&
        drmModeAddFB(card, 640, 480, 24, 32, dumb.pitch, dumb.handle, &framebuffer) == 0;
    const std::uint32_t crtc = ready ? resources->crtcs[0] : 0;
    const auto on = [&] {
        return drmModeSetCrtc(card, crtc, framebuffer, 0, 0, &connector, 1, &mode) == 0;
    };
    const auto off = [&] { return drmModeSetCrtc(card, crtc, 0, 0, 0, nullptr, 0, nullptr) == 0; };
    answer(ready && on());
    for (char command; read(commands, &command, 1) == 1;) {
        switch (command) {
            case 'd': answer(drmDropMaster(card) == 0); break;
            case 'm': answer(drmSetMaster(card) == 0); break;
            case 'f': answer(off()); break;
            case 'n': answer(on()); break;
            default: _exit(0);
        }
    }
    _exit(0);
}

// A test compositor in a process of its own: opens the card first, so the kernel makes it the
// master, and shows 640x480 at 59.94 Hz; on command drops or takes back master and switches the
// display off and on.
class TestCompositor {
public:
    TestCompositor() {
        int down[2], up[2];
        if (pipe2(down, O_CLOEXEC) != 0 || pipe2(up, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(down[1]);
            close(up[0]);
            serveAsCompositor(down[0], up[1]);
        }
        close(down[0]);
        close(up[1]);
        commands_ = adoptFd(down[1]);
        answers_ = adoptFd(up[0]);
        ready_ = answer();
    }
    ~TestCompositor() {
        commands_.reset();  // end of commands: the child exits and its card closes
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    bool ready() const { return ready_; }
    // 'd' drop master, 'm' take it back, 'f' display off, 'n' display on. True when done.
    bool command(char command) { return write(commands_.get().fd, &command, 1) == 1 && answer(); }

private:
    bool answer() {
        char reply = '0';
        return read(answers_.get().fd, &reply, 1) == 1 && reply == '1';
    }

    pid_t pid_ = -1;
    platform::linuxdesktop::UniqueFd commands_, answers_;
    bool ready_ = false;
};

// One vblank as the kernel numbers and times it.
struct Vblank {
    std::uint32_t sequence;
    std::int64_t timeNs;
};

// The display's own vblanks, from blocking waits on a descriptor of its own. Under emulation
// the waiting thread now and then wakes too late for the next vblank: the sequence numbers
// show which were missed.
class VblankClock {
public:
    VblankClock() : card_(adoptFd(open(kCard, O_RDWR | O_CLOEXEC))), thread_([this] { run(); }) {}
    ~VblankClock() {
        stop_ = true;
        thread_.join();
    }
    std::vector<Vblank> vblanks() {
        std::scoped_lock lock(mutex_);
        return vblanks_;
    }

private:
    void run() {
        while (!stop_) {
            drmVBlank wait{};
            wait.request.type = DRM_VBLANK_RELATIVE;
            wait.request.sequence = 1;
            if (drmWaitVBlank(card_.get().fd, &wait) != 0) return;
            std::scoped_lock lock(mutex_);
            vblanks_.push_back(
                {wait.reply.sequence, std::int64_t{wait.reply.tval_sec} * 1'000'000'000 +
                                          std::int64_t{wait.reply.tval_usec} * 1000});
        }
    }

    platform::linuxdesktop::UniqueFd card_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Vblank> vblanks_;
    std::thread thread_;
};

// Display refreshes that saw no frame, and those that saw two or more, of `frames` in all.
struct Judder {
    int refreshes = 0, empty = 0, doubled = 0, frames = 0;
};

// Counts the frames (monotonic ns) between each vblank and the next, over the refreshes between
// the first and the last frame whose two vblanks were both seen.
inline Judder judder(const std::vector<Vblank>& vblanks, std::vector<std::int64_t> frames) {
    Judder result;
    std::sort(frames.begin(), frames.end());
    if (frames.empty()) return result;
    for (std::size_t i = 0; i + 1 < vblanks.size(); ++i) {
        const Vblank& from = vblanks[i];
        const Vblank& to = vblanks[i + 1];
        if (to.sequence != from.sequence + 1) continue;
        if (from.timeNs < frames.front() || to.timeNs > frames.back()) continue;
        const auto n = std::lower_bound(frames.begin(), frames.end(), to.timeNs) -
                       std::lower_bound(frames.begin(), frames.end(), from.timeNs);
        ++result.refreshes;
        result.empty += n == 0;
        result.doubled += n >= 2;
        result.frames += static_cast<int>(n);
    }
    return result;
}

}  // namespace glidewheel::devicetest
