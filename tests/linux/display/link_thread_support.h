// SPDX-License-Identifier: MIT

#pragma once

// Reading a display link's thread status from /proc, for the links' thread tests.

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace glidewheel::platform::linuxdesktop {

// The ids of this process's threads.
inline std::set<std::string> threadIds() {
    std::set<std::string> ids;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(task.path().filename());
    return ids;
}

// The thread started since `before` was taken.
inline std::string newThreadSince(const std::set<std::string>& before) {
    for (const std::string& id : threadIds())
        if (!before.contains(id)) return id;
    return {};
}

// A field of a thread's /proc status, such as "voluntary_ctxt_switches".
inline std::string taskStatus(const std::string& thread, const std::string& field) {
    std::ifstream status("/proc/self/task/" + thread + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":")) return line.substr(field.size() + 1);
    return {};
}

}  // namespace glidewheel::platform::linuxdesktop
