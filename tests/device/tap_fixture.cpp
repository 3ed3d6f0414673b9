#include "tests/device/tap_fixture.h"

namespace glidewheel::devicetest {

using namespace platform;

Event* TapRecorder::callback(EventTapProxy proxy, EventType type, Event* event, void* userInfo) {
    auto& self = *static_cast<TapRecorder*>(userInfo);
    self.seen.push_back({proxy, type, *event});
    return self.swallow ? nullptr : event;
}

void EvdevTapTest::SetUp() {
    DeviceTest::SetUp();
    if (IsSkipped()) return;
    service = std::make_unique<linuxdesktop::EvdevEventTapService>(loop);
    // Numbered, so no test finds a device that an earlier one left behind.
    static int mice = 0;
    mouse = std::make_unique<TestMouse>("glidewheel test mouse " + std::to_string(++mice));

    tap = service->createTap(kCGAnnotatedSessionEventTap, kCGTailAppendEventTap,
                             kCGEventTapOptionDefault, CGEventMaskBit(kCGEventScrollWheel),
                             &TapRecorder::callback, &recorder);
    ASSERT_NE(tap, nullptr);
    source = service->createRunLoopSource(*tap);
    ASSERT_NE(source, nullptr);
    source->addToMainRunLoop();
    ASSERT_TRUE(runUntil([&] { return isTakenAndGrabbed(*mouse); }))
        << "the tap did not take the test mouse";
}

std::optional<EvdevTapTest::TakenDevice> EvdevTapTest::taken(const TestMouse& mouse) const {
    for (const TakenDevice& device : service->takenDevices())
        if (device.devnode == mouse.eventNode()) return device;
    return std::nullopt;
}

bool EvdevTapTest::isTakenAndGrabbed(const TestMouse& mouse) const {
    const auto device = taken(mouse);
    return device && device->grabbed && !device->cloneDevnode.empty();
}

bool EvdevTapTest::runUntil(const std::function<bool()>& done) {
    // Short turns: some of what the tests wait for (a clone's node, a posted frame) does not wake
    // the loop.
    return waitUntil(done, [&] { loop.runOnce(20); });
}

std::vector<Frame> EvdevTapTest::receiveFrames(EventReader& reader, std::size_t count) {
    std::vector<Frame> frames;
    runUntil([&] {
        for (Frame& frame : reader.readFrames()) frames.push_back(std::move(frame));
        return frames.size() >= count;
    });
    return frames;
}

}  // namespace glidewheel::devicetest
