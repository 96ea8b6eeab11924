#include "OutputTarget.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string Cannot(const std::string& path, const std::string& why) {
    return "cannot write \"" + path + "\": " + why;
}

#ifndef _WIN32
// Every byte through one descriptor; false with errno set when one write fails.
bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes into what is there: a device, a pipe, or a file other names share.
std::string WriteThrough(const std::string& path, const std::string& bytes, bool truncate) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | (truncate ? O_TRUNC : 0));
    if (fd < 0)
        return Cannot(path, std::strerror(errno));
    const bool ok = WriteAll(fd, bytes) && (!truncate || ::fsync(fd) == 0 || errno == EINVAL);
    const int err = errno;
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed)
        return Cannot(path, std::strerror(ok ? errno : err));
    return {};
}

// A new file beside `target` with the bytes, flushed to the disk, then renamed over it.
std::string ReplaceWhole(const std::string& target, const std::string& bytes, mode_t mode) {
    const fs::path dir = fs::path(target).parent_path();
    std::random_device rd;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = (dir / (".tavrona-report-" + std::to_string(rd()) + ".tmp")).string();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return Cannot(target, std::strerror(errno));
    bool ok = WriteAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return Cannot(target, std::strerror(err));
    }
    return {};
}
#endif

} // namespace

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::equivalent(fs::u8path(a), fs::u8path(b), ec) && !ec;
}

#ifndef _WIN32
std::string WriteOutputFile(const std::string& path, const std::string& bytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return Cannot(path, std::strerror(errno));
        // A new file (or a dangling link's target): whole or not at all.
        std::error_code ec;
        const fs::path resolved = fs::weakly_canonical(fs::u8path(path), ec);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return ReplaceWhole(ec ? path : resolved.string(), bytes, 0666 & ~mask);
    }
    if (S_ISDIR(st.st_mode))
        return Cannot(path, "it is a folder");
    if (!S_ISREG(st.st_mode))
        return WriteThrough(path, bytes, false);
    if (::access(path.c_str(), W_OK) != 0)
        return Cannot(path, std::strerror(errno));
    std::error_code ec;
    const fs::path resolved = fs::canonical(fs::u8path(path), ec);
    if (ec)
        return Cannot(path, ec.message());
    // Other names, another owner or no write permission of its own (which root passes by):
    // a new file in its place would not be the same file, so it is written in place.
    if (st.st_nlink > 1 || st.st_uid != ::geteuid() || !(st.st_mode & S_IWUSR))
        return WriteThrough(resolved.string(), bytes, true);
    // A folder the user may not write: the file itself still may be, in place.
    const std::string why = ReplaceWhole(resolved.string(), bytes, st.st_mode & 07777);
    if (!why.empty() && ::access(resolved.parent_path().c_str(), W_OK) != 0)
        return WriteThrough(resolved.string(), bytes, true);
    return why;
}
#else
std::string WriteOutputFile(const std::string& path, const std::string& bytes) {
    // Written beside the target and moved over it, so a failure keeps the earlier file.
    const fs::path target = fs::u8path(path);
    std::error_code ec;
    if (fs::is_directory(target, ec))
        return Cannot(path, "it is a folder");
    const fs::path temp = target.parent_path() / (target.filename().string() + ".tmp");
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        if (f)
            f.write(bytes.data(), std::streamsize(bytes.size()));
        if (f)
            f.close();
        if (!f) {
            fs::remove(temp, ec);
            return Cannot(path, "the file could not be written");
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return Cannot(path, ec.message());
    }
    return {};
}
#endif
