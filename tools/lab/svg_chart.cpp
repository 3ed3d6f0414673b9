// SPDX-License-Identifier: MIT

#include "tools/lab/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace glidewheel::lab {

using namespace glidewheel::platform;

namespace {

// Page geometry, in SVG user units.
constexpr double kWidth = 900, kHeight = 480;
constexpr double kLeft = 90, kRight = 870, kTop = 75, kBottom = 410;

struct Change {
    double timeMs;
    double amount;  // points
};

// Position after each change, as (time, position) pairs ending with `position` at `endMs`.
std::vector<std::pair<double, double>> steps(std::vector<Change> changes, double endMs) {
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.timeMs < b.timeMs; });
    std::vector<std::pair<double, double>> points{{0.0, 0.0}};
    double position = 0.0;
    for (const Change& change : changes) {
        points.emplace_back(change.timeMs, position);
        position += change.amount;
        points.emplace_back(change.timeMs, position);
    }
    points.emplace_back(endMs, position);
    return points;
}

// A tick spacing of 1, 2 or 5 times a power of ten giving at most about eight ticks.
double tickStep(double span) {
    const double rough = span / 8.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double multiple : {1.0, 2.0, 5.0, 10.0}) {
        if (multiple * power >= rough) return multiple * power;
    }
    return 10.0 * power;
}

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string coordinate(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

}  // namespace

std::string svgChart(const ReplayResult& result) {
    bool vertical = false;
    bool sideways = false;
    for (const Delivery& d : result.deliveries) {
        vertical |= d.event.doubleValue(kCGScrollWheelEventPointDeltaAxis1) != 0.0;
        sideways |= d.event.doubleValue(kCGScrollWheelEventPointDeltaAxis2) != 0.0;
    }
    for (const Notch& n : result.notches) (n.sideways ? sideways : vertical) = true;
    const bool plotSideways = !vertical && sideways;
    const EventField axis =
        plotSideways ? kCGScrollWheelEventPointDeltaAxis2 : kCGScrollWheelEventPointDeltaAxis1;

    std::vector<Change> glided;
    std::vector<Change> atOnce;
    double endMs = 0.0;
    for (const Delivery& d : result.deliveries) {
        const Change change{toDouble(d.timeMs), d.event.doubleValue(axis)};
        endMs = std::max(endMs, change.timeMs);
        if (!std::isfinite(change.amount) || change.amount == 0.0) continue;
        glided.push_back(change);
        if (!d.glide) atOnce.push_back(change);
    }
    for (const Notch& n : result.notches) {
        endMs = std::max(endMs, toDouble(n.timeMs));
        if (n.sideways == plotSideways) atOnce.push_back(Change{toDouble(n.timeMs), n.distance});
    }
    if (endMs <= 0.0) endMs = 1.0;

    const auto glidedSteps = steps(glided, endMs);
    const auto atOnceSteps = steps(atOnce, endMs);
    double low = 0.0, high = 0.0;
    for (const auto* series : {&glidedSteps, &atOnceSteps}) {
        for (const auto& [t, position] : *series) {
            low = std::min(low, position);
            high = std::max(high, position);
        }
    }
    if (high - low < 1.0) high = low + 1.0;
    const double margin = (high - low) * 0.05;  // keep the lines off the frame
    low -= margin;
    high += margin;

    const auto x = [&](double ms) { return kLeft + ms / endMs * (kRight - kLeft); };
    const auto y = [&](double points) {
        return kBottom - (points - low) / (high - low) * (kBottom - kTop);
    };
    const auto polyline = [&](const std::vector<std::pair<double, double>>& points, const char* id,
                              const char* colour, const char* dash) {
        std::string line = "<polyline id=\"" + std::string(id) + "\" fill=\"none\" stroke=\"" +
                           colour + "\" stroke-width=\"2\"" + dash + " points=\"";
        for (const auto& [t, position] : points)
            line += coordinate(x(t)) + "," + coordinate(y(position)) + " ";
        line.back() = '"';
        return line + "/>\n";
    };

    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        number(kWidth) + "\" height=\"" + number(kHeight) + "\" viewBox=\"0 0 " + number(kWidth) +
        " " + number(kHeight) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + number(kWidth / 2) +
           "\" y=\"28\" text-anchor=\"middle\" font-size=\"16\">"
           "Scroll position over time (" +
           std::string(plotSideways ? "horizontal" : "vertical") + ")</text>\n";

    // Grid and tick labels.
    svg += "<g stroke=\"#dddddd\" stroke-width=\"1\">\n";
    const double timeStep = tickStep(endMs);
    for (double t = 0.0; t <= endMs + timeStep * 1e-9; t += timeStep) {
        svg += "<line x1=\"" + coordinate(x(t)) + "\" y1=\"" + coordinate(kTop) + "\" x2=\"" +
               coordinate(x(t)) + "\" y2=\"" + coordinate(kBottom) + "\"/>\n";
    }
    const double pointStep = tickStep(high - low);
    const double firstPoint = std::ceil(low / pointStep) * pointStep;
    for (double p = firstPoint; p <= high + pointStep * 1e-9; p += pointStep) {
        svg += "<line x1=\"" + coordinate(kLeft) + "\" y1=\"" + coordinate(y(p)) + "\" x2=\"" +
               coordinate(kRight) + "\" y2=\"" + coordinate(y(p)) + "\"/>\n";
    }
    svg += "</g>\n<g fill=\"#333333\">\n";
    for (double t = 0.0; t <= endMs + timeStep * 1e-9; t += timeStep) {
        svg += "<text x=\"" + coordinate(x(t)) + "\" y=\"" + coordinate(kBottom + 18) +
               "\" text-anchor=\"middle\">" + number(t) + "</text>\n";
    }
    for (double p = firstPoint; p <= high + pointStep * 1e-9; p += pointStep) {
        svg += "<text x=\"" + coordinate(kLeft - 8) + "\" y=\"" + coordinate(y(p) + 4) +
               "\" text-anchor=\"end\">" + number(std::fabs(p) < pointStep * 1e-9 ? 0.0 : p) +
               "</text>\n";
    }
    svg += "</g>\n";

    // Axes and their titles.
    svg += "<g stroke=\"#333333\" stroke-width=\"1\">\n<line x1=\"" + coordinate(kLeft) +
           "\" y1=\"" + coordinate(kBottom) + "\" x2=\"" + coordinate(kRight) + "\" y2=\"" +
           coordinate(kBottom) + "\"/>\n<line x1=\"" + coordinate(kLeft) + "\" y1=\"" +
           coordinate(kTop) + "\" x2=\"" + coordinate(kLeft) + "\" y2=\"" + coordinate(kBottom) +
           "\"/>\n</g>\n";
    svg += "<text x=\"" + number((kLeft + kRight) / 2) + "\" y=\"" + number(kHeight - 30) +
           "\" text-anchor=\"middle\">time (ms)</text>\n";
    svg += "<text transform=\"translate(24 " + number((kTop + kBottom) / 2) +
           ") rotate(-90)\" text-anchor=\"middle\">position (points)</text>\n";

    svg += polyline(atOnceSteps, "each-notch-at-once", "#999999", " stroke-dasharray=\"6 4\"");
    svg += polyline(glidedSteps, "with-glidewheel", "#1f6fd0", "");

    // Legend, in a row between the title and the plot.
    const auto legendEntry = [&](double left, const char* colour, const char* dash,
                                 const char* label) {
        return "<line x1=\"" + number(left) + "\" y1=\"50\" x2=\"" + number(left + 30) +
               "\" y2=\"50\" stroke=\"" + colour + "\" stroke-width=\"2\"" + dash +
               "/>\n<text x=\"" + number(left + 38) + "\" y=\"54\">" + label + "</text>\n";
    };
    svg += "<g id=\"legend\">\n";
    svg += legendEntry(kLeft, "#1f6fd0", "", "with Glidewheel (what applications receive)");
    svg += legendEntry(kLeft + 400, "#999999", " stroke-dasharray=\"6 4\"",
                       "each notch&#8217;s glide distance applied at once");
    svg += "</g>\n";
    svg += "</svg>\n";
    return svg;
}

}  // namespace glidewheel::lab
