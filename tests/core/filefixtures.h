#pragma once

// Odd files for the tests of the data files and of what reads or rewrites
// them: each makes one thing that can stand under a file's name.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filefixtures {

namespace fs = std::filesystem;

inline void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What stands under a file's name instead of a plain readable file.
enum class Odd { Fifo, DevZeroLink, Folder, Oversize };

inline const char* nameOf(Odd odd) {
    switch (odd) {
    case Odd::Fifo:
        return "Fifo";
    case Odd::DevZeroLink:
        return "DevZeroLink";
    case Odd::Folder:
        return "Folder";
    case Odd::Oversize:
        return "Oversize";
    }
    return "?";
}

// Makes it at `path`; an oversize file is sparse, `size` bytes long. Throws
// what it cannot make.
inline void make(Odd odd, const fs::path& path, uint64_t size = (uint64_t{16} << 20) + 1) {
    switch (odd) {
    case Odd::Fifo:
        if (::mkfifo(path.c_str(), 0644) != 0)
            throw std::runtime_error(std::string("mkfifo: ") + std::strerror(errno));
        break;
    case Odd::DevZeroLink:
        fs::create_symlink("/dev/zero", path);
        break;
    case Odd::Folder:
        fs::create_directories(path / "inside");
        break;
    case Odd::Oversize:
        writeText(path, "\r\n1 2 3");
        fs::resize_file(path, size);
        break;
    }
}

// A file system of 64 KiB filled to the last byte, mounted at a folder of
// its own; only root may mount, so elsewhere `reason` says why it is not.
class FullDisk {
public:
    explicit FullDisk(const fs::path& folder) : folder_(folder) {
        fs::create_directories(folder_);
        if (::geteuid() != 0) {
            reason_ = "a full disk needs a small tmpfs, which only root may mount";
            return;
        }
        if (::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=64k,nr_inodes=64") != 0) {
            reason_ = std::string("cannot mount a small tmpfs: ") + std::strerror(errno);
            return;
        }
        mounted_ = true;
    }
    ~FullDisk() {
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    [[nodiscard]] bool mounted() const { return mounted_; }
    [[nodiscard]] const std::string& reason() const { return reason_; }

    // Fills every free byte.
    void fill() const {
        const int fd = ::open((folder_ / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd < 0)
            throw std::runtime_error(std::string("filler: ") + std::strerror(errno));
        char block[4096] = {};
        while (::write(fd, block, sizeof block) > 0) {
        }
        while (::write(fd, block, 1) > 0) {
        }
        ::close(fd);
    }

private:
    fs::path folder_;
    bool mounted_ = false;
    std::string reason_;
};

} // namespace filefixtures
