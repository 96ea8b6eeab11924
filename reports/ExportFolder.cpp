#include "ExportFolder.h"

#include <QDir>
#include <QFileInfo>

namespace {
QString& Remembered() {
    static QString folder;
    return folder;
}
} // namespace

QString ExportFolder() {
    return Remembered().isEmpty() ? QDir::homePath() : Remembered();
}

void RememberExportFolder(const QString& filePath) {
    if (!filePath.isEmpty())
        Remembered() = QFileInfo(filePath).absolutePath();
}

QString ProposedPath(const QString& name) {
    return QDir(ExportFolder()).filePath(name);
}
