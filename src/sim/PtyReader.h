#pragma once

// The simulated reader on a pseudo-terminal needs a POSIX system; the sim
// library defines KORDEX_SIM_PTY where it builds it.
#ifndef KORDEX_SIM_PTY
#error "sim/PtyReader.h: the simulated reader on a pseudo-terminal is not available here"
#endif

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "Collector.h"
#include "Reader.h"
#include "Scenario.h"
#include "shell/Clock.h"

namespace kordex::sim {

// The simulated reader behind a pseudo-terminal: the program opens the slave
// side as its serial port, the reader answers on the master side.
//
// Without a baud rate the replies go out at once. With one, the line is
// modelled: a byte takes 10 bits of time, a request has arrived 15 byte times
// after its first byte came in, and reply byte k leaves k + 1 byte times after
// that, each written on its own at its deadline.
class PtyReader {
public:
    PtyReader(Reader& reader, int baud);
    ~PtyReader();
    PtyReader(const PtyReader&) = delete;
    PtyReader& operator=(const PtyReader&) = delete;

    // Creates the pseudo-terminal and puts its line into raw mode.
    bool Open(QString& error);
    // The device the program opens, e.g. /dev/pts/3.
    const QString& SlavePath() const { return slavePath_; }

    // Held while the reader takes bytes from the line (and while the hook
    // runs), so that another thread may change the reader and its collector
    // between two requests. Set before serving.
    void SetReaderLock(std::mutex* lock) { lock_ = lock; }
    // Runs on the serving thread, with the reader lock held, each time bytes
    // from the line are about to reach the reader: the replies to everything
    // before them have been made.
    void SetBeforeInput(std::function<void()> hook) { beforeInput_ = std::move(hook); }

    // Answers requests until stopFd becomes readable (true) or the line fails
    // (false). Replies still due are kept for the next call.
    bool Serve(int stopFd, QString& error);

    qint64 BytesIn() const { return bytesIn_; }
    qint64 BytesOut() const { return bytesOut_; }
    qint64 BytesDropped() const { return dropped_; }

private:
    struct Due {
        int64_t at;  // CLOCK_MONOTONIC, nanoseconds
        uint8_t byte;
    };

    void Take(const uint8_t* data, int n, int64_t now);
    bool Send(const uint8_t* data, int n, QString& error);

    Reader& reader_;
    int64_t byteNs_;  // 0: no pacing
    int master_ = -1;
    // Held open for the whole run: while one slave descriptor stays open, a
    // program closing and reopening the port does not hang up the master.
    int slave_ = -1;
    QString slavePath_;
    std::mutex* lock_ = nullptr;
    std::function<void()> beforeInput_;

    std::deque<Due> due_;
    int64_t requestStart_ = 0;  // when the first byte of the request being received came
    int64_t lineFree_ = 0;      // when the last reply queued has left
    qint64 bytesIn_ = 0, bytesOut_ = 0, dropped_ = 0;
};

// A simulated reader with its collector on a pseudo-terminal, served by a
// thread of its own: the demo mode's reader inside the program, which opens
// SlavePath() as its serial port.
//
// While the server runs, its thread alone touches the reader and the
// collector, between two requests and under a lock; Run() hands work to it
// under the same lock, so it may be called from any thread at any time.
class PtyServer {
public:
    // The collector and the reader as the scenario lays them out; baud as PtyReader's.
    explicit PtyServer(const Scenario& scenario, int baud = 0);
    // Stops the server.
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Opens the terminal and starts serving it; false with the reason when
    // the terminal cannot be made or the server already ran.
    bool Start(QString& error);
    // The device to open; empty before Start.
    const QString& SlavePath() const { return line_.SlavePath(); }
    // Whether the thread still serves the line (false once it stopped or the line failed).
    bool Running() const;
    // Why the line failed; empty while it serves and after an orderly stop.
    QString Failure() const;
    // Ends the serving thread and waits for it. Safe to call again.
    void Stop();

    // Runs fn with the collector and the reader between two requests (at
    // once, on the calling thread, under the server's lock).
    void Run(const std::function<void(Collector&, Reader&)>& fn);
    void SetCollectorPresent(bool present);
    // The key held to the reader's contact; empty for none.
    void SetKeyContact(const QString& key);

    // A guard's shift to follow every write of the collector: once the
    // program has initialised the collector and ended its write, the touches
    // of these keys are laid down, in this order, before the next request is
    // answered, spread from the initialisation up to that moment. Empty: none.
    void SetShiftAfterWrite(const QStringList& keys);
    // How many shifts were laid down so far.
    int ShiftsWalked() const;

private:
    void Serve();
    void Watch();  // on the serving thread, with the lock held
    void WalkShift();

    shell::SystemClock clock_;
    Collector collector_;
    Reader reader_;
    PtyReader line_;

    mutable std::mutex lock_;
    bool started_ = false;
    bool serving_ = false;
    QString failure_;
    int stopPipe_[2] = {-1, -1};
    std::thread thread_;

    // The write the shift follows: seen from its initialisation to its end.
    QStringList shift_;
    size_t logSeen_ = 0;  // exchanges of the reader's log looked at
    bool writing_ = false;
    QDateTime initialisedAt_;
    bool shiftDue_ = false;
    int shifts_ = 0;
};

}  // namespace kordex::sim
