#pragma once
// The text of each page of a PDF file as pdftotext lays it out (poppler-utils); empty when
// the file cannot be read.
#include <QProcess>
#include <QString>
#include <QStringList>

inline QStringList PdfPages(const QString& file) {
    QProcess p;
    p.start("pdftotext", {"-layout", file, "-"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split('\f');
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}
