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

#include "sim/Reader.h"

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
    const char* name = ptsname(master_);
    if (name == nullptr) {
        error = SystemError("ptsname");
        return false;
    }
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
        if (byteNs_ > 0) {
            Take(buffer, static_cast<int>(n), now);
            continue;
        }
        bytesIn_ += n;
        std::vector<uint8_t> out;
        for (const Bytes& reply : reader_.Receive(buffer, static_cast<size_t>(n)))
            out.insert(out.end(), reply.begin(), reply.end());
        if (!out.empty() && !Send(out.data(), static_cast<int>(out.size()), error)) return false;
    }
}

}  // namespace kordex::sim
