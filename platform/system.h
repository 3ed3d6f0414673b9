// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/known_wheel_mouse.h"

namespace glidewheel::platform {

// Whether the process may watch and post input events (the system's accessibility trust).
class Trust {
public:
    virtual ~Trust() = default;
    // Never prompts.
    virtual bool isProcessTrusted() const = 0;
    // Asks the system to tell the user how to grant trust. The answer is not awaited.
    virtual void promptForTrust() = 0;
};

// The most entries a stored list keeps: a reader drops those past it, so a writer stays within.
inline constexpr std::size_t kMaxStoredListEntries = 64;

// A typed key-value store that persists every set at once. Registered defaults are volatile:
// they answer for keys never set and are never written out.
class UserDefaults {
public:
    using Value = std::variant<bool, double>;

    virtual ~UserDefaults() = default;
    virtual void registerDefaults(const std::map<std::string, Value>& defaults) = 0;
    // The stored value, else the registered default, else false / 0.0. A stored value of the
    // other type converts: a double is true when non-zero, a Bool is 1.0 or 0.0.
    bool boolForKey(const std::string& key) const {
        const std::optional<Value> value = valueForKey(key);
        if (!value) return false;
        if (const bool* b = std::get_if<bool>(&*value)) return *b;
        return std::get<double>(*value) != 0.0;
    }
    double doubleForKey(const std::string& key) const {
        const std::optional<Value> value = valueForKey(key);
        if (!value) return 0.0;
        if (const bool* b = std::get_if<bool>(&*value)) return *b ? 1.0 : 0.0;
        return std::get<double>(*value);
    }
    virtual void setBool(const std::string& key, bool value) = 0;
    virtual void setDouble(const std::string& key, double value) = 0;
    // The list stored under `key`, else an empty one.
    virtual std::vector<KnownWheelMouse> wheelMiceForKey(const std::string& key) const = 0;
    virtual void setWheelMice(const std::string& key, const std::vector<KnownWheelMouse>& mice) = 0;
    // The list of names stored under `key`, else an empty one.
    virtual std::vector<std::string> namesForKey(const std::string& key) const = 0;
    virtual void setNames(const std::string& key, const std::vector<std::string>& names) = 0;

protected:
    // The value stored under `key`, else its registered default, else nothing.
    virtual std::optional<Value> valueForKey(const std::string& key) const = 0;
};

enum class LoginItemStatus { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

// Whether the program starts when the user logs in. Register and unregister give the system's
// description of what went wrong, or nothing on success.
class LoginItems {
public:
    virtual ~LoginItems() = default;
    virtual LoginItemStatus status() const = 0;
    virtual std::optional<std::string> registerMainApp() = 0;
    virtual std::optional<std::string> unregisterMainApp() = 0;
};

// The program's information dictionary (its version, for one), with values of any type.
class Bundle {
public:
    using Value = std::variant<std::string, double, bool>;
    using InfoDictionary = std::map<std::string, Value>;

    virtual ~Bundle() = default;
    virtual std::optional<InfoDictionary> infoDictionary() const = 0;
};

}  // namespace glidewheel::platform
