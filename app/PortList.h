#pragma once
// The list of serial ports present, as the Settings dialog offers it.

#include <QString>
#include <QStringList>

// Where the port names come from. The station reads the platform's register of serial
// devices; tests hand in a fixed list.
class PortListSource {
public:
    virtual ~PortListSource() = default;
    // Fills `names` with the ports present, in the order the platform gives them.
    // Returns false when the platform's list cannot be read.
    virtual bool ReadPorts(QStringList& names) = 0;
};

// The platform's list. On Windows the names QSerialPortInfo reads (COM1, COM2, ...).
// Elsewhere each device's full path (/dev/ttyS0, /dev/ttyUSB0, ...), which QSerialPort
// opens as given, plus the simulated lines linked in SimulatorLinkFolder().
class SystemPortList : public PortListSource {
public:
    bool ReadPorts(QStringList& names) override;
};

// Sorts port names as text without regard to letter case: COM1, COM10, COM2.
void SortPortNames(QStringList& names);

// Replaces `entries` with the sorted names of `source`; leaves `entries` as they were and
// returns false when the source cannot be read.
bool RefillPortNames(PortListSource& source, QStringList& entries);

// The folder where the sensor simulator links its lines: $XDG_RUNTIME_DIR/tavrona-sim, else
// /tmp/tavrona-sim-<user id> (a folder of this user's own, never one shared by all users).
QString SimulatorLinkFolder();

// The id of the user the station runs as (what a private folder's owner must be).
uint CurrentUserId();

// True when `folder` is a folder itself (not a link to one), owned by `uid`, and neither its
// group nor others may write into it: only there can no other local user plant a "line"
// that would then be offered to the operator.
bool IsPrivateFolder(const QString& folder, uint uid);

// True when `target`, a link's fully resolved path, is a terminal device (inside /dev/pts,
// or /dev/tty...) or lies inside `folder` (resolved too).
bool IsLineTarget(const QString& target, const QString& folder);

// The full paths of the simulated lines in `folder`: every symbolic link whose resolved
// target exists and is a line (IsLineTarget). A link left behind by a simulator that has
// ended, and one leading anywhere else, is skipped; nothing is listed from a folder that is
// not private to `uid`.
QStringList SimulatedLines(const QString& folder, uint uid = CurrentUserId());
