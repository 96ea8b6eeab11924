#include "AboutUnit.h"

#include <QFileInfo>
#include <QPushButton>
#include <QTest>

class TestAboutDialog : public QObject {
    Q_OBJECT
private slots:
    void showsNameVersionAndEmblem() {
        TFormAbout about(nullptr, [](const QUrl&) {});
        QCOMPARE(about.windowTitle(), QString("About"));
        QCOMPARE(about.ProgName->text(), QString("Quorvel"));
        QCOMPARE(about.LabelVersion->text(), QString("Version 05.12.2012"));
        QVERIFY(about.ProgName->font().bold());
        const QPixmap emblem = about.Image1->pixmap();
        QCOMPARE(emblem.size(), QSize(48, 48));
        QVERIFY(emblem.hasAlphaChannel());
        QCOMPARE(about.ButtonOk->text(), QString("Ok"));
    }

    void linksOpenTheProjectsOwnPages() {
        QList<QUrl> opened;
        TFormAbout about(nullptr, [&](const QUrl& url) { opened << url; });
        about.show();
        QTest::mouseClick(about.Label6, Qt::LeftButton);
        QTest::mouseClick(about.Label7, Qt::LeftButton);
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened[0].isLocalFile());
        QVERIFY(QFileInfo::exists(opened[0].toLocalFile()));
        QCOMPARE(QFileInfo(opened[0].toLocalFile()).fileName(), QString("README.md"));
        QCOMPARE(opened[1].toLocalFile(), opened[0].toLocalFile());
        QCOMPARE(opened[1].fragment(), QString("reporting-a-problem"));
    }

    void releaseOutsideTheLinkOpensNothing() {
        int opened = 0;
        TFormAbout about(nullptr, [&](const QUrl&) { ++opened; });
        about.show();
        // Pressed on the link, dragged off it and released there: no click.
        QTest::mousePress(about.Label6, Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseRelease(about.Label6, Qt::LeftButton, {},
                            QPoint(about.Label6->width() + 20, 2));
        QCOMPARE(opened, 0);
    }

    void okCloses() {
        TFormAbout about(nullptr, [](const QUrl&) {});
        about.show();
        QVERIFY(about.isVisible());
        QTest::mouseClick(about.ButtonOk, Qt::LeftButton);
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestAboutDialog)
#include "test_about_dialog.moc"
