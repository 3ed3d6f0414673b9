// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/json_user_defaults.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <system_error>

#include "platform/linux/base/describe_error.h"
#include "platform/linux/base/file_io.h"
#include "platform/linux/desktop/xdg_paths.h"

namespace glidewheel::platform::linuxdesktop {

// The file's object as last read or written, in the file's own key order, plus what must not
// be written.
struct JsonUserDefaults::Document {
    nlohmann::ordered_json stored = nlohmann::ordered_json::object();
    // NaN and infinities, which JSON cannot hold: answered for this run only.
    std::map<std::string, double> memoryOnly;
    // False when the file could be neither read nor moved aside: writing would destroy it.
    bool writable = true;
    // Set while writes fail, so that a run of failures is reported once.
    bool failing = false;
};

namespace {

// Five settings take about 150 bytes; keys kept for others get ample room within these bounds,
// and no file can exhaust the stack (a JSON value is copied and printed recursively) or grow at
// every write.
constexpr std::size_t kMaxFileSize = 1024 * 1024;  // bytes, read and printed
constexpr int kMaxNesting = 32;  // objects and arrays inside one another, the top level included

// 20261206T081500Z
std::string utcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

// "defaults.json.corrupt-<time>", with "-2", "-3"… added when that name is taken.
std::filesystem::path asideName(const std::filesystem::path& file) {
    const std::string base = file.string() + ".corrupt-" + utcTimestamp();
    std::filesystem::path candidate = base;
    std::error_code ignored;
    for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(candidate, ignored));
         ++n) {
        candidate = base + "-" + std::to_string(n);
    }
    return candidate;
}

// A stored JSON value as a typed value, if it is a boolean or a number.
std::optional<UserDefaults::Value> typed(const nlohmann::ordered_json& json) {
    if (json.is_boolean()) return UserDefaults::Value{json.get<bool>()};
    if (json.is_number()) return UserDefaults::Value{json.get<double>()};
    return std::nullopt;
}

// The file as written: pretty-printed, invalid UTF-8 in kept strings replaced.
std::string printed(const nlohmann::ordered_json& document) {
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

// The settings object of `text`, or nothing when it is not one within the bounds: deeper
// nesting or a larger printed form makes the file unusable, not merely odd.
std::optional<nlohmann::ordered_json> parseSettings(const std::string& text) {
    bool tooDeep = false;
    const auto limitDepth = [&tooDeep](int depth, nlohmann::ordered_json::parse_event_t event,
                                       nlohmann::ordered_json&) {
        using Event = nlohmann::ordered_json::parse_event_t;
        if ((event == Event::object_start || event == Event::array_start) && depth >= kMaxNesting) {
            tooDeep = true;
            return false;  // never built; the parser itself does not recurse
        }
        return true;
    };
    auto parsed = nlohmann::ordered_json::parse(text, limitDepth, /*allow_exceptions=*/false);
    if (tooDeep || parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    // Each level of nesting indents every line inside it: a small file can print far larger.
    if (printed(parsed).size() > kMaxFileSize) return std::nullopt;
    return parsed;
}

}  // namespace

JsonUserDefaults::JsonUserDefaults(std::filesystem::path file)
    : file_(std::move(file)), document_(std::make_unique<Document>()) {
    int error = 0;
    const std::optional<std::string> text = readFile(file_, error, kMaxFileSize);
    if (!text && error != EFBIG) {
        if (!isNotFound(error)) {
            document_->writable = false;
            std::fprintf(stderr, "glidewheel: %s; settings changed now are kept until exit\n",
                         describeError("Cannot read", file_, error).c_str());
        }
        return;
    }

    if (text) {
        if (std::optional<nlohmann::ordered_json> parsed = parseSettings(*text)) {
            document_->stored = std::move(*parsed);
            return;
        }
    }

    // Keep the user's file for inspection rather than overwriting it at the next set.
    const std::filesystem::path aside = asideName(file_);
    std::error_code moved;
    std::filesystem::rename(file_, aside, moved);
    if (moved) {
        document_->writable = false;
        std::fprintf(stderr,
                     "glidewheel: %s is not a settings file and cannot be moved aside (%s); "
                     "using the defaults, settings changed now are kept until exit\n",
                     file_.c_str(), moved.message().c_str());
    } else {
        std::fprintf(stderr, "glidewheel: %s is not a settings file; moved it to %s\n",
                     file_.c_str(), aside.c_str());
    }
}

JsonUserDefaults::~JsonUserDefaults() = default;

std::filesystem::path JsonUserDefaults::defaultFile() {
    return configHome() / "glidewheel" / "defaults.json";
}

void JsonUserDefaults::registerDefaults(const std::map<std::string, Value>& defaults) {
    for (const auto& [key, value] : defaults) {
        registered_[key] = value;
        // A hand-edited setting of no type we read is dropped for its default: say which.
        if (auto it = document_->stored.find(key); it != document_->stored.end() && !typed(*it)) {
            std::fprintf(stderr,
                         "glidewheel: \"%s\" in %s is neither a number nor true or false; "
                         "using its default\n",
                         key.c_str(), file_.c_str());
        }
    }
}

std::optional<UserDefaults::Value> JsonUserDefaults::valueForKey(const std::string& key) const {
    if (auto it = document_->memoryOnly.find(key); it != document_->memoryOnly.end()) {
        return it->second;
    }
    if (auto it = document_->stored.find(key); it != document_->stored.end()) {
        if (auto value = typed(*it)) return value;
    }
    if (auto it = registered_.find(key); it != registered_.end()) return it->second;
    return std::nullopt;
}

void JsonUserDefaults::setBool(const std::string& key, bool value) {
    document_->memoryOnly.erase(key);
    document_->stored[key] = value;
    persist();
}

void JsonUserDefaults::setDouble(const std::string& key, double value) {
    if (!std::isfinite(value)) {
        document_->memoryOnly[key] = value;
        std::fprintf(stderr,
                     "glidewheel: %s = %f is not saved: the settings file holds only "
                     "finite numbers\n",
                     key.c_str(), value);
        return;
    }
    document_->memoryOnly.erase(key);
    document_->stored[key] = value;
    persist();
}

void JsonUserDefaults::persist() {
    if (!document_->writable) return;
    const std::optional<std::string> failure =
        writeFileAtomically(file_, printed(document_->stored));
    if (failure && !document_->failing) {
        std::fprintf(stderr, "glidewheel: %s; settings are kept until exit\n", failure->c_str());
    }
    document_->failing = failure.has_value();
}

}  // namespace glidewheel::platform::linuxdesktop
