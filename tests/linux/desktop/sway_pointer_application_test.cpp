// SPDX-License-Identifier: MIT

// The application under the pointer on sway, from a stand-in for sway's IPC socket that answers
// the tree and then sends what the test tells it to.

#include "platform/linux/desktop/sway_pointer_application.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "platform/linux/base/executable_name.h"
#include "tests/support/wait_until.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using testing::waitUntil;

std::string message(std::uint32_t type, const std::string& payload) {
    const auto length = static_cast<std::uint32_t>(payload.size());
    std::string bytes = "i3-ipc" + std::string(8, '\0') + payload;
    std::memcpy(bytes.data() + 6, &length, 4);
    std::memcpy(bytes.data() + 10, &type, 4);
    return bytes;
}

// A window of this process, so that its executable is this test's.
std::string window(const std::string& names, bool focused) {
    return R"({"type": "con", "pid": )" + std::to_string(getpid()) + ", " + names +
           R"(, "focused": )" + (focused ? "true" : "false") + "}";
}

TEST(SwayPointerApplication, FollowsTheFocusedWindowFromTheTreeOnUntilSwayGoes) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("glidewheel-sway-" + std::to_string(getpid()));
    sockaddr_un address{AF_UNIX, {}};
    std::strcpy(address.sun_path, path.c_str());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    auto lookup = SwayPointerApplication::open(path);
    ASSERT_NE(lookup, nullptr);
    const int sway = ::accept(listener, nullptr, nullptr);
    char asked[64] = {};  // the subscription to window events and the tree's request
    ASSERT_EQ(::read(sway, asked, 14 + 10), 14 + 10);
    EXPECT_EQ(std::string(asked + 14, 10), R"(["window"])");
    const auto tell = [&](std::uint32_t type, const std::string& payload) {
        const std::string bytes = message(type, payload);
        ASSERT_EQ(::write(sway, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    };
    const auto className = [&] {
        const auto target = lookup->current();
        return target ? target->className : std::string("(none)");
    };

    tell(2, R"({"success": true})");
    tell(4, R"({"type": "root", "nodes": [{"type": "workspace", "nodes": [)" +
                window(R"("app_id": "editor")", false) + "], \"floating_nodes\": [" +
                window(R"("app_id": "foot")", true) + "]}]}");
    ASSERT_TRUE(waitUntil([&] { return className() == "foot"; })) << className();
    EXPECT_EQ(lookup->current()->executable, executableOf(getpid()));

    const std::string xwayland =
        window(R"("app_id": null, "window_properties": {"class": "Steam", "instance": "steam"})",
               true);
    tell(0x80000003,
         R"({"change": "title", "container": )" + window(R"("app_id": "x")", true) + "}");
    tell(0x80000003, R"({"change": "focus", "container": )" + xwayland + "}");
    ASSERT_TRUE(waitUntil([&] { return className() == "Steam"; })) << className();
    EXPECT_EQ(lookup->current()->instanceName, "steam");
    tell(0x80000003, R"({"change": "close", "container": )" + xwayland + "}");
    EXPECT_TRUE(waitUntil([&] { return className() == "(none)"; })) << className();

    tell(0x80000003, R"({"change": "focus", "container": )" + xwayland + "}");
    ASSERT_TRUE(waitUntil([&] { return className() == "Steam"; }));
    tell(0x80000003, "not JSON");                          // ignored: the answer stands
    ASSERT_EQ(::write(sway, "garbage!!!!!!!!!", 16), 16);  // a header without the magic
    EXPECT_TRUE(waitUntil([&] { return className() == "(none)"; })) << "kept a stale answer";
    EXPECT_EQ(lookup->current(), nullptr);
    ::close(sway);
    ::close(listener);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
