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

constexpr auto kGlidedColour = "#1f6fd0";
constexpr auto kAtOnceColour = "#999999";
constexpr auto kAtOnceDash = " stroke-dasharray=\"6 4\"";

struct Change {
    double timeMs;
    double amount;  // points
};

// (time in ms, position in points) pairs.
using Steps = std::vector<std::pair<double, double>>;

// Position after each change, ending with the last position at `endMs`.
Steps steps(std::vector<Change> changes, double endMs) {
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.timeMs < b.timeMs; });
    Steps points{{0.0, 0.0}};
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

// Which axis the chart plots: the horizontal one only when nothing moves vertically and
// something moves sideways.
bool plotsSideways(const ReplayResult& result) {
    bool vertical = false;
    bool sideways = false;
    for (const Delivery& d : result.deliveries) {
        vertical |= d.event.doubleValue(kCGScrollWheelEventPointDeltaAxis1) != 0.0;
        sideways |= d.event.doubleValue(kCGScrollWheelEventPointDeltaAxis2) != 0.0;
    }
    for (const Notch& n : result.notches) (n.sideways ? sideways : vertical) = true;
    return !vertical && sideways;
}

// The two series on one axis, and the time both end at (ms, above zero).
struct Series {
    Steps glided;
    Steps atOnce;
    double endMs;
};

Series seriesOf(const ReplayResult& result, bool sideways) {
    const EventField axis =
        sideways ? kCGScrollWheelEventPointDeltaAxis2 : kCGScrollWheelEventPointDeltaAxis1;
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
        if (n.sideways == sideways) atOnce.push_back(Change{toDouble(n.timeMs), n.distance});
    }
    if (endMs <= 0.0) endMs = 1.0;
    return {steps(glided, endMs), steps(atOnce, endMs), endMs};
}

// Maps time (ms) and position (points) onto the page: the whole time span across, and the
// positions both series reach, with a 5 % margin, up the page.
class Plot {
public:
    explicit Plot(const Series& series) : endMs_(series.endMs) {
        for (const Steps* line : {&series.glided, &series.atOnce}) {
            for (const auto& [t, position] : *line) {
                low_ = std::min(low_, position);
                high_ = std::max(high_, position);
            }
        }
        if (high_ - low_ < 1.0) high_ = low_ + 1.0;
        const double margin = (high_ - low_) * 0.05;  // keep the lines off the frame
        low_ -= margin;
        high_ += margin;
    }

    double endMs() const { return endMs_; }
    double low() const { return low_; }
    double high() const { return high_; }
    double x(double ms) const { return kLeft + ms / endMs_ * (kRight - kLeft); }
    double y(double points) const {
        return kBottom - (points - low_) / (high_ - low_) * (kBottom - kTop);
    }

private:
    double endMs_;
    double low_ = 0.0;
    double high_ = 0.0;
};

std::string heading(bool sideways) {
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        number(kWidth) + "\" height=\"" + number(kHeight) + "\" viewBox=\"0 0 " + number(kWidth) +
        " " + number(kHeight) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + number(kWidth / 2) +
           "\" y=\"28\" text-anchor=\"middle\" font-size=\"16\">"
           "Scroll position over time (" +
           std::string(sideways ? "horizontal" : "vertical") + ")</text>\n";
    return svg;
}

// Grid lines and tick labels: times along the bottom, positions up the left.
std::string grid(const Plot& plot) {
    std::string svg = "<g stroke=\"#dddddd\" stroke-width=\"1\">\n";
    const double timeStep = tickStep(plot.endMs());
    for (double t = 0.0; t <= plot.endMs() + timeStep * 1e-9; t += timeStep) {
        svg += "<line x1=\"" + coordinate(plot.x(t)) + "\" y1=\"" + coordinate(kTop) + "\" x2=\"" +
               coordinate(plot.x(t)) + "\" y2=\"" + coordinate(kBottom) + "\"/>\n";
    }
    const double pointStep = tickStep(plot.high() - plot.low());
    const double firstPoint = std::ceil(plot.low() / pointStep) * pointStep;
    for (double p = firstPoint; p <= plot.high() + pointStep * 1e-9; p += pointStep) {
        svg += "<line x1=\"" + coordinate(kLeft) + "\" y1=\"" + coordinate(plot.y(p)) + "\" x2=\"" +
               coordinate(kRight) + "\" y2=\"" + coordinate(plot.y(p)) + "\"/>\n";
    }
    svg += "</g>\n<g fill=\"#333333\">\n";
    for (double t = 0.0; t <= plot.endMs() + timeStep * 1e-9; t += timeStep) {
        svg += "<text x=\"" + coordinate(plot.x(t)) + "\" y=\"" + coordinate(kBottom + 18) +
               "\" text-anchor=\"middle\">" + number(t) + "</text>\n";
    }
    for (double p = firstPoint; p <= plot.high() + pointStep * 1e-9; p += pointStep) {
        svg += "<text x=\"" + coordinate(kLeft - 8) + "\" y=\"" + coordinate(plot.y(p) + 4) +
               "\" text-anchor=\"end\">" + number(std::fabs(p) < pointStep * 1e-9 ? 0.0 : p) +
               "</text>\n";
    }
    return svg + "</g>\n";
}

std::string axes() {
    std::string svg = "<g stroke=\"#333333\" stroke-width=\"1\">\n<line x1=\"" + coordinate(kLeft) +
                      "\" y1=\"" + coordinate(kBottom) + "\" x2=\"" + coordinate(kRight) +
                      "\" y2=\"" + coordinate(kBottom) + "\"/>\n<line x1=\"" + coordinate(kLeft) +
                      "\" y1=\"" + coordinate(kTop) + "\" x2=\"" + coordinate(kLeft) + "\" y2=\"" +
                      coordinate(kBottom) + "\"/>\n</g>\n";
    svg += "<text x=\"" + number((kLeft + kRight) / 2) + "\" y=\"" + number(kHeight - 30) +
           "\" text-anchor=\"middle\">time (ms)</text>\n";
    svg += "<text transform=\"translate(24 " + number((kTop + kBottom) / 2) +
           ") rotate(-90)\" text-anchor=\"middle\">position (points)</text>\n";
    return svg;
}

std::string polyline(const Plot& plot, const Steps& points, const char* id, const char* colour,
                     const char* dash) {
    std::string line = "<polyline id=\"" + std::string(id) + "\" fill=\"none\" stroke=\"" + colour +
                       "\" stroke-width=\"2\"" + dash + " points=\"";
    for (const auto& [t, position] : points)
        line += coordinate(plot.x(t)) + "," + coordinate(plot.y(position)) + " ";
    line.back() = '"';
    return line + "/>\n";
}

// In a row between the title and the plot.
std::string legend() {
    const auto entry = [](double left, const char* colour, const char* dash, const char* label) {
        return "<line x1=\"" + number(left) + "\" y1=\"50\" x2=\"" + number(left + 30) +
               "\" y2=\"50\" stroke=\"" + colour + "\" stroke-width=\"2\"" + dash +
               "/>\n<text x=\"" + number(left + 38) + "\" y=\"54\">" + label + "</text>\n";
    };
    return "<g id=\"legend\">\n" +
           entry(kLeft, kGlidedColour, "", "with Glidewheel (what applications receive)") +
           entry(kLeft + 400, kAtOnceColour, kAtOnceDash,
                 "each notch&#8217;s glide distance applied at once") +
           "</g>\n";
}

}  // namespace

std::string svgChart(const ReplayResult& result) {
    const bool sideways = plotsSideways(result);
    const Series series = seriesOf(result, sideways);
    const Plot plot(series);
    return heading(sideways) + grid(plot) + axes() +
           polyline(plot, series.atOnce, "each-notch-at-once", kAtOnceColour, kAtOnceDash) +
           polyline(plot, series.glided, "with-glidewheel", kGlidedColour, "") + legend() +
           "</svg>\n";
}

}  // namespace glidewheel::lab
