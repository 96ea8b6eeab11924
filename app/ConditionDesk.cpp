#include "ConditionDesk.h"

#include "OperatorMessages.h"

#include <QPointer>
#include <QTimer>

ConditionDesk::ConditionDesk(OperatorMessages& messages, ConditionOutlets outlets, QObject* parent)
    : QObject(parent), messages_(messages), outlets_(std::move(outlets)) {}

void ConditionDesk::Report(const Condition& condition) {
    // Queued: the reporting handler (a reply, a tick, a port failure) returns first.
    QMetaObject::invokeMethod(
        this, [this, condition] { Handle(condition); }, Qt::QueuedConnection);
}

void ConditionDesk::Beep() {
    messages_.Beep();
}

void ConditionDesk::Handle(const Condition& c) {
    const double now = outlets_.localNow ? outlets_.localNow() : 0;
    const ConditionLog::Outcome o = log_.Take(c, now);
    if (o.log && outlets_.putLogLine)
        outlets_.putLogLine(ConditionLog::LogLine(c, now));
    if (o.count > 1 && outlets_.showStatus)
        outlets_.showStatus(QString::fromStdString(ConditionLog::RepeatText(c, o)));
    if (!o.box)
        return;
    QPointer<ConditionDesk> self(this);
    messages_.OpenMessage(c.text, [self, c] {
        if (!self)
            return;
        self->log_.BoxClosed(c.key);
        if (c.then == Condition::Then::ChoosePort && self->outlets_.choosePort)
            // After the box's own handling has ended: the Settings dialog is modal.
            QTimer::singleShot(0, self, [self] {
                if (self)
                    self->outlets_.choosePort();
            });
    });
}
