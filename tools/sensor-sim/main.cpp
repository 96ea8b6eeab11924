// sensor-sim: up to 14 simulated fuel-level sensors on a pseudo-terminal.

#include "BuildVersion.h"
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
#include <memory>
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
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2})
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
        for (const StartLevel& l : o.startLevels)
            bank_.StartAt(l.address, l.code, l.temp);
    }

    int Run() {
        Plug(false);
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
    std::unique_ptr<PtyLine> pty_; // none while the line is taken away
    bool quit_ = false;
    bool hungUp_ = false; // the station has no side of the line open
    bool muted_ = false;  // the line is there, but no sensor answers
    bool commands_ = false;
    std::string typed_; // a command line still being typed

    static void Say(const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }

    // A new pseudo-terminal, linked under the same name: the adapter plugged in again.
    void Plug(bool announce) {
        if (pty_)
            return;
        pty_ = std::make_unique<PtyLine>();
        if (!options_.noLink)
            pty_->Link(options_.linkName);
        hungUp_ = false;
        parser_ = RequestParser();
        Say(announce ? "plugged " + pty_->DevicePath() : pty_->DevicePath());
    }

    // The terminal closed and its link removed: the station's port fails as when a USB
    // adapter is pulled out. Answers on their way are lost with it.
    void Unplug() {
        if (!pty_)
            return;
        pty_.reset();
        line_ = PacedLine();
        Say("unplugged");
    }

    void Command(const std::string& text) {
        switch (ParseLineCommand(text)) {
        case LineCommand::Unplug:
            return Unplug();
        case LineCommand::Plug:
            return Plug(true);
        case LineCommand::Mute:
            muted_ = true;
            return Say("muted");
        case LineCommand::Unmute:
            muted_ = false;
            return Say("unmuted");
        case LineCommand::Counts:
            return PrintCounters(responder_.counters());
        case LineCommand::None:
            return;
        case LineCommand::Unknown:
            return Say("unknown command: " + text);
        }
    }

    int TimeoutMs() const {
        std::optional<double> due = line_.NextDueMs();
        int t = -1;
        if (due)
            t = std::max(0, static_cast<int>(*due - NowMs() + 0.999));
        // While nobody holds the other side, poll() reports a hang-up at once: look again
        // a little later instead of spinning.
        if (pty_ && hungUp_ && (t < 0 || t > 50))
            t = 50;
        return t;
    }

    void WaitOnce() {
        pollfd fds[3] = {{signalPipe[0], POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
        if (commands_)
            fds[1].fd = STDIN_FILENO;
        if (pty_ && !hungUp_)
            fds[2].fd = pty_->Fd(); // poll() skips negative descriptors
        int n = ::poll(fds, 3, TimeoutMs());
        if (n < 0 && errno != EINTR)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (n > 0 && (fds[0].revents & POLLIN))
            HandleSignals();
        if (n > 0 && fds[1].revents)
            ReadCommands();
        if (!pty_)
            return;
        if (hungUp_)
            CheckReopened();
        else if (n > 0 && fds[2].revents)
            ReadRequests(fds[2].revents);
    }

    void HandleSignals() {
        unsigned char sig;
        while (::read(signalPipe[0], &sig, 1) == 1) {
            if (sig == SIGUSR1)
                PrintCounters(responder_.counters());
            else if (sig == SIGUSR2)
                pty_ ? Unplug() : Plug(true);
            else
                quit_ = true;
        }
    }

    void ReadCommands() {
        char buf[256];
        ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            commands_ = false; // nobody types any more
            return;
        }
        typed_.append(buf, static_cast<std::size_t>(n));
        for (std::size_t end; (end = typed_.find('\n')) != std::string::npos;) {
            std::string line = typed_.substr(0, end);
            typed_.erase(0, end + 1);
            Command(line);
        }
        if (typed_.size() > 1024)
            typed_.clear(); // no command is that long
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
        for (const Request& r : parser_.Feed(bytes, count, responder_.counters())) {
            if (muted_) {
                ++responder_.counters().withheld;
                continue;
            }
            if (std::optional<Transmission> t = responder_.Answer(r))
                line_.Queue(now, *t);
        }
    }

    void SendDue() {
        std::vector<uint8_t> bytes = line_.Take(NowMs());
        std::size_t done = 0;
        while (pty_ && done < bytes.size()) {
            ssize_t n = ::write(pty_->Fd(), bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                if (n < 0 && errno == EINTR)
                    continue;
                break; // nobody reads the line: the bytes are lost, as on a real wire
            }
            done += static_cast<std::size_t>(n);
        }
    }

public:
    void AcceptCommands(bool on) { commands_ = on; }
};

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("sensor-sim %s\n", kBuildVersionText);
        return 0;
    }
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
        Simulator sim(parsed.options);
        sim.AcceptCommands(parsed.options.commands);
        sim.Run();
        if (parsed.options.stats)
            PrintCounters(sim.counters());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sensor-sim: %s\n", e.what());
        return 1;
    }
}
