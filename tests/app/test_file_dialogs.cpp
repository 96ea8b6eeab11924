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
// The opens of one file since `fd` began watching it.
int Opens(int fd) {
    alignas(inotify_event) char buf[4096];
    int opens = 0;
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        for (ssize_t at = 0; at < n; ++opens)
            at += ssize_t(sizeof(inotify_event)) + reinterpret_cast<inotify_event*>(buf + at)->len;
    return opens;
}
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
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0 && inotify_add_watch(watch, QFile::encodeName(db), IN_OPEN) >= 0);
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
        const int opens = Opens(watch);
        close(watch);
        QCOMPARE(opens > 0, !guarded);
    }
};

QTEST_MAIN(TestFileDialogs)
#include "test_file_dialogs.moc"
