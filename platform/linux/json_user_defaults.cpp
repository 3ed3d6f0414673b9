#include "platform/linux/json_user_defaults.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <system_error>
#include <variant>

#include "platform/linux/file_io.h"
#include "platform/linux/xdg_paths.h"

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

bool asBool(const UserDefaults::Value& value) {
    if (const bool* b = std::get_if<bool>(&value)) return *b;
    return std::get<double>(value) != 0.0;
}

double asDouble(const UserDefaults::Value& value) {
    if (const bool* b = std::get_if<bool>(&value)) return *b ? 1.0 : 0.0;
    return std::get<double>(value);
}

// A stored JSON value as a typed value, if it is a boolean or a number.
std::optional<UserDefaults::Value> typed(const nlohmann::ordered_json& json) {
    if (json.is_boolean()) return UserDefaults::Value{json.get<bool>()};
    if (json.is_number()) return UserDefaults::Value{json.get<double>()};
    return std::nullopt;
}

}  // namespace

JsonUserDefaults::JsonUserDefaults(std::filesystem::path file)
    : file_(std::move(file)), document_(std::make_unique<Document>()) {
    int error = 0;
    const std::optional<std::string> text = readFile(file_, error);
    if (!text) {
        if (!isNotFound(error)) {
            document_->writable = false;
            std::fprintf(stderr, "glidewheel: %s; settings changed now are kept until exit\n",
                         describeError("Cannot read", file_, error).c_str());
        }
        return;
    }

    auto parsed = nlohmann::ordered_json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (!parsed.is_discarded() && parsed.is_object()) {
        document_->stored = std::move(parsed);
        return;
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
    for (const auto& [key, value] : defaults) registered_[key] = value;
}

bool JsonUserDefaults::boolForKey(const std::string& key) const {
    if (auto it = document_->memoryOnly.find(key); it != document_->memoryOnly.end()) {
        return it->second != 0.0;
    }
    if (auto it = document_->stored.find(key); it != document_->stored.end()) {
        if (auto value = typed(*it)) return asBool(*value);
    }
    if (auto it = registered_.find(key); it != registered_.end()) return asBool(it->second);
    return false;
}

double JsonUserDefaults::doubleForKey(const std::string& key) const {
    if (auto it = document_->memoryOnly.find(key); it != document_->memoryOnly.end()) {
        return it->second;
    }
    if (auto it = document_->stored.find(key); it != document_->stored.end()) {
        if (auto value = typed(*it)) return asDouble(*value);
    }
    if (auto it = registered_.find(key); it != registered_.end()) return asDouble(it->second);
    return 0.0;
}

void JsonUserDefaults::setBool(const std::string& key, bool value) {
    document_->memoryOnly.erase(key);
    document_->stored[key] = value;
    persist();
}

void JsonUserDefaults::setDouble(const std::string& key, double value) {
    if (!std::isfinite(value)) {
        document_->memoryOnly[key] = value;
        std::fprintf(stderr, "glidewheel: %s = %f is not saved: the settings file holds only "
                     "finite numbers\n", key.c_str(), value);
        return;
    }
    document_->memoryOnly.erase(key);
    document_->stored[key] = value;
    persist();
}

void JsonUserDefaults::persist() {
    if (!document_->writable) return;
    const std::string text =
        document_->stored.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
        "\n";
    const std::optional<std::string> failure = writeFileAtomically(file_, text);
    if (failure && !document_->failing) {
        std::fprintf(stderr, "glidewheel: %s; settings are kept until exit\n", failure->c_str());
    }
    document_->failing = failure.has_value();
}

}  // namespace glidewheel::platform::linuxdesktop
