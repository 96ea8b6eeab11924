#pragma once
// A port list that tests set by hand, so that no test depends on the machine's hardware.

#include "PortList.h"

class FakePorts : public PortListSource {
public:
    bool ReadPorts(QStringList& out) override {
        ++reads;
        if (!readable)
            return false;
        out = names;
        return true;
    }
    QStringList names;
    bool readable = true;
    int reads = 0;
};
