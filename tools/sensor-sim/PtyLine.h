#pragma once
// The pseudo-terminal the station opens as its serial port, and its link in the user's
// runtime folder.

#include <string>

class PtyLine {
public:
    // Opens the master side in raw mode; throws std::runtime_error on failure.
    PtyLine();
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    int Fd() const { return fd_; }
    const std::string& DevicePath() const { return device_; }
    // Raw mode again: the terminal's settings go back to their defaults whenever the
    // station closes its side, and echo would send our replies back to us.
    void MakeRaw();

    // Links the device as <runtime folder>/tavrona-sim/<name>, replacing a stale link.
    void Link(const std::string& name);
    const std::string& LinkPath() const { return link_; }
    // Removes the link if it still points at this device.
    void Unlink();

private:
    int fd_ = -1;
    std::string device_;
    std::string link_;
};

// $XDG_RUNTIME_DIR/tavrona-sim, else /tmp/tavrona-sim-<user id>: as the station looks.
std::string SimLinkFolder();
