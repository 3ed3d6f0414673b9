// SPDX-License-Identifier: MIT

#include "tools/lab/trace.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>

namespace glidewheel::lab {

namespace {

constexpr int kTimeIntegerDigits = 12;    // up to about 31 years of milliseconds
constexpr int kRefreshIntegerDigits = 7;  // up to 10 MHz
constexpr int kFractionDigits = 6;

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// An unsigned decimal with an optional fraction: "12", "12.5", "0.125". Nothing else: no sign,
// exponent or blanks. Fails when there are more digits than allowed.
enum class DecimalError { none, notANumber, tooLarge, tooPrecise };

DecimalError parseDecimal(std::string_view text, int integerDigits, Exact& out) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    const auto allDigits = [](std::string_view s) {
        for (char c : s) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        }
        return true;
    };
    if (whole.empty() || !allDigits(whole) || !allDigits(fraction) ||
        (point != std::string_view::npos && fraction.empty())) {
        return DecimalError::notANumber;
    }
    std::string_view significant = whole;
    while (significant.size() > 1 && significant.front() == '0') significant.remove_prefix(1);
    if (static_cast<int>(significant.size()) > integerDigits) return DecimalError::tooLarge;
    if (static_cast<int>(fraction.size()) > kFractionDigits) return DecimalError::tooPrecise;
    Wide numerator = 0;
    Wide denominator = 1;
    for (char c : significant) numerator = numerator * 10 + static_cast<Wide>(c - '0');
    for (char c : fraction) {
        numerator = numerator * 10 + static_cast<Wide>(c - '0');
        denominator *= 10;
    }
    out = Exact{numerator, denominator};
    return DecimalError::none;
}

std::optional<double> parseDouble(std::string_view text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return std::nullopt;
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size()) return std::nullopt;
    return value;
}

// The magnitude of a whole number written in decimal or 0x hex, with no sign: nothing when the
// text is not one. Sets `overflow` when it is one but does not fit 64 bits.
std::optional<std::uint64_t> parseMagnitude(std::string_view text, bool& overflow) {
    overflow = false;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (base == 10 ? !std::isdigit(u) : !std::isxdigit(u)) return std::nullopt;
    }
    const std::string digits(text);
    errno = 0;
    const unsigned long long value = std::strtoull(digits.c_str(), nullptr, base);
    overflow = errno == ERANGE;
    return value;
}

// "12", "-3", "0x1F", "-0x10": a whole number written as one. Sets `isInteger` false for text
// that is no integer literal at all; returns nothing for one that does not fit 64 bits.
std::optional<std::int64_t> parseInteger(std::string_view text, bool& isInteger) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    bool overflow;
    const std::optional<std::uint64_t> magnitude = parseMagnitude(text, overflow);
    isInteger = magnitude.has_value();
    if (!magnitude || overflow) return std::nullopt;
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (*magnitude > kMax + 1) return std::nullopt;
        return *magnitude == kMax + 1 ? std::numeric_limits<std::int64_t>::min()
                                      : -static_cast<std::int64_t>(*magnitude);
    }
    if (*magnitude > kMax) return std::nullopt;
    return static_cast<std::int64_t>(*magnitude);
}

// A non-negative whole number up to `limit`, decimal or 0x hex.
std::optional<std::uint64_t> parseUnsigned(std::string_view text, std::uint64_t limit) {
    bool overflow;
    const std::optional<std::uint64_t> value = parseMagnitude(text, overflow);
    if (!value || overflow || *value > limit) return std::nullopt;
    return value;
}

std::string digitsOf(Wide value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return digits;
}

[[noreturn]] void malformed(std::string_view event, const std::string& why) {
    throw ArgumentError("malformed event " + quoted(event) + ": " + why);
}

// The time before an event's colon, in milliseconds.
Exact parseTime(std::string_view event, std::string_view time) {
    if (!time.empty() && time.front() == '-')
        malformed(event, "time " + quoted(time) + " is negative");
    Exact ms;
    switch (parseDecimal(time, kTimeIntegerDigits, ms)) {
        case DecimalError::none: break;
        case DecimalError::notANumber:
            malformed(event, "time " + quoted(time) + " is not a number");
        case DecimalError::tooLarge: malformed(event, "time " + quoted(time) + " is out of range");
        case DecimalError::tooPrecise:
            malformed(event, "time " + quoted(time) + " has more than 6 decimals");
    }
    return ms;
}

// N=VALUE: an integer literal is stored as an integer, anything else as a double.
void setField(std::string_view event, std::string_view name, std::string_view value,
              platform::Event& into) {
    bool isInteger = false;
    std::optional<std::int64_t> number = parseInteger(name, isInteger);
    if (!isInteger) malformed(event, "field number " + quoted(name) + " is not a number");
    if (!number || *number < 0 || *number > std::numeric_limits<platform::EventField>::max()) {
        malformed(event, "field number " + quoted(name) + " is out of range");
    }
    const auto field = static_cast<platform::EventField>(*number);

    bool stored;
    const std::optional<std::int64_t> integer = parseInteger(value, isInteger);
    if (isInteger) {
        if (!integer) malformed(event, "value " + quoted(value) + " does not fit 64 bits");
        stored = into.setIntegerValue(field, *integer);
    } else {
        const std::optional<double> real = parseDouble(value);
        if (!real) malformed(event, "value " + quoted(value) + " is not a number");
        stored = into.setDoubleValue(field, *real);
    }
    if (!stored) {
        malformed(event, "too many fields (an event holds " +
                             std::to_string(platform::Event::kMaxFields) + ")");
    }
}

// One of an event's items: N=VALUE, flags=VALUE or type=VALUE.
void parseItem(std::string_view event, std::string_view item, platform::Event& into) {
    const std::size_t equals = item.find('=');
    if (item.empty() || equals == std::string_view::npos) {
        malformed(event, "item " + quoted(item) + " is not N=VALUE, flags=VALUE or type=VALUE");
    }
    const std::string_view name = item.substr(0, equals);
    const std::string_view value = item.substr(equals + 1);
    if (name == "flags") {
        const auto flags = parseUnsigned(value, std::numeric_limits<std::uint64_t>::max());
        if (!flags) malformed(event, "flags " + quoted(value) + " is not a 64-bit unsigned number");
        into.setFlags(*flags);
    } else if (name == "type") {
        const auto type = parseUnsigned(value, std::numeric_limits<platform::EventType>::max());
        if (!type) malformed(event, "type " + quoted(value) + " is not a 32-bit unsigned number");
        into.setType(static_cast<platform::EventType>(*type));
    } else {
        setField(event, name, value, into);
    }
}

// The value of --svg, --refresh, --speed, --smoothness or --acceleration.
void applyOption(std::string_view option, std::string_view value, LabOptions& options) {
    if (option == "--svg") {
        if (value.empty()) throw ArgumentError("option \"--svg\" needs a file name");
        options.svgPath = std::string(value);
    } else if (option == "--refresh") {
        Exact hz;
        const DecimalError error = parseDecimal(value, kRefreshIntegerDigits, hz);
        if (error != DecimalError::none || hz.numerator == 0) {
            throw ArgumentError("refresh rate " + quoted(value) +
                                " is not a positive number of hertz (at most 7 digits "
                                "before the point and 6 after)");
        }
        options.refreshHz = hz;
    } else {
        const std::optional<double> number = parseDouble(value);
        if (!number) {
            throw ArgumentError("value " + quoted(value) + " of option " + quoted(option) +
                                " is not a number");
        }
        if (option == "--acceleration") {
            // The settings' range: the engine would clamp anything else, and a trace run at
            // 1.5 would show what 1 does under another name.
            if (!(*number >= 0.0 && *number <= 1.0)) {
                throw ArgumentError("acceleration " + quoted(value) + " is not between 0 and 1");
            }
            options.acceleration = *number;
        } else {
            (option == "--speed" ? options.speed : options.smoothness) = *number;
        }
    }
}

}  // namespace

std::string formatMillis(Exact ms) {
    const Wide thousandths = (ms.numerator * 1000 * 2 + ms.denominator) / (ms.denominator * 2);
    std::string fraction = digitsOf(thousandths % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    return digitsOf(thousandths / 1000) + "." + fraction;
}

double toDouble(Exact value) {
    return static_cast<double>(value.numerator) / static_cast<double>(value.denominator);
}

TraceEvent parseEvent(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) malformed(text, "expected TIME_MS:ITEM,ITEM,...");
    TraceEvent parsed;
    parsed.timeMs = parseTime(text, text.substr(0, colon));
    std::string_view items = text.substr(colon + 1);
    while (!items.empty()) {
        const std::size_t comma = items.find(',');
        const std::string_view item = items.substr(0, comma);
        items = comma == std::string_view::npos ? std::string_view{} : items.substr(comma + 1);
        if (comma != std::string_view::npos && items.empty())
            malformed(text, "empty item at the end");
        parseItem(text, item, parsed.event);
    }
    return parsed;
}

LabOptions parseArguments(std::span<const std::string_view> arguments) {
    LabOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (!argument.starts_with("--")) {
            options.events.push_back(parseEvent(argument));
        } else if (argument == "--reverse") {
            options.reverse = true;
        } else if (argument == "--disabled") {
            options.disabled = true;
        } else if (argument != "--speed" && argument != "--smoothness" &&
                   argument != "--acceleration" && argument != "--refresh" && argument != "--svg") {
            throw ArgumentError("unknown option " + quoted(argument));
        } else if (i + 1 == arguments.size()) {
            throw ArgumentError("option " + quoted(argument) + " needs a value");
        } else {
            applyOption(argument, arguments[++i], options);
        }
    }
    return options;
}

}  // namespace glidewheel::lab
