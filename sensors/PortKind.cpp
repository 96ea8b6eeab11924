#include "PortKind.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifndef _WIN32
bool NotASerialPort(const std::string& name) {
    struct stat st {};
    if (name.empty() || ::stat(name.c_str(), &st) != 0)
        return false; // absent: the adapter may come back
    if (!S_ISCHR(st.st_mode))
        return true;
    // A character device is a line only when it is a terminal. Opened without waiting for
    // a carrier and without becoming the station's controlling terminal.
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false; // busy or denied: the usual failures answer that
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return !terminal;
}
#else
bool NotASerialPort(const std::string&) {
    return false;
}
#endif
