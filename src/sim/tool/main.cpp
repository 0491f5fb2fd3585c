// kordex-sim: a simulated reader with a collector in it, on a pseudo-terminal.
// It prints the terminal's device on its first line and answers the reader
// protocol there until SIGINT or SIGTERM.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>
#include <vector>

#include "shell/Clock.h"
#include "sim/Collector.h"
#include "sim/PtyReader.h"
#include "sim/Reader.h"
#include "sim/Scenario.h"

using namespace kordex;

namespace {

constexpr qint64 MaxEvents = 10'000'000;
constexpr qint64 MaxBaud = 4'000'000;

const char* const Usage =
    "Usage: kordex-sim [--scenario FILE | --events N] [--baud N] [--fault F]...\n"
    "\n"
    "A simulated reader with a collector in it, on a pseudo-terminal. The first\n"
    "line printed is the terminal's device; open it as the reader's serial port.\n"
    "Runs until SIGINT or SIGTERM.\n"
    "\n"
    "  (no option)      the demo collector: one shift walked this day\n"
    "  --scenario FILE  the collector described by a scenario file (JSON)\n"
    "  --events N       the demo collector with N touches (the ring keeps 1000)\n"
    "  --baud N         answer like a line of N baud (10 bits a byte); without it\n"
    "                   replies go out at once\n"
    "  --fault KIND[:BYTES][@FROM][xCOUNT|xall]\n"
    "                   the reader does something wrong, from its request number\n"
    "                   FROM on (default 1) for COUNT requests (default 1) or all;\n"
    "                   repeatable, after the faults of the scenario. KIND:\n"
    "                     silence         no reply\n"
    "                     partial[:BYTES] only the first BYTES (0..14, default 8)\n"
    "                     bad-crc         a wrong CRC byte\n"
    "                     wrong-echo      a wrong address echo (correct CRC)\n"
    "                     bad-head        a wrong first byte (correct CRC)\n"
    "                     status-zero     status 0: no collector contact\n"
    "                     write-mismatch  a write stores one byte changed (writes only)\n"
    "                     stuck-counter   an initialisation keeps the event counter\n"
    "                                     (initialisations only)\n"
    "  --help           this text\n"
    "\n"
    "Exit status: 0 when stopped by a signal, 1 when the terminal fails,\n"
    "2 on bad options or a scenario that cannot be loaded.\n";

int stopPipe[2] = {-1, -1};

void OnStop(int) {
    const char b = 1;
    [[maybe_unused]] const ssize_t n = write(stopPipe[1], &b, 1);
}

int Refuse(const QString& message, bool usage = true) {
    std::fprintf(stderr, "kordex-sim: %s\n", qPrintable(message));
    if (usage) std::fprintf(stderr, "Try 'kordex-sim --help'.\n");
    return 2;
}

struct Options {
    QString scenario;
    std::optional<qint64> events;
    int baud = 0;
    std::vector<sim::Fault> faults;
    bool help = false;
};

bool Number(const QString& text, qint64 lo, qint64 hi, qint64& out) {
    bool ok = false;
    out = text.toLongLong(&ok, 10);
    return ok && out >= lo && out <= hi;
}

// Options as "--name value" or "--name=value".
std::optional<Options> Parse(const QStringList& args, QString& error) {
    Options o;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString name = args[i];
        std::optional<QString> value;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); name.startsWith("--") && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        }
        const auto take = [&]() -> std::optional<QString> {
            if (value) return value;
            if (i + 1 < args.size()) return args[++i];
            error = name + QStringLiteral(" needs a value");
            return std::nullopt;
        };
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--scenario") {
            const auto v = take();
            if (!v) return std::nullopt;
            if (v->isEmpty()) {
                error = QStringLiteral("--scenario needs a file name");
                return std::nullopt;
            }
            o.scenario = *v;
        } else if (name == "--events") {
            const auto v = take();
            qint64 n = 0;
            if (!v) return std::nullopt;
            if (!Number(*v, 0, MaxEvents, n)) {
                error = QStringLiteral("--events: \"%1\" is not a number from 0 to %2")
                            .arg(*v)
                            .arg(MaxEvents);
                return std::nullopt;
            }
            o.events = n;
        } else if (name == "--baud") {
            const auto v = take();
            qint64 n = 0;
            if (!v) return std::nullopt;
            if (!Number(*v, 1, MaxBaud, n)) {
                error = QStringLiteral("--baud: \"%1\" is not a number from 1 to %2")
                            .arg(*v)
                            .arg(MaxBaud);
                return std::nullopt;
            }
            o.baud = static_cast<int>(n);
        } else if (name == "--fault") {
            const auto v = take();
            if (!v) return std::nullopt;
            QString why;
            const std::optional<sim::Fault> f = sim::ParseFault(*v, why);
            if (!f) {
                error = QStringLiteral("--fault: ") + why;
                return std::nullopt;
            }
            o.faults.push_back(*f);
        } else {
            error = QStringLiteral("unknown option \"%1\"").arg(args[i]);
            return std::nullopt;
        }
    }
    if (!o.scenario.isEmpty() && o.events) {
        error = QStringLiteral("--scenario and --events exclude each other");
        return std::nullopt;
    }
    return o;
}

bool CatchStopSignals() {
    if (pipe(stopPipe) != 0) return false;
    for (int fd : stopPipe)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(stopPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: a signal wakes poll
    // A parent that stopped listening must not kill the reader by its last words.
    signal(SIGPIPE, SIG_IGN);
    return sigaction(SIGINT, &sa, nullptr) == 0 && sigaction(SIGTERM, &sa, nullptr) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QString error;
    const std::optional<Options> options = Parse(args, error);
    if (!options) return Refuse(error);
    if (options->help) {
        std::fputs(Usage, stdout);
        return 0;
    }

    sim::Scenario scenario;
    const QDateTime now = QDateTime::currentDateTime();
    if (!options->scenario.isEmpty()) {
        std::optional<sim::Scenario> loaded = sim::LoadScenarioFile(options->scenario, error);
        if (!loaded) return Refuse(error, false);
        scenario = std::move(*loaded);
    } else if (options->events) {
        scenario = sim::GeneratedScenario(*options->events, now);
    } else {
        scenario = sim::DemoScenario(now);
    }

    shell::SystemClock clock;
    sim::Collector collector(clock);
    sim::Reader reader(collector);
    sim::ApplyScenario(scenario, collector, reader);
    for (const sim::Fault& f : options->faults)
        reader.Inject(f);

    if (!CatchStopSignals()) {
        std::fprintf(stderr, "kordex-sim: cannot catch the stop signals\n");
        return 1;
    }
    sim::PtyReader line(reader, options->baud);
    if (!line.Open(error)) {
        std::fprintf(stderr, "kordex-sim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(line.SlavePath()));
    std::fflush(stdout);

    const bool ok = line.Serve(stopPipe[0], error);
    if (!ok) std::fprintf(stderr, "kordex-sim: %s\n", qPrintable(error));
    std::fprintf(stderr,
                 "kordex-sim: %lld requests, %lld faulty, %d sync bytes, %lld bytes in, %lld out",
                 static_cast<long long>(reader.Answered()),
                 static_cast<long long>(reader.FaultsActed()), reader.SyncBytes(),
                 static_cast<long long>(line.BytesIn()), static_cast<long long>(line.BytesOut()));
    if (line.BytesDropped() > 0)
        std::fprintf(stderr, ", %lld lost", static_cast<long long>(line.BytesDropped()));
    std::fprintf(stderr, "\n");
    return ok ? 0 : 1;
}
