#include "ReadingNote.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

ReadingNote::ReadingNote(QWidget* over, std::function<void()> cancel)
    : QFrame(over), text_(new QLabel(this)), cancel_(new QPushButton("Cancel", this)) {
    setObjectName("ReadingNote");
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* busy = new QProgressBar(this);
    busy->setRange(0, 0); // no fraction to tell: the queries say nothing of how far they are
    busy->setTextVisible(false);
    busy->setFixedWidth(80);
    text_->setObjectName("ReadingNoteText");
    cancel_->setObjectName("ReadingNoteCancel");
    connect(cancel_, &QPushButton::clicked, this, [cancel = std::move(cancel)] {
        if (cancel)
            cancel();
    });
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->addWidget(busy);
    row->addWidget(text_);
    row->addWidget(cancel_);
    over->installEventFilter(this);
    hide();
}

void ReadingNote::Show(const QString& text) {
    text_->setText(text);
    adjustSize();
    Place();
    show();
    raise();
}

QString ReadingNote::Text() const {
    return isHidden() ? QString() : text_->text();
}

bool ReadingNote::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize)
        Place();
    return QFrame::eventFilter(watched, event);
}

void ReadingNote::Place() {
    const QWidget* over = parentWidget();
    move(std::max(0, (over->width() - width()) / 2), 8);
}
