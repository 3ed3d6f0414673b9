// SPDX-License-Identifier: MIT

#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/pointer_application.h"
#include "platform/system.h"

namespace glidewheel::platform::sim {

// A trust switch that counts the prompts it was asked for.
class SimTrust final : public Trust {
public:
    bool isProcessTrusted() const override { return trusted; }
    void promptForTrust() override { ++prompts; }

    bool trusted = true;
    int prompts = 0;
};

// User defaults in memory. What is set survives restart(), which forgets the volatile
// registration as a new process would.
class SimUserDefaults final : public UserDefaults {
public:
    void registerDefaults(const std::map<std::string, Value>& defaults) override;
    void setBool(const std::string& key, bool value) override;
    void setDouble(const std::string& key, double value) override;
    std::vector<KnownWheelMouse> wheelMiceForKey(const std::string& key) const override;
    void setWheelMice(const std::string& key, const std::vector<KnownWheelMouse>& mice) override;
    std::vector<std::string> namesForKey(const std::string& key) const override;
    void setNames(const std::string& key, const std::vector<std::string>& names) override;

    const std::map<std::string, Value>& stored() const { return stored_; }
    void restart() { registered_.clear(); }
    int writes() const { return writes_; }

private:
    std::optional<Value> valueForKey(const std::string& key) const override;

    std::map<std::string, Value> registered_;
    std::map<std::string, Value> stored_;
    std::map<std::string, std::vector<KnownWheelMouse>> storedMice_;
    std::map<std::string, std::vector<std::string>> storedNames_;
    int writes_ = 0;
};

// A login-item service with a scripted status and scripted failures.
class SimLoginItems final : public LoginItems {
public:
    LoginItemStatus status() const override { return currentStatus; }
    std::optional<std::string> registerMainApp() override;
    std::optional<std::string> unregisterMainApp() override;

    LoginItemStatus currentStatus = LoginItemStatus::notRegistered;
    std::optional<std::string> registerFailure;    // description to fail register with
    std::optional<std::string> unregisterFailure;  // description to fail unregister with
    std::vector<std::string> calls;                // "register" / "unregister", in order
};

// The application under the pointer, as a test points at one.
class SimPointerApplication final : public PointerApplication {
public:
    bool isAvailable() const override { return available; }
    void pointAt(PointerTarget target) {
        publish(std::make_shared<const PointerTarget>(std::move(target)));
    }

    bool available = true;
};

class SimBundle final : public Bundle {
public:
    std::optional<InfoDictionary> infoDictionary() const override { return info; }

    std::optional<InfoDictionary> info = InfoDictionary{{"CFBundleShortVersionString", "1.0"}};
};

}  // namespace glidewheel::platform::sim
