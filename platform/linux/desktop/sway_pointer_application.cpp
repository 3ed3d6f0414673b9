// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/sway_pointer_application.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "platform/linux/base/executable_name.h"

namespace glidewheel::platform::linuxdesktop {

namespace {

// sway's IPC: each message is this magic, the payload's length and the message type (both
// 32-bit, in the machine's order), then the payload, JSON. Events set the type's top bit.
constexpr std::string_view kMagic = "i3-ipc";
constexpr std::uint32_t kSubscribe = 2, kGetTree = 4, kWindowEvent = 0x80000003;

struct Message {
    std::uint32_t type = 0;
    std::string payload;
};

bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written, size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool readAll(int fd, void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got, size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool send(int fd, std::uint32_t type, std::string_view payload) {
    char header[kMagic.size() + 8];
    const auto length = static_cast<std::uint32_t>(payload.size());
    std::memcpy(header, kMagic.data(), kMagic.size());
    std::memcpy(header + kMagic.size(), &length, 4);
    std::memcpy(header + kMagic.size() + 4, &type, 4);
    return writeAll(fd, header, sizeof header) && writeAll(fd, payload.data(), payload.size());
}

// The next message; none once the socket closed or sent something that is not sway's IPC.
std::optional<Message> receive(int fd) {
    char header[kMagic.size() + 8];
    if (!readAll(fd, header, sizeof header) || std::string_view(header, kMagic.size()) != kMagic)
        return std::nullopt;
    std::uint32_t length = 0;
    Message message;
    std::memcpy(&length, header + kMagic.size(), 4);
    std::memcpy(&message.type, header + kMagic.size() + 4, 4);
    if (length > SwayPointerApplication::kMaxMessageBytes) return std::nullopt;
    message.payload.resize(length);
    if (!readAll(fd, message.payload.data(), length)) return std::nullopt;
    return message;
}

std::string stringAt(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

// The application of a window container; null for anything else (a workspace, an output).
std::shared_ptr<const PointerTarget> targetOf(const nlohmann::json& container) {
    const auto pid = container.find("pid");
    if (pid == container.end() || !pid->is_number_unsigned() || pid->get<std::uint64_t>() == 0 ||
        pid->get<std::uint64_t>() > UINT32_MAX)
        return nullptr;
    auto target = std::make_shared<PointerTarget>();
    target->executable = executableOf(pid->get<std::uint32_t>());
    target->className = stringAt(container, "app_id");
    if (const auto x = container.find("window_properties");
        x != container.end() && x->is_object()) {
        target->instanceName = stringAt(*x, "instance");
        target->className = stringAt(*x, "class");
    }
    return target;
}

// The focused node of a tree, depth first through tiled and floating nodes.
const nlohmann::json* focusedIn(const nlohmann::json& node, int depth = 0) {
    constexpr int kMaxDepth = 64;  // outputs, workspaces, nested splits
    if (!node.is_object() || depth > kMaxDepth) return nullptr;
    if (const auto focused = node.find("focused"); focused != node.end() && *focused == true)
        return &node;
    for (const char* children : {"nodes", "floating_nodes"}) {
        const auto list = node.find(children);
        if (list == node.end() || !list->is_array()) continue;
        for (const nlohmann::json& child : *list)
            if (const nlohmann::json* found = focusedIn(child, depth + 1)) return found;
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<SwayPointerApplication> SwayPointerApplication::open(
    const std::filesystem::path& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.native().size() >= sizeof address.sun_path) return nullptr;
    std::strcpy(address.sun_path, socketPath.c_str());
    UniqueFd socket = adoptFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket ||
        ::connect(socket.get().fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
            0 ||
        !send(socket.get().fd, kSubscribe, R"(["window"])") || !send(socket.get().fd, kGetTree, ""))
        return nullptr;
    return std::unique_ptr<SwayPointerApplication>(new SwayPointerApplication(std::move(socket)));
}

SwayPointerApplication::SwayPointerApplication(UniqueFd socket)
    : socket_(std::move(socket)), thread_([this] { run(); }) {}

SwayPointerApplication::~SwayPointerApplication() {
    ::shutdown(socket_.get().fd, SHUT_RDWR);  // wakes the thread's read with the end of input
    thread_.join();
}

void SwayPointerApplication::run() {
    while (const std::optional<Message> message = receive(socket_.get().fd)) {
        if (message->type != kGetTree && message->type != kWindowEvent) continue;
        const auto json = nlohmann::json::parse(message->payload, nullptr, false);
        if (message->type == kGetTree) {
            const nlohmann::json* focused = focusedIn(json);
            publish(focused ? targetOf(*focused) : nullptr);
        } else if (json.is_object() && json.contains("container")) {
            const std::string change = stringAt(json, "change");
            const nlohmann::json& container = json.at("container");
            if (change == "focus") publish(targetOf(container));
            // Focus that goes to an empty workspace names no window, so it is not told of.
            if (change == "close" && container.value("focused", false)) publish(nullptr);
        }
    }
    publish(nullptr);  // sway went away: no application is known any more
}

}  // namespace glidewheel::platform::linuxdesktop
