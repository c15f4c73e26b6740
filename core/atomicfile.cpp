#include "core/atomicfile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Temporary files are "<name>.tmp-" and six random characters.
constexpr const char* kTemporaryInfix = ".tmp-";

std::string baseNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A write cut short (the program killed between creating its temporary file
// and renaming it) leaves "<name>.tmp-XXXXXX" behind. Such files older than a
// minute are removed; a younger one may be another writer's, at work now.
void removeStaleTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const std::string prefix = baseNameOf(path) + kTemporaryInfix;
    const auto cutoff = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folderOf(path), error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && entry.last_write_time(ignored) < cutoff)
            fs::remove(entry.path(), ignored);
    }
}

} // namespace

bool writeFileAtomically(const std::string& path, std::string_view contents) {
    removeStaleTemporaries(path);
    std::string temp = path + kTemporaryInfix + "XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    // mkstemp creates 0600; data files are ordinary user files.
    ::fchmod(fd, 0644);
    const bool written = writeAll(fd, contents) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

std::optional<std::string> readWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return std::nullopt;
    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        data.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return data;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}
