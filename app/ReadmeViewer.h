#pragma once
// The station's own viewer of a text file it ships (the README): a desktop without a program
// for Markdown would otherwise show nothing at all when the operator asks for it.

#include <QUrl>

class QWidget;

// Shows the local file of `url` in a modal window over `parent`, at the section its fragment
// names ("reporting-a-problem"), or says in a box that the file is not there.
void ShowReadme(const QUrl& url, QWidget* parent);
