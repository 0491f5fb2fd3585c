#include "PtyReader.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace kordex::sim {

namespace {

constexpr int64_t NsPerSecond = 1'000'000'000;
constexpr int64_t NsPerMs = 1'000'000;
constexpr int64_t BitsPerByte = 10;  // start bit, 8 data bits, stop bit

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * NsPerSecond + ts.tv_nsec;
}

void SleepUntil(int64_t at) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(at / NsPerSecond);
    ts.tv_nsec = static_cast<long>(at % NsPerSecond);
    // An interrupting signal only cuts the nap short; the caller looks at the clock again.
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
}

QString SystemError(const char* what) {
    return QString::fromLatin1(what) + QStringLiteral(": ") +
           QString::fromLocal8Bit(strerror(errno));
}

}  // namespace

PtyReader::PtyReader(Reader& reader, int baud)
    : reader_(reader), byteNs_(baud > 0 ? BitsPerByte * NsPerSecond / baud : 0) {}

PtyReader::~PtyReader() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
}

bool PtyReader::Open(QString& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        error = SystemError("posix_openpt");
        return false;
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = SystemError("grantpt/unlockpt");
        return false;
    }
#ifdef __linux__
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = SystemError("ptsname_r");
        return false;
    }
#else
    const char* name = ptsname(master_);
    if (name == nullptr) {
        error = SystemError("ptsname");
        return false;
    }
#endif
    slavePath_ = QString::fromLocal8Bit(name);
    slave_ = open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        error = SystemError("open of the slave");
        return false;
    }
    // Raw line: no echo, no CR/LF translation, no XON/XOFF (frames end in
    // 0x13, which is XOFF), no signals from 0x03 and the like.
    termios tio{};
    if (tcgetattr(slave_, &tio) != 0) {
        error = SystemError("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) {
        error = SystemError("tcsetattr");
        return false;
    }
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = SystemError("fcntl");
        return false;
    }
    // Inside the program the line is its own: processes it starts do not inherit it.
    if (fcntl(master_, F_SETFD, FD_CLOEXEC) != 0 || fcntl(slave_, F_SETFD, FD_CLOEXEC) != 0) {
        error = SystemError("fcntl");
        return false;
    }
    return true;
}

bool PtyReader::Send(const uint8_t* data, int n, QString& error) {
    while (n > 0) {
        const ssize_t w = write(master_, data, static_cast<size_t>(n));
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN) {
            // Nobody takes the bytes off the line: like a real reader's, they are lost.
            dropped_ += n;
            return true;
        }
        if (w < 0) {
            error = SystemError("write to the line");
            return false;
        }
        bytesOut_ += w;
        data += w;
        n -= static_cast<int>(w);
    }
    return true;
}

void PtyReader::Take(const uint8_t* data, int n, int64_t now) {
    bytesIn_ += n;
    for (int i = 0; i < n; ++i) {
        // One byte at a time, to know when the request being answered began.
        const bool between = reader_.Pending() == 0;
        const std::vector<Bytes> replies = reader_.Receive(data + i, 1);
        if (between && reader_.Pending() > 0) requestStart_ = now;
        for (const Bytes& reply : replies) {
            const int64_t arrived = requestStart_ + 15 * byteNs_;
            const int64_t start = std::max(arrived, lineFree_);
            for (size_t k = 0; k < reply.size(); ++k)
                due_.push_back({start + static_cast<int64_t>(k + 1) * byteNs_, reply[k]});
            lineFree_ = start + static_cast<int64_t>(reply.size()) * byteNs_;
        }
    }
}

bool PtyReader::Serve(int stopFd, QString& error) {
    uint8_t buffer[4096];
    for (;;) {
        int timeoutMs = -1;
        if (!due_.empty()) {
            const int64_t left = due_.front().at - MonotonicNs();
            if (left < 2 * NsPerMs) {
                // Close to the deadline: sleep to it exactly and send the byte.
                if (left > 0) SleepUntil(due_.front().at);
                if (!Send(&due_.front().byte, 1, error)) return false;
                due_.pop_front();
                continue;
            }
            // Listen to the line meanwhile, waking a little before the deadline.
            timeoutMs = static_cast<int>(left / NsPerMs) - 1;
        }

        pollfd fds[2] = {{master_, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int r = poll(fds, 2, timeoutMs);
        if (r < 0) {
            if (errno == EINTR) continue;
            error = SystemError("poll");
            return false;
        }
        if (fds[1].revents != 0) return true;
        if (fds[0].revents & (POLLERR | POLLNVAL)) {
            error = QStringLiteral("the line failed");
            return false;
        }
        if ((fds[0].revents & (POLLIN | POLLHUP)) == 0) continue;

        const ssize_t n = read(master_, buffer, sizeof buffer);
        const int64_t now = MonotonicNs();
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            error =
                n == 0 ? QStringLiteral("the line was hung up") : SystemError("read from the line");
            return false;
        }
        std::vector<uint8_t> out;
        {
            std::unique_lock<std::mutex> held;
            if (lock_ != nullptr) held = std::unique_lock<std::mutex>(*lock_);
            if (beforeInput_) beforeInput_();
            if (byteNs_ > 0) {
                Take(buffer, static_cast<int>(n), now);
            } else {
                bytesIn_ += n;
                for (const Bytes& reply : reader_.Receive(buffer, static_cast<size_t>(n)))
                    out.insert(out.end(), reply.begin(), reply.end());
            }
        }
        if (!out.empty() && !Send(out.data(), static_cast<int>(out.size()), error)) return false;
    }
}

// --- PtyServer ---

namespace {

// The reader's log is looked through between requests and then forgotten,
// so that a demo running all day does not keep every exchange.
constexpr size_t KeptExchanges = 4096;

QDateTime WallMinute(const QDateTime& t) {
    return QDateTime(t.date(), QTime(t.time().hour(), t.time().minute()), Qt::UTC);
}

}  // namespace

PtyServer::PtyServer(const Scenario& scenario, int baud)
    : collector_(clock_), reader_(collector_), line_(reader_, baud) {
    ApplyScenario(scenario, collector_, reader_);
    line_.SetReaderLock(&lock_);
    line_.SetBeforeInput([this] { Watch(); });
}

PtyServer::~PtyServer() {
    Stop();
    for (int fd : stopPipe_)
        if (fd >= 0) close(fd);
}

bool PtyServer::Start(QString& error) {
    std::lock_guard<std::mutex> held(lock_);
    if (started_) {
        error = QStringLiteral("the simulated reader was started before");
        return false;
    }
    started_ = true;  // a terminal is made once, whether or not that succeeds
    if (!line_.Open(error)) return false;
    if (pipe(stopPipe_) != 0) {
        error = SystemError("pipe");
        return false;
    }
    for (int fd : stopPipe_)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    serving_ = true;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void PtyServer::Serve() {
    QString error;
    const bool ok = line_.Serve(stopPipe_[0], error);
    std::lock_guard<std::mutex> held(lock_);
    serving_ = false;
    if (!ok) failure_ = error;
}

bool PtyServer::Running() const {
    std::lock_guard<std::mutex> held(lock_);
    return serving_;
}

QString PtyServer::Failure() const {
    std::lock_guard<std::mutex> held(lock_);
    return failure_;
}

void PtyServer::Stop() {
    if (!thread_.joinable()) return;
    const char b = 1;
    // The pipe is empty but for this byte: the write cannot block or fail.
    [[maybe_unused]] const ssize_t n = write(stopPipe_[1], &b, 1);
    thread_.join();
}

void PtyServer::Run(const std::function<void(Collector&, Reader&)>& fn) {
    std::lock_guard<std::mutex> held(lock_);
    fn(collector_, reader_);
}

void PtyServer::SetCollectorPresent(bool present) {
    Run([present](Collector&, Reader& r) { r.SetCollectorPresent(present); });
}

void PtyServer::SetKeyContact(const QString& key) {
    Run([&key](Collector&, Reader& r) { r.SetKeyContact(key); });
}

void PtyServer::SetShiftAfterWrite(const QStringList& keys) {
    std::lock_guard<std::mutex> held(lock_);
    shift_ = keys;
}

int PtyServer::ShiftsWalked() const {
    std::lock_guard<std::mutex> held(lock_);
    return shifts_;
}

// A write of the collector begins with its initialisation and ends with the
// completion request; the shift comes after it, before anything else is answered.
void PtyServer::Watch() {
    const std::vector<Reader::Exchange>& log = reader_.Exchanges();
    for (; logSeen_ < log.size(); ++logSeen_) {
        const Reader::Exchange& e = log[logSeen_];
        if (e.command == Reader::CmdWrite && e.address == Collector::AddrInit &&
            reader_.CollectorPresent()) {
            writing_ = true;
            initialisedAt_ = clock_.Now();
        } else if (writing_ && e.command == Reader::CmdRead &&
                   e.address == Reader::AddrCompletion) {
            writing_ = false;
            shiftDue_ = true;
        }
    }
    if (log.size() >= KeptExchanges) {
        reader_.ClearLog();
        logSeen_ = 0;
    }
    if (shiftDue_) {
        shiftDue_ = false;
        if (!shift_.isEmpty()) WalkShift();
    }
}

// The touches spread evenly from the initialisation to now, in whole minutes
// as the collector keeps them.
void PtyServer::WalkShift() {
    const QDateTime now = clock_.Now();
    const qint64 span = std::max<qint64>(initialisedAt_.secsTo(now), 0);
    const qsizetype n = shift_.size();
    for (qsizetype i = 0; i < n; ++i) {
        const qint64 at = n > 1 ? span * i / (n - 1) : span;
        collector_.Touch(shift_[i], WallMinute(initialisedAt_.addSecs(at)));
    }
    ++shifts_;
}

}  // namespace kordex::sim
