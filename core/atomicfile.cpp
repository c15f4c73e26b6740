#include "core/atomicfile.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Temporary files are "<name>.tmp-" and six random characters.
constexpr const char* kTemporaryInfix = ".tmp-";

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

// Read, not set: umask() would have to change it, racing other threads.
mode_t processUmask() {
    mode_t mask = 022;
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return mask;
    char text[4096];
    ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return mask;
    text[n] = '\0';
    const char* line = std::strstr(text, "\nUmask:");
    if (!line)
        return mask;
    line += 7;
    while (*line == ' ' || *line == '\t')
        ++line;
    mode_t value = 0;
    bool digits = false;
    for (; *line >= '0' && *line <= '7'; ++line, digits = true)
        value = value * 8 + mode_t(*line - '0');
    return digits ? (value & 0777) : mask;
}

} // namespace

// ---- Reading --------------------------------------------------------------

GuardedFile::GuardedFile(const char* path, uint64_t limit) {
    fd_ = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = errno;
        status_ = error_ == ENOENT ? FileReadStatus::Missing : FileReadStatus::Failed;
        return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        error_ = errno;
        status_ = FileReadStatus::Failed;
    } else if (!S_ISREG(st.st_mode)) {
        status_ = FileReadStatus::NotAFile;
    } else if (uint64_t(st.st_size) > limit) {
        status_ = FileReadStatus::TooLarge;
    } else {
        size_ = uint64_t(st.st_size);
        status_ = FileReadStatus::Read;
        return;
    }
    ::close(fd_);
    fd_ = -1;
}

GuardedFile::~GuardedFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

ssize_t GuardedFile::read(void* buffer, size_t room) {
    if (fd_ < 0)
        return -1;
    size_t done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (done < room) {
        const ssize_t n = ::read(fd_, bytes + done, room - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error_ = errno;
            status_ = FileReadStatus::Failed;
            return -1;
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    return ssize_t(done);
}

FileContents readFileGuarded(const std::string& path, uint64_t limit) {
    FileContents contents;
    GuardedFile file(path.c_str(), limit);
    if (!file.isOpen()) {
        contents.status = file.status();
        contents.error = file.error();
        return contents;
    }
    // What the open saw, then whatever the file has grown by since, up to
    // one byte past the limit.
    contents.data.resize(size_t(file.size()));
    ssize_t n = file.read(contents.data.data(), contents.data.size());
    if (n >= 0 && size_t(n) == contents.data.size()) {
        char more[16384];
        ssize_t extra = 0;
        while ((extra = file.read(more, sizeof more)) > 0) {
            contents.data.append(more, size_t(extra));
            if (contents.data.size() > limit) {
                contents.status = FileReadStatus::TooLarge;
                contents.data.clear();
                return contents;
            }
            if (size_t(extra) < sizeof more)
                break;
        }
        n = extra < 0 ? -1 : ssize_t(contents.data.size());
    }
    if (n < 0) {
        contents.status = FileReadStatus::Failed;
        contents.error = file.error();
        contents.data.clear();
        return contents;
    }
    contents.data.resize(size_t(n));
    contents.status = FileReadStatus::Read;
    return contents;
}

std::string unreadableReason(const FileContents& contents) {
    switch (contents.status) {
    case FileReadStatus::Read:
        return {};
    case FileReadStatus::Missing:
        return systemReason(ENOENT);
    case FileReadStatus::NotAFile:
        return "it is not a regular file";
    case FileReadStatus::TooLarge:
        return "it is far larger than any file the program writes";
    case FileReadStatus::Failed:
        break;
    }
    return "it cannot be read (" + systemReason(contents.error) + ")";
}

// ---- Rewriting -------------------------------------------------------------

std::string systemReason(int error) {
    char buffer[256];
    // The GNU strerror_r returns its text, maybe not in the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

std::string followLinks(const std::string& path) {
    std::string current = path;
    // As many links as the system itself follows in one lookup.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0 || size_t(n) >= target.size())
            return current;
        target.resize(size_t(n));
        if (target.front() != '/' && current.find('/') != std::string::npos)
            target = folderOf(current) + "/" + target;
        current = std::move(target);
    }
    return current;
}

FileRewrite::~FileRewrite() {
    abandon();
}

void FileRewrite::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool FileRewrite::fail(int error) {
    return fail(systemReason(error));
}

bool FileRewrite::fail(std::string reason) {
    reason_ = std::move(reason);
    abandon();
    return false;
}

bool FileRewrite::begin(const std::string& path) {
    abandon();
    reason_.clear();
    target_ = followLinks(path);
    removeStaleTemporaries(target_);

    struct stat old {};
    const bool exists = ::stat(target_.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return fail(errno);
    if (exists) {
        if (!S_ISREG(old.st_mode))
            return fail(std::string("it is not a regular file"));
        // A file its owner made read-only stays as it is, whoever runs us.
        if ((old.st_mode & 0222) == 0)
            return fail(EACCES);
        if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
            return fail(errno);
    }

    temporary_ = target_ + kTemporaryInfix + "XXXXXX";
    fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        temporary_.clear();
        return fail(error);
    }
    if (exists) {
        // Owner first: changing it may clear the set-id bits the mode restores.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            ::fchown(fd_, old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd_, uid_t(-1), old.st_gid);
        if (::fchmod(fd_, old.st_mode & 07777) != 0)
            return fail(errno);
    } else if (::fchmod(fd_, 0666 & ~processUmask()) != 0) {
        // mkstemp makes the file private; data files are ordinary user files.
        return fail(errno);
    }
    return true;
}

bool FileRewrite::write(const void* data, size_t size) {
    if (fd_ < 0)
        return false;
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(errno);
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

bool FileRewrite::commit() {
    if (fd_ < 0)
        return false;
    if (::fsync(fd_) != 0)
        return fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return fail(errno);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        return fail(errno);
    temporary_.clear();
    // Make the rename itself durable.
    const int dir = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

FileWrite rewriteFile(const std::string& path, std::string_view contents) {
    FileRewrite rewrite;
    FileWrite result;
    result.ok =
        rewrite.begin(path) && rewrite.write(contents.data(), contents.size()) && rewrite.commit();
    if (!result.ok)
        result.reason = rewrite.reason();
    return result;
}

bool writeFileAtomically(const std::string& path, std::string_view contents) {
    return rewriteFile(path, contents).ok;
}

std::optional<std::string> readWholeFile(const std::string& path) {
    FileContents contents = readFileGuarded(path);
    if (!contents.read())
        return std::nullopt;
    return std::move(contents.data);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}
