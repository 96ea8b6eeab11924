#include "PortList.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

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
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/tavrona-sim");
    return QStringLiteral("/tmp/tavrona-sim-%1").arg(CurrentUserId());
}

uint CurrentUserId() {
#ifdef Q_OS_WIN
    return uint(-2); // what QFileInfo::ownerId() reports there
#else
    return ::getuid();
#endif
}

bool IsPrivateFolder(const QString& folder, uint uid) {
    const QFileInfo info(folder);
    if (info.isSymLink() || !info.isDir() || info.ownerId() != uid)
        return false;
    return !(info.permissions() & (QFile::WriteGroup | QFile::WriteOther));
}

bool IsLineTarget(const QString& target, const QString& folder) {
    if (target.startsWith(QLatin1String("/dev/pts/")))
        return target.indexOf(QLatin1Char('/'), 9) < 0;
    if (target.startsWith(QLatin1String("/dev/tty")))
        return target.indexOf(QLatin1Char('/'), 5) < 0;
    return !folder.isEmpty() && target.startsWith(folder + QLatin1Char('/'));
}

QStringList SimulatedLines(const QString& folder, uint uid) {
    QStringList lines;
    if (!IsPrivateFolder(folder, uid))
        return lines;
    const QDir dir(folder);
    const QString resolvedFolder = QFileInfo(folder).canonicalFilePath();
    const auto entries =
        dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (!entry.isSymLink())
            continue;
        // Empty when the target is gone: the link of a simulator that has ended.
        const QString target = entry.canonicalFilePath();
        if (!target.isEmpty() && IsLineTarget(target, resolvedFolder))
            lines << dir.absoluteFilePath(entry.fileName());
    }
    return lines;
}
