// SPDX-License-Identifier: MIT

#pragma once

#include <sys/types.h>

#include <string>

namespace glidewheel::platform::linuxdesktop {

// The input thread's nice value. Every motion of every mouse passes through it, so a busy
// program must not hold it up longer than the compositor, which reads the mice at a raised
// priority of its own: a 1000 Hz mouse fills the kernel's buffer in about 42 ms. A nice value,
// not a real-time policy: the thread sleeps between frames and needs little of a CPU, only to
// be run first when it wakes.
constexpr int kInputThreadNice = -10;

// Gives thread `thread` of this process nice value `nice`, unless the person started the program
// at another: directly where the process may (CAP_SYS_NICE, or an RLIMIT_NICE that allows it),
// else through RealtimeKit on the system bus, the desktop's broker for such requests. Threads it
// starts later begin at nice 0 either way. Blocks for the bus's answer, up to ten seconds.
// Returns an empty string on success, else why the thread keeps its priority.
std::string raiseThreadPriority(pid_t thread, int nice);

}  // namespace glidewheel::platform::linuxdesktop
