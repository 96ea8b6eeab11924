// The station's entry: fixed text formats, the four windows, the event loop.
#include "BuildVersion.h"
#include "Config.h"
#include "FileDialogGuard.h"
#include "MainUnit.h"
#include "QtOperatorMessages.h"
#include "StationFont.h"
#include "SystemClock.h"

#include <QApplication>
#include <QLocale>
#include <clocale>
#include <cstdio>
#include <cstring>

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
    // Answered before any window or display is needed.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tavrona %s\n", kBuildVersionText);
            return 0;
        }
    TApplication app(argc, argv);
    app.setApplicationDisplayName("Tavrona");
    // QApplication took the user's locale into the C library; the station's numbers and
    // dates never follow it.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    app.setFont(StationFont());
    FileDialogGuard fileDialogs;
    fileDialogs.Install(app);

    QtOperatorMessages messages;
    app.messages = &messages;
    SystemClock clock;

    TForm1 form(messages, clock);
    if (form.StartFailed())
        return 1;
    form.show();
    return app.exec();
}
