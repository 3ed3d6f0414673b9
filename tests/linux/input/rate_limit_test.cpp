// SPDX-License-Identifier: MIT

// The limit on the input backend's log lines (per mouse for lost events, shared for the rest).

#include <gtest/gtest.h>

#include "platform/linux/input/rate_limited_log.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;
using Verdict = RateLimit::Verdict;

TEST(RateLimit, PassesABurstPerIntervalMarksItsLastAndStartsAgainAfterTheInterval) {
    const RateLimit::Clock::time_point start{100s};
    struct Case {
        RateLimit::Clock::duration after;
        Verdict verdict;
    };
    const Case cases[] = {
        {0s, Verdict::pass},     {1s, Verdict::pass},      {2s, Verdict::passLast},
        {3s, Verdict::suppress}, {29s, Verdict::suppress}, {30s, Verdict::pass},
        {31s, Verdict::pass},    {32s, Verdict::passLast}, {33s, Verdict::suppress},
    };
    RateLimit limit(3, 30s);
    for (const Case& c : cases) {
        EXPECT_EQ(limit.check(start + c.after), c.verdict) << "after " << c.after.count() << " ns";
    }
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
