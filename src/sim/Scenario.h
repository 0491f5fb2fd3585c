#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "Collector.h"
#include "Reader.h"
#include "link/KeyId.h"

namespace kordex::sim {

// Everything a simulated collector holds, and how the reader sees it: read
// from a scenario file (docs/scenario.md), or made up for a first run and for
// benchmarks. Key IDs are in their text form (family, serial most significant
// byte first, CRC); an empty text is no key.
//
// Times of touches and of the registration stamp are wall-clock values: only
// their date() and time() count, so they carry Qt::UTC to keep clear of
// daylight-saving gaps. The running clock is a local date-time.
struct Scenario {
    struct Event {
        QString key;
        QDateTime time;  // minutes; seconds are not stored by the collector
    };
    struct Path {
        int32_t id = 0;
        uint8_t mode = 0;  // 0..2
    };
    struct RawBlock {
        uint16_t address = 0;
        Block bytes{};
    };

    QString id;
    bool present = true;  // a collector sits in the reader
    QString registrar;
    QString guard;
    std::optional<QDateTime> stamp;   // none: a collector never registered (zero block)
    int interval = 0;                 // seconds, 0..255, kept with the stamp
    std::optional<Path> path;         // none: no path
    QString memo;                     // at most 32 characters of Windows-1251
    std::optional<QDateTime> clock;   // none: the PC's time
    uint8_t battery = 100;            // raw measurement
    QString keyContact;               // the key touching the reader's contact
    std::vector<Event> events;        // in the order they were made
    std::optional<uint16_t> pointer;  // overrides after the events
    std::optional<uint8_t> overflow;
    std::vector<RawBlock> raw;  // stored last, as they are
    std::vector<Fault> faults;  // what the reader does wrong, in this order
};

// The largest scenario file taken, in bytes.
constexpr qint64 MaxScenarioBytes = 4 * 1024 * 1024;

// A fault from its text form KIND[:BYTES][@FROM][xCOUNT | xall]: silence,
// partial (BYTES, 0..14, default 8), bad-crc, wrong-echo, bad-head,
// status-zero, write-mismatch, stuck-counter; from the reader's exchange FROM
// on (default 1), on COUNT exchanges (default 1) or all. On failure: nothing,
// and error says what is wrong.
std::optional<Fault> ParseFault(const QString& text, QString& error);

// The memo in the collector's code page; false when a character has no
// Windows-1251 code or the text is longer than 32 bytes.
bool EncodeMemo(const QString& text, QByteArray& cp1251);

// A scenario from JSON. On failure: nothing, and error names the field and
// what is wrong with it. A key given twice in one object is refused.
std::optional<Scenario> ParseScenario(const QByteArray& json, QString& error);
// Files larger than MaxScenarioBytes are refused without reading them whole.
std::optional<Scenario> LoadScenarioFile(const QString& path, QString& error);

// Lays the scenario into a fresh collector and the reader that holds it.
void ApplyScenario(const Scenario& scenario, Collector& collector, Reader& reader);

// The keys of the demo installation.
struct DemoKeys {
    QString collector;
    QString registrar;
    QString guard;
    QStringList points;  // the check points of path 1, in the path's order
    QString incident;
    QString unknown;  // a key the program's reference data do not know
};
const DemoKeys& DemoKeyIds();

// The text form of a key with family 0x01, a 32-bit serial number, serial
// bytes 5 and 6 zero and its CRC: a key whose touches a collector records.
using link::TouchKeyText;

// The demo collector: registered this day, one shift walked along path 1
// (mode 2) and ended before now, with one incident and one unknown key.
Scenario DemoScenario(const QDateTime& now);

// The demo collector with the given number of touches, one a minute up to
// just before now, walking round the check points. Only the touches the ring
// keeps matter, so at most 1999 are laid down whatever the count.
Scenario GeneratedScenario(qint64 events, const QDateTime& now);

}  // namespace kordex::sim
