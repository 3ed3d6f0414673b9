// SPDX-License-Identifier: MIT

#include "platform/linux/input/thread_priority.h"

#include <sys/resource.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace glidewheel::platform::linuxdesktop {

namespace {

// The first request may have the bus start the broker.
constexpr std::uint64_t kBrokerTimeoutMicroseconds = 2'000'000;

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
    // A priority the person gave the whole program already, or a higher one, is kept.
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    if (errno == 0 && now <= nice) return {};
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) == 0) return {};
    return askRealtimeKit(thread, nice);
}

}  // namespace glidewheel::platform::linuxdesktop
