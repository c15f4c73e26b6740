#pragma once

// Reading and rewriting the files a user keeps, with no Qt: the program and
// the MIDI library both link this (static library tonyx_files), so every
// file either of them reads or rewrites goes through the same guards.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

// ---- Guarded reading ---------------------------------------------------
// A file is opened without blocking (a pipe under the name would wait for a
// writer for ever), only a regular file is read (a link to /dev/zero never
// ends), and only up to a size limit far above any valid file.

enum class FileReadStatus {
    Read,     // the whole file was read
    Missing,  // nothing exists under the name
    NotAFile, // a folder, pipe, device or socket
    TooLarge, // over the limit given
    Failed,   // could not be opened or read; error() tells why
};

// Text and data files of the program: a valid one is a few kilobytes.
inline constexpr uint64_t kDataFileLimit = uint64_t{16} << 20;

// An open regular file, closed when it goes.
class GuardedFile {
public:
    GuardedFile(const char* path, uint64_t limit);
    GuardedFile(const GuardedFile&) = delete;
    GuardedFile& operator=(const GuardedFile&) = delete;
    ~GuardedFile();

    [[nodiscard]] FileReadStatus status() const { return status_; }
    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
    [[nodiscard]] uint64_t size() const { return size_; } // at the open
    [[nodiscard]] int error() const { return error_; }
    // Reads up to `room` bytes (fewer only at the end of the file); -1 on a
    // read error, which then sets status() to Failed.
    [[nodiscard]] ssize_t read(void* buffer, size_t room);

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    int error_ = 0;
    FileReadStatus status_ = FileReadStatus::Failed;
};

struct FileContents {
    FileReadStatus status = FileReadStatus::Failed;
    int error = 0; // errno for Failed
    std::string data;
    [[nodiscard]] bool read() const { return status == FileReadStatus::Read; }
};

// Why a file could not be read, for the user: "it is not a regular file"...
[[nodiscard]] std::string unreadableReason(const FileContents& contents);

// The whole file, guarded as above; a file that grows past the limit while
// it is read is TooLarge.
[[nodiscard]] FileContents readFileGuarded(const std::string& path,
                                           uint64_t limit = kDataFileLimit);

// ---- Guarded rewriting -------------------------------------------------
// The new contents go to a temporary file in the folder of the file they
// replace, which is flushed to disk and renamed over it, so a crash or a
// full disk leaves the old file or the new one, never half of one. Also:
// - a symbolic link is followed: its target is replaced in its own folder
//   and the link stays a link;
// - the new file keeps the old one's mode, and its owner and group where
//   the process may set them; a new file gets 0666 less the umask;
// - a file with no write permission (mode 444, say) is never replaced, nor
//   anything that is not a regular file.
class FileRewrite {
public:
    FileRewrite() = default;
    FileRewrite(const FileRewrite&) = delete;
    FileRewrite& operator=(const FileRewrite&) = delete;
    ~FileRewrite(); // an uncommitted rewrite leaves no temporary file

    // Checks the file may be replaced and makes the temporary file.
    [[nodiscard]] bool begin(const std::string& path);
    [[nodiscard]] bool write(const void* data, size_t size);
    // Flushes the temporary file and puts it in place of the old one.
    [[nodiscard]] bool commit();

    // Why the last step failed, in the system's words where it has them.
    [[nodiscard]] const std::string& reason() const { return reason_; }
    // The file that is (or would have been) replaced, links followed.
    [[nodiscard]] const std::string& target() const { return target_; }

private:
    bool fail(int error);
    bool fail(std::string reason);
    void abandon();

    std::string target_;
    std::string temporary_;
    std::string reason_;
    int fd_ = -1;
};

struct FileWrite {
    bool ok = false;
    std::string reason; // when not ok
};
[[nodiscard]] FileWrite rewriteFile(const std::string& path, std::string_view contents);

// Where `path` leads once symbolic links are followed (the path itself when
// it is no link); a link loop or dangling chain ends at its last name.
[[nodiscard]] std::string followLinks(const std::string& path);

// The system's text for an errno value (thread-safe).
[[nodiscard]] std::string systemReason(int error);

// A data file whose damaged parts a rewrite would drop is first copied to
// its name with this added.
inline constexpr const char* kDamagedSuffix = ".damaged";

// ---- Shorthands for the data files --------------------------------------
// rewriteFile(...).ok.
[[nodiscard]] bool writeFileAtomically(const std::string& path, std::string_view contents);
// readFileGuarded(path).data, std::nullopt when it is not Read.
[[nodiscard]] std::optional<std::string> readWholeFile(const std::string& path);
// True when something exists under that name (the file may still be unreadable).
[[nodiscard]] bool fileExists(const std::string& path);
