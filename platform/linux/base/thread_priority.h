// SPDX-License-Identifier: MIT

#pragma once

#include <sys/types.h>

#include <string>
#include <thread>

namespace glidewheel::platform::linuxdesktop {

// The nice value of the threads on the mouse's path: the input thread, which every motion of
// every mouse passes through, and the display link's, which writes the glides' frames. A busy
// program must not hold them up longer than the compositor, which reads the mice at a raised
// priority of its own: a 1000 Hz mouse fills the kernel's buffer in about 42 ms. Both at the
// same value, so that a refresh finds them in the same order whatever else runs. A nice value,
// not a real-time policy: the threads sleep between frames and need little of a CPU, only to be
// run first when they wake.
constexpr int kMousePathNice = -10;

// Gives thread `thread` of this process nice value `nice`, unless the person started the program
// at another: directly where the process may (CAP_SYS_NICE, or an RLIMIT_NICE that allows it),
// else through RealtimeKit on the system bus, the desktop's broker for such requests. Threads it
// starts later begin at nice 0 either way. Blocks for the bus's answer, up to ten seconds.
// Returns an empty string on success, else why the thread keeps its priority.
std::string raiseThreadPriority(pid_t thread, int nice);

// Raises `thread` to kMousePathNice from a thread of its own, so that nobody waits on the bus;
// a refusal goes to standard error as "glidewheel: the <what> keeps its normal priority: ...".
// The request is over once the returned thread is joined.
std::jthread raiseOnTheMousePath(pid_t thread, std::string what);

}  // namespace glidewheel::platform::linuxdesktop
