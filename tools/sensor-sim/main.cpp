// sensor-sim: up to 14 simulated fuel-level sensors on a pseudo-terminal.

#include "PacedLine.h"
#include "PtyLine.h"
#include "Responder.h"
#include "SensorBank.h"
#include "SimOptions.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int sig) {
    int saved = errno;
    unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &b, 1);
    errno = saved;
}

void InstallSignals() {
    if (::pipe(signalPipe) != 0)
        throw std::runtime_error("pipe failed");
    for (int fd : signalPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
        sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

double NowMs() {
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return duration<double, std::milli>(steady_clock::now() - start).count();
}

void PrintCounters(const Counters& c) {
    std::printf("%s\n", FormatCounters(c).c_str());
    std::fflush(stdout);
}

class Simulator {
public:
    explicit Simulator(const SimOptions& o)
        : options_(o), bank_(o.seed, o.fallPerMinute), responder_(options_, bank_) {
        bank_.SetScenarios(o.scenarios, o.scenarioStartS);
    }

    int Run(PtyLine& pty) {
        pty_ = &pty;
        while (!quit_) {
            WaitOnce();
            SendDue();
        }
        return 0;
    }
    const Counters& counters() { return responder_.counters(); }

private:
    SimOptions options_;
    SensorBank bank_;
    Responder responder_;
    RequestParser parser_;
    PacedLine line_;
    PtyLine* pty_ = nullptr;
    bool quit_ = false;
    bool hungUp_ = false; // the station has no side of the line open

    int TimeoutMs() const {
        std::optional<double> due = line_.NextDueMs();
        int t = -1;
        if (due)
            t = std::max(0, static_cast<int>(*due - NowMs() + 0.999));
        // While nobody holds the other side, poll() reports a hang-up at once: look again
        // a little later instead of spinning.
        if (hungUp_ && (t < 0 || t > 50))
            t = 50;
        return t;
    }

    void WaitOnce() {
        pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {pty_->Fd(), POLLIN, 0}};
        int count = hungUp_ ? 1 : 2;
        int timeout = TimeoutMs();
        int n = ::poll(fds, static_cast<nfds_t>(count), timeout);
        if (n < 0 && errno != EINTR)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (n > 0 && (fds[0].revents & POLLIN))
            HandleSignals();
        if (hungUp_)
            CheckReopened();
        else if (n > 0 && fds[1].revents)
            ReadRequests(fds[1].revents);
    }

    void HandleSignals() {
        unsigned char sig;
        while (::read(signalPipe[0], &sig, 1) == 1) {
            if (sig == SIGUSR1)
                PrintCounters(responder_.counters());
            else
                quit_ = true;
        }
    }

    void CheckReopened() {
        pollfd p{pty_->Fd(), POLLIN, 0};
        if (::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP)) {
            hungUp_ = false;
            pty_->MakeRaw();
        }
    }

    void ReadRequests(short revents) {
        if (revents & POLLIN) {
            uint8_t buf[256];
            ssize_t n = ::read(pty_->Fd(), buf, sizeof buf);
            if (n > 0) {
                Answer(buf, static_cast<std::size_t>(n));
                return;
            }
        }
        if (revents & (POLLHUP | POLLERR))
            hungUp_ = true;
    }

    void Answer(const uint8_t* bytes, std::size_t count) {
        double now = NowMs();
        bank_.AdvanceTo(now / 1000.0);
        for (const Request& r : parser_.Feed(bytes, count, responder_.counters()))
            if (std::optional<Transmission> t = responder_.Answer(r))
                line_.Queue(now, *t);
    }

    void SendDue() {
        std::vector<uint8_t> bytes = line_.Take(NowMs());
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(pty_->Fd(), bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                if (n < 0 && errno == EINTR)
                    continue;
                break; // nobody reads the line: the bytes are lost, as on a real wire
            }
            done += static_cast<std::size_t>(n);
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    OptionsResult parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.ok) {
        std::fprintf(stderr, "sensor-sim: %s\nTry 'sensor-sim --help'.\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    try {
        InstallSignals();
        PtyLine pty;
        if (!parsed.options.noLink)
            pty.Link(parsed.options.linkName);
        std::printf("%s\n", pty.DevicePath().c_str());
        std::fflush(stdout);
        Simulator sim(parsed.options);
        sim.Run(pty);
        if (parsed.options.stats)
            PrintCounters(sim.counters());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sensor-sim: %s\n", e.what());
        return 1;
    }
}
