// How soon the station's main window is on screen, and how long its event loop keeps the
// operator waiting while the stored readings are read, the report indexes built and the
// stored history examined. A thread pings the window every 20 ms; each ping's answer time
// is from its sending to its handling on the window's thread. Run by
// benchmarks/start_window.sh under xvfb-run; not a test.
//
//   start_probe DATA_DB START_NS [TIMEOUT_S]
// START_NS: the wall clock (ns since the epoch) when the process was started.
#include "Config.h"
#include "FuelEvents.h"
#include "MainUnit.h"
#include "OperatorMessages.h"
#include "ReportIndexBuild.h"
#include "SystemClock.h"

#include <QApplication>
#include <QLocale>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int64_t NowNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}

class ExposeWatch : public QObject {
public:
    int64_t exposedAt = 0;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (!exposedAt && e->type() == QEvent::Expose && static_cast<QWindow*>(o)->isExposed())
            exposedAt = NowNs();
        return false;
    }
};

struct Answers {
    std::vector<double> ms;
    std::vector<int64_t> sentAt; // ns since the epoch, one for each answer
    double Worst() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
    double Quantile(double q) const {
        if (ms.empty())
            return 0;
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        return s[std::min(s.size() - 1, static_cast<std::size_t>(q * s.size()))];
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: start_probe DATA_DB START_NS [TIMEOUT_S]\n");
        return 2;
    }
    const std::string dbFile = argv[1];
    const int64_t t0 = std::stoll(argv[2]);
    const int timeoutS = argc > 3 ? std::atoi(argv[3]) : 180;
    const int64_t entered = NowNs(); // the X server's own start lies before this
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());

    // A line that opens and stays silent: the far end of a pseudo-terminal.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("pty");
        return 1;
    }
    TSetup setup;
    RCfgData(setup);
    setup.PortNum = QString::fromLocal8Bit(ptsname(master));
    if (!WrCfgData(setup)) {
        std::fprintf(stderr, "settings not written\n");
        return 1;
    }

    RecordingMessages messages;
    SystemClock clock;
    const int64_t createdFrom = NowNs();
    TForm1 form(messages, clock, dbFile);
    if (form.StartFailed()) {
        std::fprintf(stderr, "start failed\n");
        return 1;
    }
    const int64_t created = NowNs();
    form.show();
    ExposeWatch watch;
    form.windowHandle()->installEventFilter(&watch);

    Answers answers;
    std::atomic<bool> stop{false};
    std::thread pinger([&] {
        while (!stop) {
            const int64_t sent = NowNs();
            QMetaObject::invokeMethod(
                &form,
                [&answers, sent] {
                    answers.ms.push_back((NowNs() - sent) / 1e6);
                    answers.sentAt.push_back(sent);
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });

    int64_t storedIn = 0, indexDone = 0, catchUpDone = 0;
    bool sawIndexBuild = false, sawCatchUp = false;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        const int64_t now = NowNs();
        ReportIndexBuild* build = form.IndexBuild();
        sawIndexBuild = sawIndexBuild || build;
        if (build && !build->Running() && !indexDone)
            indexDone = now;
        if (!storedIn && form.StoredReadingsIn())
            storedIn = now;
        const bool catchUp = form.Events() && form.Events()->CatchUpRunning();
        sawCatchUp = sawCatchUp || catchUp;
        if (storedIn && !catchUp && !catchUpDone)
            catchUpDone = now;
        if ((catchUpDone && watch.exposedAt) || now - t0 > int64_t(timeoutS) * 1000000000)
            app.quit();
    });
    check.start(10);
    app.exec();
    stop = true;
    pinger.join();

    const auto ms = [entered](int64_t t) { return t ? (t - entered) / 1e6 : -1.0; };
    std::printf("main() entered       %8.1f ms after launch (xvfb-run included)\n",
                (entered - t0) / 1e6);
    std::printf("file                 %s\n", dbFile.c_str());
    std::printf("window created       %8.1f ms after main() (constructor %.1f ms)\n", ms(created),
                (created - createdFrom) / 1e6);
    std::printf("window exposed       %8.1f ms after main()\n", ms(watch.exposedAt));
    std::printf("stored readings in   %8.1f ms after main()\n", ms(storedIn));
    std::printf("index build          %s, ended %8.1f ms after main()\n",
                sawIndexBuild ? "ran" : "not needed", ms(indexDone));
    std::printf("history examined     %s, ended %8.1f ms after main()\n",
                sawCatchUp ? "ran" : "(short)", ms(catchUpDone));
    std::printf("window answers       %zu pings, median %.1f ms, p99 %.1f ms, worst %.1f ms\n",
                answers.ms.size(), answers.Quantile(0.5), answers.Quantile(0.99), answers.Worst());
    // The slowest answer in each stretch of the start, to tell where the window waited.
    const auto during = [&](int64_t t) {
        if (!watch.exposedAt || t < watch.exposedAt)
            return 0;
        if (sawIndexBuild && (!indexDone || t < indexDone))
            return 1;
        if (!storedIn || t < storedIn)
            return 2;
        if (!catchUpDone || t < catchUpDone)
            return 3;
        return 4;
    };
    const char* const stretches[] = {"until the window showed", "index build", "stored readings",
                                     "history examination", "afterwards"};
    for (int stretch = 0; stretch < 5; ++stretch) {
        double worst = -1;
        int64_t at = 0;
        for (std::size_t i = 0; i < answers.ms.size(); ++i)
            if (during(answers.sentAt[i]) == stretch && answers.ms[i] > worst) {
                worst = answers.ms[i];
                at = answers.sentAt[i];
            }
        if (worst >= 0)
            std::printf("  worst answer %6.1f ms, sent %8.1f ms after main(), %s\n", worst, ms(at),
                        stretches[stretch]);
    }
    close(master);
    return 0;
}
