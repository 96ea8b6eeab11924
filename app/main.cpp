// The station's entry: fixed text formats, the four windows, the event loop.
#include "Config.h"
#include "MainUnit.h"
#include "QtOperatorMessages.h"
#include "StationFont.h"
#include "SystemClock.h"

#include <QApplication>
#include <QLocale>
#include <clocale>

namespace {

// The last guard: a handler that lets an error through still ends in a message box and
// the event loop goes on.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    OperatorMessages* messages = nullptr;
    bool notify(QObject* receiver, QEvent* e) override {
        try {
            return QApplication::notify(receiver, e);
        } catch (const std::exception& ex) {
            if (messages)
                messages->ShowMessage(ex.what());
        } catch (...) {
            if (messages)
                messages->ShowMessage("Unknown error");
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    app.setApplicationDisplayName("Tavrona");
    // QApplication took the user's locale into the C library; the station's numbers and
    // dates never follow it.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    app.setFont(StationFont());

    QtOperatorMessages messages;
    app.messages = &messages;
    SystemClock clock;

    TForm1 form(messages, clock);
    if (form.StartFailed())
        return 1;
    form.show();
    return app.exec();
}
