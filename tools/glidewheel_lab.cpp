// SPDX-License-Identifier: MIT

// glidewheel-lab: replays a wheel trace through the real interceptor, scroller and preferences
// on the sim backend and prints, as CSV, every event that reaches applications.
//
//   glidewheel-lab [--speed S] [--smoothness M] [--acceleration A] [--reverse] [--disabled]
//                  [--refresh HZ] [--svg FILE] EVENT...
//
// EVENT is TIME_MS:ITEM,ITEM,... with ITEM N=VALUE (event field N; an integer literal, decimal
// or 0x hex, is written as an integer, anything else as a double), flags=VALUE or type=VALUE
// (default 22, a scroll-wheel event). Example: 0:96=1,11=1 is one slow vertical notch. Each
// event is stamped with its time, which acceleration (0 to 1) measures the pace by.
//
// Output: time_ms,frame,origin,f96,f97,f11,f12,f88,f42, one row per event applications
// receive; frame is empty and origin "wheel" for a wheel event let through, origin "glide" for
// one the glide posted. The frame timing is described in tools/lab/replay.h, the chart in
// tools/lab/svg_chart.h. Exit status 2, with one line on standard error, for a bad argument.

#include <fstream>
#include <iostream>
#include <string_view>
#include <vector>

#include "engine/scroll_interceptor.h"
#include "platform/sim/sim_platform.h"
#include "settings/preferences.h"
#include "tools/lab/replay.h"
#include "tools/lab/svg_chart.h"
#include "tools/lab/trace.h"

using namespace glidewheel;

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    lab::LabOptions options;
    try {
        options = lab::parseArguments(arguments);
    } catch (const lab::ArgumentError& error) {
        std::cerr << "glidewheel-lab: " << error.what() << '\n';
        return 2;
    }

    // Leaked, so that the backend outlives the shared preferences and interceptor at exit.
    auto* platform = new platform::sim::SimPlatform;
    platform->install();
    const lab::ReplayResult result =
        lab::replay(options, *platform, Preferences::shared(), ScrollInterceptor::shared());

    lab::writeCsv(std::cout, result.deliveries);
    if (options.svgPath) {
        std::ofstream svg(*options.svgPath, std::ios::binary | std::ios::trunc);
        svg << lab::svgChart(result);
        if (!svg.flush()) {
            std::cerr << "glidewheel-lab: cannot write \"" << *options.svgPath << "\"\n";
            return 1;
        }
    }
    return std::cout.flush() ? 0 : 1;
}
