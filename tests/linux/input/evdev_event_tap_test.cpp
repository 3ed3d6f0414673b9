#include "platform/linux/input/evdev_event_tap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/linux/input/poll_main_loop.h"
#include "platform/linux/input/rate_limited_log.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;

Event* swallow(EventTapProxy, EventType, Event*, void*) { return nullptr; }

// What a tap does with real mice is tested on a kernel with uinput; here only what holds
// without any device.
TEST(EvdevEventTapService, GivesNoTapWithoutUinput) {
    if (::access("/dev/uinput", W_OK) == 0) GTEST_SKIP() << "uinput is writable here";
    PollMainLoop loop;
    EvdevEventTapService service(loop);
    EXPECT_EQ(service.createTap(kCGAnnotatedSessionEventTap, kCGTailAppendEventTap,
                                kCGEventTapOptionDefault, CGEventMaskBit(kCGEventScrollWheel),
                                &swallow, nullptr),
              nullptr);
    EXPECT_TRUE(service.takenDevices().empty());
    EXPECT_EQ(loop.watchCount(), 0u);
}

TEST(EvdevEventTapService, PostingThroughAnUnknownProxyIsDropped) {
    PollMainLoop loop;
    EvdevEventTapService service(loop);
    Event event;
    event.setDoubleValue(kCGScrollWheelEventPointDeltaAxis1, 3.0);
    service.postEvent(EventTapProxy{}, event);
    service.postEvent(EventTapProxy{(std::uint64_t{7} << 32) | 1}, event);
    EXPECT_TRUE(service.takenDevices().empty());
}

TEST(EvdevEventTapService, MakesNoSourceForAForeignTap) {
    class ForeignTap final : public EventTap {
    public:
        void setEnabled(bool) override {}
        bool isEnabled() const override { return true; }
    } foreign;
    PollMainLoop loop;
    EvdevEventTapService service(loop);
    EXPECT_EQ(service.createRunLoopSource(foreign), nullptr);
}

TEST(RateLimit, LetsABurstThroughPerInterval) {
    using Verdict = RateLimit::Verdict;
    RateLimit limit(3, 1min);
    RateLimit::Clock::time_point now{};
    EXPECT_EQ(limit.check(now), Verdict::pass);
    EXPECT_EQ(limit.check(now + 1s), Verdict::pass);
    EXPECT_EQ(limit.check(now + 2s), Verdict::passLast);
    EXPECT_EQ(limit.check(now + 3s), Verdict::suppress);
    EXPECT_EQ(limit.check(now + 59s), Verdict::suppress);
    EXPECT_EQ(limit.check(now + 60s), Verdict::pass);
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
