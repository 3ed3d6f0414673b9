// SPDX-License-Identifier: MIT

#include "platform/linux/display/drm_vblank_source.h"

#include <fcntl.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <regex>
#include <vector>

#include "platform/linux/base/unique_fd.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::int64_t kNanosecondsPerMicrosecond = 1'000;

struct ResourcesFree {
    void operator()(drmModeRes* resources) const { drmModeFreeResources(resources); }
};
struct CrtcFree {
    void operator()(drmModeCrtc* crtc) const { drmModeFreeCrtc(crtc); }
};

class DrmVblankSource final : public VblankSource {
public:
    DrmVblankSource(UniqueFd card, std::string path) : card_(std::move(card)), path_(path) {}

    int fd() const override { return card_.get().fd; }

    double followCrtc() override {
        const std::unique_ptr<drmModeRes, ResourcesFree> resources(drmModeGetResources(fd()));
        if (!resources) return 0.0;
        for (int index = 0; index < resources->count_crtcs; ++index) {
            const std::unique_ptr<drmModeCrtc, CrtcFree> crtc(
                drmModeGetCrtc(fd(), resources->crtcs[index]));
            if (!crtc || !crtc->mode_valid) continue;
            crtcIndex_ = index;
            crtcId_ = crtc->crtc_id;
            const drmModeModeInfo& mode = crtc->mode;
            return modeRefreshRateHz(mode.clock, mode.htotal, mode.vtotal, mode.vscan, mode.flags);
        }
        return 0.0;  // keeps the last CRTC: vblanks come back there when it is switched on again
    }

    int requestNextVblank() override {
        drmVBlank request{};
        request.request.type = static_cast<drmVBlankSeqType>(
            DRM_VBLANK_RELATIVE | DRM_VBLANK_EVENT | vblankCrtcSelect(crtcIndex_));
        request.request.sequence = 1;
        request.request.signal = reinterpret_cast<unsigned long>(this);
        return drmWaitVBlank(fd(), &request) == 0 ? 0 : errno;
    }

    void readEvents(const OnVblank& onVblank) override {
        drmEventContext context{};
        context.version = 2;
        context.vblank_handler = &DrmVblankSource::handleVblank;
        onVblank_ = &onVblank;
        drmHandleEvent(fd(), &context);
        onVblank_ = nullptr;
    }

    // Whether the driver answers vblank queries: 0, or the errno of a query without an event.
    int probe() {
        drmVBlank query{};
        query.request.type =
            static_cast<drmVBlankSeqType>(DRM_VBLANK_RELATIVE | vblankCrtcSelect(crtcIndex_));
        return drmWaitVBlank(fd(), &query) == 0 ? 0 : errno;
    }

    std::string description(double rateHz) const {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.2f Hz", rateHz);
        return path_ + " CRTC " + std::to_string(crtcId_) + " (" +
               (rateHz > 0.0 ? rate : "off for now") + ")";
    }

private:
    static void handleVblank(int, unsigned sequence, unsigned seconds, unsigned microseconds,
                             void* data) {
        const auto& self = *static_cast<DrmVblankSource*>(data);
        if (self.onVblank_ == nullptr) return;
        (*self.onVblank_)(sequence, std::int64_t{seconds} * kNanosecondsPerSecond +
                                        std::int64_t{microseconds} * kNanosecondsPerMicrosecond);
    }

    UniqueFd card_;
    std::string path_;
    int crtcIndex_ = 0;
    std::uint32_t crtcId_ = 0;
    const OnVblank* onVblank_ = nullptr;
};

std::vector<std::filesystem::path> cardNodes(const std::filesystem::path& directory) {
    static const std::regex cardName("card[0-9]+");
    std::vector<std::filesystem::path> cards;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error))
        if (std::regex_match(entry.path().filename().string(), cardName))
            cards.push_back(entry.path());
    // card2 before card10
    std::sort(cards.begin(), cards.end(), [](const auto& a, const auto& b) {
        const auto as = a.filename().string(), bs = b.filename().string();
        return as.size() != bs.size() ? as.size() < bs.size() : as < bs;
    });
    return cards;
}

}  // namespace

double modeRefreshRateHz(std::uint32_t clockKHz, std::uint16_t htotal, std::uint16_t vtotal,
                         std::uint16_t vscan, std::uint32_t flags) {
    if (clockKHz == 0 || htotal == 0 || vtotal == 0) return 0.0;
    double rate = clockKHz * 1000.0 / (static_cast<double>(htotal) * vtotal);
    if (flags & DRM_MODE_FLAG_INTERLACE) rate *= 2.0;  // two fields per frame
    if (flags & DRM_MODE_FLAG_DBLSCAN) rate /= 2.0;    // every line sent twice
    if (vscan > 1) rate /= vscan;
    return rate;
}

std::uint32_t vblankCrtcSelect(int crtcIndex) {
    if (crtcIndex == 0) return 0;
    if (crtcIndex == 1) return DRM_VBLANK_SECONDARY;
    return (static_cast<std::uint32_t>(crtcIndex) << DRM_VBLANK_HIGH_CRTC_SHIFT) &
           DRM_VBLANK_HIGH_CRTC_MASK;
}

std::unique_ptr<VblankSource> openDrmVblankSource(const std::filesystem::path& directory,
                                                  std::string& note) {
    const auto cards = cardNodes(directory);
    if (cards.empty()) {
        note = "no DRM card in " + directory.string();
        return nullptr;
    }
    std::string reasons;
    const auto skip = [&](const std::filesystem::path& card, const std::string& why) {
        reasons += (reasons.empty() ? "" : "; ") + card.string() + ": " + why;
    };
    // A card whose displays are all off, taken only if no card shows anything: with a second
    // GPU that drives no screen, the screen is on the other card.
    std::unique_ptr<DrmVblankSource> dark;
    std::string darkNote;
    for (const auto& card : cards) {
        UniqueFd fd = adoptFd(::open(card.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
        if (!fd) {
            skip(card, std::strerror(errno));
            continue;
        }
        // The kernel makes the first opener of a card that has no master its master. Keeping
        // it would lock a compositor out when it comes back to its console.
        if (drmIsMaster(fd.get().fd)) drmDropMaster(fd.get().fd);
        auto source = std::make_unique<DrmVblankSource>(std::move(fd), card.string());
        const double rate = source->followCrtc();
        const int error = source->probe();
        if (error != 0 && error != EINVAL) {  // EINVAL: the display is off for now
            skip(card, error == EOPNOTSUPP ? "no vblank events" : std::strerror(error));
            continue;
        }
        if (error == 0 && rate > 0.0) {
            note = source->description(rate);
            return source;
        }
        if (!dark) {
            darkNote = source->description(0.0);
            dark = std::move(source);
        }
    }
    note = dark ? darkNote : reasons;
    return dark;
}

}  // namespace glidewheel::platform::linuxdesktop
