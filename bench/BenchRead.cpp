// bench-read: reads a whole collector from kordex-sim exactly as a read of a
// collector does (the ten header blocks, then every event slot, each by one
// interactive, verified exchange) and prints how fast and at what processor
// cost. With --baud the simulator behaves as a line of that speed, and the
// read is compared with the time the bytes alone need on such a line.
//
//   bench-read [--events N] [--baud B] [--times FILE]
//
// --times writes the duration of every exchange, in milliseconds, one a line.
//
// The last lines printed are exchanges_per_s=, cpu_per_exchange_ms= and,
// with --baud, wire_efficiency=.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "collector/MemoryMap.h"
#include "link/QtSerialPort.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"

using namespace kordex;

namespace {

constexpr int BitsPerByte = 10;
constexpr int BytesPerExchange = 2 * link::FrameSize;  // request and reply
constexpr uint16_t HeaderBlocks[] = {0x1F78, 0x1F80, 0x0000, 0x1F88, 0x1F90,
                                     0x1F50, 0x1F58, 0x1F60, 0x1F68, 0x1F48};

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int Usage(const char* why) {
    std::fprintf(stderr,
                 "bench-read: %s\nUsage: bench-read [--events N] [--baud B] [--times FILE]\n", why);
    return 2;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qint64 events = 1000;
    qint64 baud = 0;
    QString timesFile;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        bool ok = false;
        if (args[i] == "--events" && i + 1 < args.size()) {
            events = args[++i].toLongLong(&ok);
            if (!ok || events < 0) return Usage("--events needs a number of 0 or more");
        } else if (args[i] == "--baud" && i + 1 < args.size()) {
            baud = args[++i].toLongLong(&ok);
            if (!ok || baud <= 0) return Usage("--baud needs a positive number");
        } else if (args[i] == "--times" && i + 1 < args.size()) {
            timesFile = args[++i];
        } else {
            return Usage("bad option");
        }
    }

    QStringList simArgs{QStringLiteral("--events"), QString::number(events)};
    if (baud > 0) simArgs << QStringLiteral("--baud") << QString::number(baud);
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QDir(app.applicationDirPath()).filePath(QStringLiteral("kordex-sim")), simArgs);
    if (!sim.waitForStarted(10000)) {
        std::fprintf(stderr, "bench-read: cannot start kordex-sim\n");
        return 1;
    }
    while (!sim.canReadLine())
        if (!sim.waitForReadyRead(10000)) {
            std::fprintf(stderr, "bench-read: kordex-sim gave no device\n");
            return 1;
        }
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();

    link::QtSerialPort port;
    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::SystemClock clock;
    shell::QtEventPump pump;
    link::PortMap ports;
    ports.Set(QStringLiteral("COM1"), device);
    link::ReaderLink reader(port, prompt, status, clock, pump, ports);
    reader.SetPortDigit(1);
    if (!reader.PortEnsureOpen()) {
        std::fprintf(stderr, "bench-read: cannot open %s\n", qPrintable(device));
        return 1;
    }
    status.Show(QStringLiteral("Чтение из устройства"),
                QStringLiteral("Идет чтение данных из Kordex'а..."), 1010);

    std::vector<double> exchangeMs;
    QElapsedTimer one;
    const auto read = [&](uint16_t address, link::Block& data) {
        one.start();
        const bool ok = reader.ReadBlock(address, true, data) == link::ExchangeOk;
        exchangeMs.push_back(static_cast<double>(one.nsecsElapsed()) / 1e6);
        if (!ok) std::fprintf(stderr, "bench-read: block 0x%04X failed\n", address);
        return ok;
    };

    const double cpuStart = CpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    link::Block block{};
    for (uint16_t address : HeaderBlocks)
        if (!read(address, block)) return 1;
    const collector::ClockBlock counter = collector::DecodeClock(block);
    for (int slot : collector::PlanEventSlots(counter.pointer, counter.overflow).order)
        if (!read(collector::EventAddress(slot), block)) return 1;
    const double wallS = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double cpuS = CpuSeconds(RUSAGE_SELF) - cpuStart;
    reader.PortClose();

    sim.terminate();
    sim.waitForFinished(10000);
    const double simCpuS = CpuSeconds(RUSAGE_CHILDREN);

    if (!timesFile.isEmpty()) {
        if (FILE* f = std::fopen(qPrintable(timesFile), "w")) {
            for (double ms : exchangeMs)
                std::fprintf(f, "%.3f\n", ms);
            std::fclose(f);
        }
    }

    const auto n = static_cast<double>(exchangeMs.size());
    std::printf("events=%lld baud=%lld device=%s\n", static_cast<long long>(events),
                static_cast<long long>(baud), qPrintable(device));
    std::printf("exchanges=%zu wall_s=%.3f cpu_s=%.3f prompts=%zu\n", exchangeMs.size(), wallS,
                cpuS, prompt.Asked().size());
    std::printf("exchange_ms p50=%.3f p99=%.3f max=%.3f\n", Percentile(exchangeMs, 0.5),
                Percentile(exchangeMs, 0.99), Percentile(exchangeMs, 1.0));
    std::printf("sim_cpu_per_exchange_ms=%.4f\n", simCpuS * 1e3 / n);
    const double wireMs =
        baud > 0 ? BytesPerExchange * BitsPerByte * 1e3 / static_cast<double>(baud) : 0;
    if (baud > 0) {
        // Time over the bytes' own: a steady part (turn-around in the program
        // and the simulator) and the odd late wake-up of a busy machine.
        std::vector<double> over;
        for (double ms : exchangeMs)
            over.push_back(ms - wireMs);
        const auto late = std::count_if(over.begin(), over.end(), [](double ms) { return ms > 2; });
        std::printf("overhead_ms p50=%.3f p90=%.3f p99=%.3f late_over_2ms=%td\n",
                    Percentile(over, 0.5), Percentile(over, 0.9), Percentile(over, 0.99), late);
    }
    std::printf("exchanges_per_s=%.1f\n", n / wallS);
    std::printf("cpu_per_exchange_ms=%.4f\n", cpuS * 1e3 / n);
    if (baud > 0) std::printf("wire_efficiency=%.4f\n", n * wireMs / 1e3 / wallS);
    return prompt.Asked().empty() ? 0 : 1;
}
