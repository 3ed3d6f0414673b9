// SPDX-License-Identifier: MIT

#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace glidewheel::platform::linuxdesktop {

// A file descriptor as the pointer of a unique_ptr: -1 is empty.
struct FileDescriptor {
    int fd = -1;

    FileDescriptor() = default;
    FileDescriptor(std::nullptr_t) {}
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    explicit operator bool() const { return fd >= 0; }
    friend bool operator==(FileDescriptor, FileDescriptor) = default;
};

struct FileDescriptorCloser {
    using pointer = FileDescriptor;
    void operator()(FileDescriptor descriptor) const { ::close(descriptor.fd); }
};
using UniqueFd = std::unique_ptr<FileDescriptor, FileDescriptorCloser>;

inline UniqueFd adoptFd(int fd) {
    return UniqueFd(fd >= 0 ? FileDescriptor(fd) : FileDescriptor());
}

// Adds one to an eventfd's count, waking whoever polls it.
inline void signalEventFd(const UniqueFd& eventFd) {
    const std::uint64_t one = 1;
    if (::write(eventFd.get().fd, &one, sizeof one) < 0) std::perror("glidewheel: eventfd");
}

// Closes now and gives close's own result: a delayed write error shows up here, where the
// deleter would drop it.
inline int closeNow(UniqueFd& owned) { return owned ? ::close(owned.release().fd) : 0; }

}  // namespace glidewheel::platform::linuxdesktop
