#pragma once
// Whether a configured port name can be a serial line at all. A regular file, a folder, a
// pipe or a device that is no terminal (/dev/zero, /dev/null) opens, or fails, forever
// without ever answering: it is told once rather than tried again as a lost line.

#include <string>

// True when `name` exists and is certainly no serial port; false when it is one, does not
// exist (an absent adapter), or the platform cannot tell (Windows' COM names).
bool NotASerialPort(const std::string& name);
