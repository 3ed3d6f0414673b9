#include "platform/linux/input/poll_main_loop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "platform/linux/input/handles.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

struct Pipe {
    UniqueFd read;
    UniqueFd write;
    Pipe() {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        read = adoptFd(fds[0]);
        write = adoptFd(fds[1]);
    }
    void put() { EXPECT_EQ(::write(write.get().fd, "x", 1), 1); }
    void take() {
        char c;
        EXPECT_EQ(::read(read.get().fd, &c, 1), 1);
    }
};

TEST(PollMainLoop, CallsTheHandlerOfAReadableDescriptorOnly) {
    PollMainLoop loop;
    Pipe quiet, busy;
    int quietCalls = 0, busyCalls = 0;
    auto quietWatch = loop.watchReadable(quiet.read.get().fd, [&] { ++quietCalls; });
    auto busyWatch = loop.watchReadable(busy.read.get().fd, [&] {
        ++busyCalls;
        busy.take();
    });
    EXPECT_EQ(loop.runOnce(0), 0);
    busy.put();
    EXPECT_EQ(loop.runOnce(1000), 1);
    EXPECT_EQ(busyCalls, 1);
    EXPECT_EQ(quietCalls, 0);
    EXPECT_EQ(loop.runOnce(0), 0);  // drained
}

TEST(PollMainLoop, DisabledOrDestroyedWatchesAreNotCalled) {
    PollMainLoop loop;
    Pipe pipe;
    pipe.put();
    int calls = 0;
    auto watch = loop.watchReadable(pipe.read.get().fd, [&] { ++calls; });
    watch->setEnabled(false);
    EXPECT_EQ(loop.runOnce(0), 0);
    watch->setEnabled(true);
    EXPECT_EQ(loop.runOnce(0), 1);
    watch.reset();
    EXPECT_EQ(loop.watchCount(), 0u);
    EXPECT_EQ(loop.runOnce(0), 0);
    EXPECT_EQ(calls, 1);
}

TEST(PollMainLoop, HandlerMayDestroyItsOwnAndOtherWatches) {
    PollMainLoop loop;
    Pipe first, second;
    first.put();
    second.put();
    std::unique_ptr<MainLoop::Watch> firstWatch, secondWatch;
    int secondCalls = 0;
    firstWatch = loop.watchReadable(first.read.get().fd, [&] {
        firstWatch.reset();
        secondWatch.reset();
    });
    secondWatch = loop.watchReadable(second.read.get().fd, [&] { ++secondCalls; });
    EXPECT_EQ(loop.runOnce(0), 1);
    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(loop.watchCount(), 0u);
}

TEST(PollMainLoop, ReportsHangUpAsReadable) {
    PollMainLoop loop;
    Pipe pipe;
    int calls = 0;
    auto watch = loop.watchReadable(pipe.read.get().fd, [&] { ++calls; });
    pipe.write.reset();
    EXPECT_EQ(loop.runOnce(1000), 1);
    EXPECT_EQ(calls, 1);
}

TEST(PollMainLoop, RunUntilStopsWhenDoneOrAtTheDeadline) {
    PollMainLoop loop;
    Pipe pipe;
    bool seen = false;
    auto watch = loop.watchReadable(pipe.read.get().fd, [&] {
        seen = true;
        pipe.take();
    });
    pipe.put();
    EXPECT_TRUE(loop.runUntil([&] { return seen; }, 10000));
    EXPECT_FALSE(loop.runUntil([] { return false; }, 20));
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
