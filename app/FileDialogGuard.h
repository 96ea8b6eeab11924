#pragma once
// Qt's own file dialog tells a file's type (its icon and the "Type" column) by reading the
// file's first bytes. Opening and closing data.db that way drops every SQLite lock the
// station holds on it: a POSIX lock belongs to the process and goes with any close of the
// file. Another program's connection then takes the file for unused and may check its
// write-ahead log in and delete it while the station still writes there, and its rows are
// lost. Installed on the application, the guard gives every file dialog, before it shows, an
// icon provider that goes by the file's name alone and never opens a file.

#include <QFileIconProvider>
#include <QObject>

class NameOnlyIconProvider : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
};

class QCoreApplication;

class FileDialogGuard : public QObject {
public:
    using QObject::QObject;
    // Watches every dialog of `app`; where a desktop's own dialog would run inside this
    // process, Qt's is used instead, since those guess types from file contents too.
    void Install(QCoreApplication& app);
    bool eventFilter(QObject* watched, QEvent* event) override;
    const NameOnlyIconProvider& Provider() const { return provider_; }

private:
    NameOnlyIconProvider provider_;
};
