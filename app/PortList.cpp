#include "PortList.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

bool SystemPortList::ReadPorts(QStringList& names) {
    names.clear();
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& port : ports) {
#ifdef Q_OS_WIN
        names << port.portName();
#else
        names << port.systemLocation();
#endif
    }
#ifndef Q_OS_WIN
    names << SimulatedLines(SimulatorLinkFolder());
#endif
    return true;
}

void SortPortNames(QStringList& names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
}

bool RefillPortNames(PortListSource& source, QStringList& entries) {
    QStringList names;
    if (!source.ReadPorts(names))
        return false;
    SortPortNames(names);
    entries = names;
    return true;
}

QString SimulatorLinkFolder() {
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = QStringLiteral("/tmp");
    return runtime + QStringLiteral("/tavrona-sim");
}

QStringList SimulatedLines(const QString& folder) {
    QStringList lines;
    const QDir dir(folder);
    const auto entries =
        dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() && entry.exists())
            lines << dir.absoluteFilePath(entry.fileName());
    }
    return lines;
}
