#include "PtyLine.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

std::string SimLinkFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/tavrona-sim";
    return "/tmp/tavrona-sim-" + std::to_string(::getuid());
}

PtyLine::PtyLine() {
    fd_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd_ < 0)
        Fail("posix_openpt");
    if (grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
        ::close(fd_);
        Fail("grantpt/unlockpt");
    }
    const char* name = ptsname(fd_);
    if (!name) {
        ::close(fd_);
        Fail("ptsname");
    }
    device_ = name;
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    MakeRaw();
}

PtyLine::~PtyLine() {
    Unlink();
    if (fd_ >= 0)
        ::close(fd_);
}

void PtyLine::MakeRaw() {
    termios t{};
    if (tcgetattr(fd_, &t) != 0)
        return;
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(fd_, TCSANOW, &t);
}

void PtyLine::Link(const std::string& name) {
    std::string folder = SimLinkFolder();
    // The folders are the user's own; a failure here shows at symlink() below.
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    // The station lists lines only from a folder of this user's own that no one else may
    // write into; a link made anywhere else would never be offered.
    struct stat dir {};
    if (::lstat(folder.c_str(), &dir) != 0)
        Fail("mkdir " + folder);
    if (!S_ISDIR(dir.st_mode) || dir.st_uid != ::getuid() || (dir.st_mode & (S_IWGRP | S_IWOTH))) {
        errno = EPERM;
        Fail("not a private folder of this user: " + folder);
    }
    std::string path = folder + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            errno = EEXIST;
            Fail("not replacing " + path);
        }
        ::unlink(path.c_str());
    }
    if (::symlink(device_.c_str(), path.c_str()) != 0)
        Fail("symlink " + path);
    link_ = path;
}

void PtyLine::Unlink() {
    if (link_.empty())
        return;
    char target[4096];
    ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
    if (n >= 0) {
        target[n] = '\0';
        if (device_ == target)
            ::unlink(link_.c_str());
    }
    link_.clear();
}
