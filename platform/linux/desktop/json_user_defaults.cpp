// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/json_user_defaults.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
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

// Bounds on a list of wheel mice or applications: far more than anyone plugs in or lists, and
// names the kernel's own limits keep well within.
constexpr std::size_t kMaxListText = 256;  // bytes of a name or physical path

std::optional<std::uint16_t> hexId(const nlohmann::ordered_json& json) {
    if (!json.is_string()) return std::nullopt;
    const std::string& text = json.get_ref<const std::string&>();
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.size() != 4 || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::optional<std::string> shortText(const nlohmann::ordered_json& json) {
    if (!json.is_string() || json.get_ref<const std::string&>().size() > kMaxListText)
        return std::nullopt;
    return json.get<std::string>();
}

// A member that may be left out, else must be a Bool.
bool absentOrBool(const nlohmann::ordered_json& entry, const char* key) {
    const auto it = entry.find(key);
    return it == entry.end() || it->is_boolean();
}

std::optional<bool> boolMember(const nlohmann::ordered_json& entry, const char* key) {
    const auto it = entry.find(key);
    if (it == entry.end() || !it->is_boolean()) return std::nullopt;
    return it->get<bool>();
}

std::optional<KnownWheelMouse> wheelMouse(const nlohmann::ordered_json& entry) {
    if (!entry.is_object()) return std::nullopt;
    const auto member = [&entry](const char* key) {
        const auto it = entry.find(key);
        return it != entry.end() ? *it : nlohmann::ordered_json();
    };
    const auto name = shortText(member("name"));
    const auto path = shortText(member("physicalPath"));
    const auto vendor = hexId(member("vendor"));
    const auto product = hexId(member("product"));
    if (!name || !path || !vendor || !product || !absentOrBool(entry, "fineWheel") ||
        !absentOrBool(entry, "smooth")) {
        return std::nullopt;
    }
    return KnownWheelMouse{*name,
                           *vendor,
                           *product,
                           *path,
                           boolMember(entry, "fineWheel").value_or(false),
                           boolMember(entry, "smooth")};
}

std::optional<std::string> applicationName(const nlohmann::ordered_json& entry) {
    std::optional<std::string> name = shortText(entry);
    if (name && name->empty()) return std::nullopt;
    return name;
}

nlohmann::ordered_json wheelMouseJson(const KnownWheelMouse& mouse) {
    const std::string ids = mouse.vendorProduct();
    nlohmann::ordered_json entry = {{"name", mouse.name},
                                    {"vendor", ids.substr(0, 4)},
                                    {"product", ids.substr(5, 4)},
                                    {"physicalPath", mouse.physicalPath}};
    if (mouse.fineWheel) entry["fineWheel"] = true;
    if (mouse.smooth) entry["smooth"] = *mouse.smooth;
    return entry;
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

template <class T, class Read>
std::vector<T> JsonUserDefaults::listForKey(const std::string& key, const char* kind,
                                            const char* shape, Read read) const {
    std::vector<T> entries;
    const auto list = document_->stored.find(key);
    if (list == document_->stored.end()) return entries;
    if (!list->is_array()) {
        std::fprintf(stderr, "glidewheel: \"%s\" in %s is not a list; using none\n", key.c_str(),
                     file_.c_str());
        return entries;
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
        if (i == kMaxStoredListEntries) {
            std::fprintf(stderr, "glidewheel: \"%s\" in %s holds over %zu %s; dropped the rest\n",
                         key.c_str(), file_.c_str(), kMaxStoredListEntries, kind);
            break;
        }
        if (std::optional<T> entry = read((*list)[i])) {
            entries.push_back(std::move(*entry));
        } else {
            std::fprintf(stderr, "glidewheel: \"%s\" entry %zu in %s is not %s; dropped it\n",
                         key.c_str(), i + 1, file_.c_str(), shape);
        }
    }
    return entries;
}

std::vector<KnownWheelMouse> JsonUserDefaults::wheelMiceForKey(const std::string& key) const {
    return listForKey<KnownWheelMouse>(key, "mice",
                                       "a mouse of name, vendor, product and physical path",
                                       wheelMouse);
}

std::vector<std::string> JsonUserDefaults::namesForKey(const std::string& key) const {
    return listForKey<std::string>(key, "applications", "a name of 1 to 256 bytes",
                                   applicationName);
}

void JsonUserDefaults::setNames(const std::string& key, const std::vector<std::string>& names) {
    document_->stored[key] = names;
    persist();
}

void JsonUserDefaults::setWheelMice(const std::string& key,
                                    const std::vector<KnownWheelMouse>& mice) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const KnownWheelMouse& mouse : mice) list.push_back(wheelMouseJson(mouse));
    document_->stored[key] = std::move(list);
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
