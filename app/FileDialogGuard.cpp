#include "FileDialogGuard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>

QIcon NameOnlyIconProvider::icon(const QFileInfo& info) const {
    if (info.isRoot())
        return icon(Drive);
    return icon(info.isDir() ? Folder : File);
}

QString NameOnlyIconProvider::type(const QFileInfo& info) const {
    if (info.isRoot())
        return QStringLiteral("Drive");
    if (info.isDir())
        return QStringLiteral("Folder");
    // By the name's extension only: no byte of the file is read.
    return QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment();
}

void FileDialogGuard::Install(QCoreApplication& app) {
    app.installEventFilter(this);
#ifndef Q_OS_WIN
    // Windows' file locks do not go with another handle's close.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
#endif
}

bool FileDialogGuard::eventFilter(QObject* watched, QEvent* event) {
    // Polish comes before the dialog's first show, so before its view asks for any icon.
    if (event->type() == QEvent::Polish)
        if (auto* dialog = qobject_cast<QFileDialog*>(watched);
            dialog && dialog->iconProvider() != &provider_)
            dialog->setIconProvider(&provider_);
    return QObject::eventFilter(watched, event);
}
