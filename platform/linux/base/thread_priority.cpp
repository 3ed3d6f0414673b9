// SPDX-License-Identifier: MIT

#include "platform/linux/base/thread_priority.h"

#include <linux/sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace glidewheel::platform::linuxdesktop {

namespace {

// sched_setattr(2)'s argument, its first version; the kernel's header clashes with glibc's.
struct SchedAttr {
    std::uint32_t size;
    std::uint32_t sched_policy;
    std::uint64_t sched_flags;
    std::int32_t sched_nice;
    std::uint32_t sched_priority;
    std::uint64_t sched_runtime, sched_deadline, sched_period;
};

// The first request may have the bus start the broker, at login, when the machine is busiest.
constexpr std::uint64_t kBrokerTimeoutMicroseconds = 10'000'000;

std::string askRealtimeKit(pid_t thread, int nice) {
    sd_bus* bus = nullptr;
    if (const int rc = sd_bus_open_system(&bus); rc < 0)
        return std::string("no system bus: ") + std::strerror(-rc);
    sd_bus_set_method_call_timeout(bus, kBrokerTimeoutMicroseconds);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int rc =
        sd_bus_call_method(bus, "org.freedesktop.RealtimeKit1", "/org/freedesktop/RealtimeKit1",
                           "org.freedesktop.RealtimeKit1", "MakeThreadHighPriority", &error,
                           nullptr, "ti", static_cast<std::uint64_t>(thread),
                           static_cast<std::int32_t>(nice));
    std::string why;
    if (rc < 0)
        why = std::string("RealtimeKit did not raise it: ") +
              (error.message ? error.message : std::strerror(-rc));
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    return why;
}

}  // namespace

std::string raiseThreadPriority(pid_t thread, int nice) {
    // A priority the person gave the whole program is theirs to keep.
    errno = 0;
    if (getpriority(PRIO_PROCESS, static_cast<id_t>(thread)) != 0 || errno != 0) return {};
    // Threads it starts begin at nice 0 again, as the broker has it: the same either way.
    SchedAttr attr{};
    attr.size = sizeof attr;
    attr.sched_policy = SCHED_NORMAL;
    attr.sched_flags = SCHED_FLAG_RESET_ON_FORK;
    attr.sched_nice = nice;
    if (syscall(SYS_sched_setattr, thread, &attr, 0) == 0) return {};
    return askRealtimeKit(thread, nice);
}

std::jthread raiseOnTheMousePath(pid_t thread, std::string what) {
    return std::jthread([thread, what = std::move(what)] {
        if (const std::string why = raiseThreadPriority(thread, kMousePathNice); !why.empty())
            std::fprintf(stderr, "glidewheel: the %s keeps its normal priority: %s\n", what.c_str(),
                         why.c_str());
    });
}

}  // namespace glidewheel::platform::linuxdesktop
