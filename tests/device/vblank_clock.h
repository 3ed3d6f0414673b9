// SPDX-License-Identifier: MIT

#pragma once

// The virtual display (vkms) of the device-test VM, its own vblanks, and how a stream of frames
// falls on them: for tests of what follows the display.

#include <fcntl.h>
#include <gtest/gtest.h>
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

// A test compositor: opens the card while no one is its master, so the kernel makes it the
// master, and shows 640x480 at 59.94 Hz (VGA's timing, one of vkms's modes); on command
// drops or takes back master and switches the display off and on. What it tests opens the card
// apart, as a program beside a desktop's compositor does.
class TestCompositor {
public:
    TestCompositor() : card_(adoptFd(open(kCard, O_RDWR | O_CLOEXEC))) {
        const int card = card_.get().fd;
        drmModeRes* resources = card >= 0 ? drmModeGetResources(card) : nullptr;
        for (int i = 0; resources && i < resources->count_connectors && !connector_; ++i) {
            drmModeConnector* c = drmModeGetConnector(card, resources->connectors[i]);
            for (int m = 0; c && c->connection == DRM_MODE_CONNECTED && m < c->count_modes; ++m)
                if (c->modes[m].clock == 25175) mode_ = c->modes[m], connector_ = c->connector_id;
            drmModeFreeConnector(c);
        }
        drm_mode_create_dumb dumb{480, 640, 32, 0, 0, 0, 0};  // height, width, bpp: 640x480x32
        ready_ = connector_ != 0 && drmIsMaster(card) &&
                 drmIoctl(card, DRM_IOCTL_MODE_CREATE_DUMB, &dumb) == 0 &&
                 drmModeAddFB(card, 640, 480, 24, 32, dumb.pitch, dumb.handle, &framebuffer_) == 0;
        if (ready_) crtc_ = resources->crtcs[0];
        drmModeFreeResources(resources);
        ready_ = ready_ && command('n');
    }
    bool ready() const { return ready_; }
    // 'd' drop master, 'm' take it back, 'f' display off, 'n' display on. True when done.
    bool command(char command) {
        const int card = card_.get().fd;
        switch (command) {
            case 'd': return drmDropMaster(card) == 0;
            case 'm': return drmSetMaster(card) == 0;
            case 'f': return drmModeSetCrtc(card, crtc_, 0, 0, 0, nullptr, 0, nullptr) == 0;
            default:
                return drmModeSetCrtc(card, crtc_, framebuffer_, 0, 0, &connector_, 1, &mode_) == 0;
        }
    }

private:
    platform::linuxdesktop::UniqueFd card_;
    std::uint32_t connector_ = 0, crtc_ = 0, framebuffer_ = 0;
    drmModeModeInfo mode_{};
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

// Display refreshes that saw no frame, and those that saw two or more.
struct Judder {
    int refreshes = 0, empty = 0, doubled = 0;
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
    }
    return result;
}

}  // namespace glidewheel::devicetest
