// SPDX-License-Identifier: MIT

#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/system.h"

namespace glidewheel::platform::linuxdesktop {

// User defaults kept in one JSON object file: Bools as JSON booleans, Doubles as JSON numbers,
// lists of wheel mice as arrays of objects:
//   {"name": "USB Optical Mouse", "vendor": "046d", "product": "c077",
//    "physicalPath": "usb-0000:00:14.0-1/input0", "fineWheel": true, "smooth": false}
// (vendor and product as four hexadecimal digits; "fineWheel" and "smooth" may be left out).
// Entries of another shape, texts longer than 256 bytes and entries past the 64th are dropped
// as the list is read, each with a line on standard error; the file keeps them until the list
// is set. Lists of names (the applications that keep the raw wheel) are arrays of strings,
// under the same bounds: entries that are not strings, are empty or longer than 256 bytes, and
// entries past the 64th, are dropped in the same way.
//
// - Every set rewrites the whole file at once, atomically and durably (a temporary file in the
//   same directory, fsync, rename over the old one, fsync of the directory), keeping every key
//   the file held, also keys of other types and keys this program does not know.
// - Registered defaults answer for keys never set and are never written.
// - A missing file reads as empty. A file that cannot be parsed, whose top level is not an
//   object, that nests deeper than 32 levels or that would be written larger than 1 MiB is
//   moved aside as "<name>.corrupt-<UTC time>" and the program runs on its defaults.
// - A file that can be neither read nor moved aside is never overwritten: values set during
//   the run stay in memory only.
// - A failed write keeps the value in memory and logs one line to standard error (again only
//   after a later write has succeeded).
// - JSON holds no NaN or infinity: such a value is kept in memory for this run and the file
//   keeps the key's previous value.
//
// Used on the main thread only.
class JsonUserDefaults final : public UserDefaults {
public:
    explicit JsonUserDefaults(std::filesystem::path file);
    ~JsonUserDefaults() override;

    // $XDG_CONFIG_HOME/glidewheel/defaults.json, or ~/.config/glidewheel/defaults.json when
    // XDG_CONFIG_HOME is unset, empty or relative.
    static std::filesystem::path defaultFile();

    void registerDefaults(const std::map<std::string, Value>& defaults) override;
    void setBool(const std::string& key, bool value) override;
    void setDouble(const std::string& key, double value) override;
    std::vector<KnownWheelMouse> wheelMiceForKey(const std::string& key) const override;
    void setWheelMice(const std::string& key, const std::vector<KnownWheelMouse>& mice) override;
    std::vector<std::string> namesForKey(const std::string& key) const override;
    void setNames(const std::string& key, const std::vector<std::string>& names) override;

private:
    struct Document;

    std::optional<Value> valueForKey(const std::string& key) const override;
    // The entries of the list under `key` that `read` accepts, each dropped one and the
    // entries past the bound said on standard error; `shape` names what an entry must be.
    template <class T, class Read>
    std::vector<T> listForKey(const std::string& key, const char* kind, const char* shape,
                              Read read) const;
    void persist();

    const std::filesystem::path file_;
    std::map<std::string, Value> registered_;
    std::unique_ptr<Document> document_;
};

}  // namespace glidewheel::platform::linuxdesktop
