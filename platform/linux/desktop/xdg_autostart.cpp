// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/xdg_autostart.h"

#include <unistd.h>

#include <cerrno>
#include <map>
#include <string_view>

#include "platform/linux/base/describe_error.h"
#include "platform/linux/base/file_io.h"
#include "platform/linux/desktop/xdg_paths.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

// Marks the entry as written by this program, so that a file of the same name that the user or
// another program put there is never replaced or removed.
constexpr std::string_view kOwnerKey = "X-Glidewheel-Autostart";

using Entries = std::map<std::string, std::string, std::less<>>;

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The key=value pairs of the [Desktop Entry] group.
Entries desktopEntryGroup(std::string_view text) {
    Entries entries;
    bool inGroup = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos) continue;
        entries.emplace(std::string(trimmed(line.substr(0, equals))),
                        std::string(trimmed(line.substr(equals + 1))));
    }
    return entries;
}

bool has(const Entries& entries, std::string_view key, std::string_view value) {
    const auto it = entries.find(key);
    return it != entries.end() && it->second == value;
}

bool isOurs(const Entries& entries) { return has(entries, kOwnerKey, "true"); }

// Hidden=true means deleted for desktop entries; the GNOME key is how session settings switch an
// autostart entry off without deleting it.
bool isActive(const Entries& entries) {
    return !has(entries, "Hidden", "true") && !has(entries, "X-GNOME-Autostart-enabled", "false");
}

std::string entryText(const std::string& executablePath) {
    std::string text = "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Name=Glidewheel\n";
    text += "Comment=Smooth scrolling for wheel mice\n";
    // At login no window opens of its own accord, even where no tray shows the icon.
    text += "Exec=" + desktopEntryExecValue(executablePath) + " " + kBackgroundOption + "\n";
    text += "Icon=glidewheel\n";
    text += "Terminal=false\n";
    text += "X-GNOME-Autostart-enabled=true\n";
    text += std::string(kOwnerKey) + "=true\n";
    return text;
}

}  // namespace

XdgAutostartLoginItems::XdgAutostartLoginItems(std::filesystem::path entryFile,
                                               std::string executablePath)
    : entryFile_(std::move(entryFile)), executablePath_(std::move(executablePath)) {}

std::filesystem::path XdgAutostartLoginItems::defaultEntryFile() {
    return configHome() / "autostart" / "glidewheel.desktop";
}

LoginItemStatus XdgAutostartLoginItems::status() const {
    int error = 0;
    const std::optional<std::string> text = readFile(entryFile_, error);
    if (!text) return LoginItemStatus::notRegistered;
    const Entries entries = desktopEntryGroup(*text);
    return isOurs(entries) && isActive(entries) ? LoginItemStatus::enabled
                                                : LoginItemStatus::notRegistered;
}

std::optional<std::string> XdgAutostartLoginItems::registerMainApp() {
    if (!std::filesystem::path(executablePath_).is_absolute()) {
        return "The program's own location is unknown (\"" + executablePath_ + "\")";
    }
    int error = 0;
    if (const std::optional<std::string> text = readFile(entryFile_, error)) {
        if (!isOurs(desktopEntryGroup(*text))) {
            return entryFile_.string() + " belongs to another program; it was left as it is";
        }
    } else if (!isNotFound(error)) {
        return describeError("Cannot read", entryFile_, error);
    }
    return writeFileAtomically(entryFile_, entryText(executablePath_));
}

std::optional<std::string> XdgAutostartLoginItems::unregisterMainApp() {
    int error = 0;
    const std::optional<std::string> text = readFile(entryFile_, error);
    if (!text) {
        if (isNotFound(error)) return std::nullopt;
        return describeError("Cannot read", entryFile_, error);
    }
    // Another program's entry does not start this one: nothing of ours to remove.
    if (!isOurs(desktopEntryGroup(*text))) return std::nullopt;
    if (::unlink(entryFile_.c_str()) != 0 && errno != ENOENT) {
        return describeError("Cannot remove", entryFile_, errno);
    }
    return std::nullopt;
}

std::string desktopEntryExecValue(const std::string& program) {
    // Characters that make an Exec argument need double quotes.
    constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    // Characters that need a backslash inside those quotes.
    constexpr std::string_view kEscapedInQuotes = "\"`$\\";

    const bool quote = program.find_first_of(kReserved) != std::string::npos;
    std::string argument;
    if (quote) argument += '"';
    for (const char c : program) {
        if (c == '%') {
            argument += "%%";  // a lone % would start a field code
            continue;
        }
        if (quote && kEscapedInQuotes.find(c) != std::string_view::npos) argument += '\\';
        argument += c;
    }
    if (quote) argument += '"';

    // The whole value is then a desktop entry string, with its own escapes.
    std::string value;
    for (const char c : argument) {
        switch (c) {
            case '\\': value += "\\\\"; break;
            case '\n': value += "\\n"; break;
            case '\t': value += "\\t"; break;
            case '\r': value += "\\r"; break;
            default: value += c;
        }
    }
    return value;
}

}  // namespace glidewheel::platform::linuxdesktop
