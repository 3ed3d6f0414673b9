// SPDX-License-Identifier: MIT

#include "platform/linux/base/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/linux/base/describe_error.h"
#include "platform/linux/base/unique_fd.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return path_; }
    void keep() { path_.clear(); }

private:
    std::string path_;
};

// A symbolic link (a settings file kept with the user's other dotfiles, say) stays a link: the
// file it points to is the one replaced.
std::filesystem::path replacedFile(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_symlink(file, error)) return file;
    std::filesystem::path target = std::filesystem::weakly_canonical(file, error);
    return error ? file : target;
}

}  // namespace

std::optional<std::string> readFile(const std::filesystem::path& file, int& error,
                                    std::size_t limit) {
    const UniqueFd in = adoptFd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in) {
        error = errno;
        return std::nullopt;
    }
    std::string contents;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(in.get().fd, buffer, sizeof buffer);
        if (got == 0) return contents;
        if (got < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return std::nullopt;
        }
        contents.append(buffer, static_cast<std::size_t>(got));
        if (contents.size() > limit) {
            error = EFBIG;
            return std::nullopt;
        }
    }
}

std::optional<std::string> writeFileAtomically(const std::filesystem::path& file,
                                               std::string_view contents) {
    const std::filesystem::path target = replacedFile(file);
    const std::filesystem::path directory =
        target.parent_path().empty() ? "." : target.parent_path();
    std::error_code made;
    std::filesystem::create_directories(directory, made);
    if (made) return describeError("Cannot create", directory, made.value());

    std::string pattern = (directory / ("." + target.filename().string() + ".XXXXXX")).string();
    UniqueFd out = adoptFd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!out) return describeError("Cannot write", target, errno);
    TemporaryFile temporary(pattern);

    // A replaced file keeps its permissions; a new one is the owner's only (mkostemp's 0600).
    if (struct stat existing{}; ::stat(target.c_str(), &existing) == 0) {
        ::fchmod(out.get().fd, existing.st_mode & 07777);
    }
    if (!writeAll(out.get().fd, contents) || ::fsync(out.get().fd) != 0 || closeNow(out) != 0) {
        return describeError("Cannot write", target, errno);
    }
    if (::rename(temporary.path().c_str(), target.c_str()) != 0) {
        return describeError("Cannot replace", target, errno);
    }
    temporary.keep();

    const UniqueFd dir = adoptFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir || ::fsync(dir.get().fd) != 0) {
        return describeError("Cannot flush", directory, errno);
    }
    return std::nullopt;
}

}  // namespace glidewheel::platform::linuxdesktop
