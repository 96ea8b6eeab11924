#include "SecretFile.h"

#include "Config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

QString SecretFile(const QString& what) {
#ifdef Q_OS_WIN
    // The settings are a registry key there: the user's own application folder.
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/Dravo." + what +
           "-password";
#else
    return QFileInfo(ConfigLocation()).dir().filePath("Dravo." + what + "-password");
#endif
}

std::string ReadSecret(const QString& what, std::string* problem) {
    QFile file(SecretFile(what));
    if (!file.exists())
        return {};
#ifndef Q_OS_WIN
    // Elsewhere the file's mode is the only guard: one that others can read has leaked.
    const auto others = QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther;
    if (file.permissions() & others) {
        if (problem)
            *problem = what.toUpper().toStdString() + ": " + file.fileName().toStdString() +
                       " may be read by others; it is not used (chmod 600 it)";
        return {};
    }
#endif
    if (!file.open(QIODevice::ReadOnly)) {
        if (problem)
            *problem = what.toUpper().toStdString() + ": " + file.fileName().toStdString() +
                       " cannot be read";
        return {};
    }
    QByteArray bytes = file.readAll();
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    return bytes.toStdString();
}

bool WriteSecret(const QString& what, const std::string& password) {
    const QString name = SecretFile(what);
    if (password.empty())
        return !QFile::exists(name) || QFile::remove(name);
    QDir().mkpath(QFileInfo(name).path());
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The mode is set before a byte is written, so the password is never readable by others.
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(QByteArray::fromStdString(password));
    return file.commit() && QFile::setPermissions(name, QFile::ReadOwner | QFile::WriteOwner);
}
