// SPDX-License-Identifier: MIT

#pragma once

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace glidewheel::platform::linuxdesktop {

// Replaces `file` with `contents` so that a crash at any moment leaves either the old file or the
// new one, complete: a temporary file in the same directory is written and flushed to disk, then
// renamed over `file`, and the directory is flushed so the rename itself survives. Creates the
// directory when it is missing. A symbolic link is followed: its target is replaced. A replaced
// file keeps its permissions; a new one is readable by its owner only.
// Returns a description of what failed ("Cannot write <file>: <strerror text>"), or nothing.
std::optional<std::string> writeFileAtomically(const std::filesystem::path& file,
                                               std::string_view contents);

// The whole of `file`, or nothing with `error` set to the errno value; EFBIG when the file holds
// more than `limit` bytes (only that much more is read).
std::optional<std::string> readFile(const std::filesystem::path& file, int& error,
                                    std::size_t limit = std::numeric_limits<std::size_t>::max());

// Whether a readFile error means the file does not exist: ENOENT, or ENOTDIR when a directory
// on its path is a file.
inline bool isNotFound(int error) { return error == ENOENT || error == ENOTDIR; }

}  // namespace glidewheel::platform::linuxdesktop
