// File dialogs never open the files they list: a file the station holds in SQLite loses the
// station's locks when any handle of it is closed. inotify sees every open of the file; the
// dialog without the guard shows that the watch catches Qt's own reading of it.
#include "FileDialogGuard.h"

#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Counts the opens of one file since the watch began.
class OpenWatch {
public:
    explicit OpenWatch(const QString& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        watching_ = fd_ >= 0 && inotify_add_watch(fd_, QFile::encodeName(path), IN_OPEN) >= 0;
    }
    ~OpenWatch() {
        if (fd_ >= 0)
            close(fd_);
    }
    bool Watching() const { return watching_; }
    int Opens() {
        alignas(inotify_event) char buf[4096];
        for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;)
            for (ssize_t at = 0; at < n; at += ssize_t(sizeof(inotify_event)) +
                                               reinterpret_cast<inotify_event*>(buf + at)->len)
                ++opens_;
        return opens_;
    }

private:
    int fd_;
    bool watching_ = false;
    int opens_ = 0;
};

} // namespace

class TestFileDialogs : public QObject {
    Q_OBJECT
private slots:
    void listedFilesStayClosed_data() {
        QTest::addColumn<bool>("guarded");
        QTest::newRow("guarded") << true;
        QTest::newRow("Qt's own (the watch sees its reading)") << false;
    }
    void listedFilesStayClosed() {
        QFETCH(bool, guarded);
        QTemporaryDir dir;
        const QString db = dir.filePath("data.db");
        QFile f(db);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\0'));
        f.close();
        FileDialogGuard guard;
        if (guarded)
            qApp->installEventFilter(&guard);
        OpenWatch watch(db);
        QVERIFY(watch.Watching());
        {
            QFileDialog dialog(nullptr, "Open", dir.path());
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.setViewMode(QFileDialog::Detail);
            auto* model = dialog.findChild<QFileSystemModel*>();
            QVERIFY(model);
            dialog.show();
            // Listed, then painted: the icons and the "Type" column are asked for.
            QTRY_VERIFY(model->rowCount(model->index(dir.path())) == 1);
            QTRY_VERIFY(!model->data(model->index(db, 2)).toString().isEmpty());
            dialog.grab();
            QCoreApplication::processEvents();
        }
        qApp->removeEventFilter(&guard);
        if (guarded)
            QCOMPARE(watch.Opens(), 0);
        else
            QVERIFY(watch.Opens() > 0);
    }
};

QTEST_MAIN(TestFileDialogs)
#include "test_file_dialogs.moc"
