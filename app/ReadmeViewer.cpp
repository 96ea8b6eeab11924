#include "ReadmeViewer.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTextBrowser>
#include <QVBoxLayout>

void ShowReadme(const QUrl& url, QWidget* parent) {
    const QString path = url.toLocalFile();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::information(parent, "Station README",
                                 "The README is not installed with this station: " +
                                     QDir::toNativeSeparators(path));
        return;
    }
    QDialog window(parent);
    window.setWindowTitle("Station README");
    auto* text = new QTextBrowser(&window);
    text->setOpenExternalLinks(true);
    text->setMarkdown(QString::fromUtf8(file.readAll()));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &window);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(text);
    layout->addWidget(buttons);
    window.resize(720, 540);
    // A fragment names a heading as "reporting-a-problem": find that heading's words.
    if (url.hasFragment())
        text->find(url.fragment().replace('-', ' '));
    window.exec();
}
