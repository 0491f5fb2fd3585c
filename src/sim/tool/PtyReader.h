#pragma once

#include <QString>
#include <cstdint>
#include <deque>

namespace kordex::sim {

class Reader;

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

    // Answers requests until stopFd becomes readable (true) or the line fails (false).
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

    std::deque<Due> due_;
    int64_t requestStart_ = 0;  // when the first byte of the request being received came
    int64_t lineFree_ = 0;      // when the last reply queued has left
    qint64 bytesIn_ = 0, bytesOut_ = 0, dropped_ = 0;
};

}  // namespace kordex::sim
