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

// ${XDG_RUNTIME_DIR:-/tmp}/tavrona-sim: the folder where the sensor simulator links its lines.
QString SimulatorLinkFolder();

// The full paths of the simulated lines in `folder`: every symbolic link whose target
// exists (a link left behind by a simulator that has ended is skipped).
QStringList SimulatedLines(const QString& folder);
