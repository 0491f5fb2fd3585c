#pragma once

#include <QString>
#include <functional>

namespace kordex::zip {

// What became of a ZIP operation; the archive commands turn each into their
// own message, with `Result::cause` as its second line.
enum class Outcome {
    Ok,
    Cancelled,    // the progress callback asked to stop
    BadCrc,       // an entry's data do not match its CRC
    Incomplete,   // no central directory: cut short, or one disk of a multi-volume set
    NotZip,       // not a ZIP file at all
    Hostile,      // hostile or damaged: unsafe names, links, overlaps, sizes that lie
    TooBig,       // declared sizes beyond the free space or the cap
    Unsupported,  // multi-volume, ZIP64, encryption, an unknown compression method
    IoError,      // a file could not be read, written or renamed
};

struct Result {
    Outcome outcome = Outcome::Ok;
    QString cause;    // one line in English naming what and which file; empty on Ok
    int count = 0;    // entries extracted, or files added
    int skipped = 0;  // entries of the archive not extracted (not among the wanted names)

    bool IsOk() const { return outcome == Outcome::Ok; }
};

// Total percentage done, 0 to 100, never decreasing. Returning false stops the
// operation, which then ends with Outcome::Cancelled and leaves nothing behind.
using Progress = std::function<bool(int percent)>;

// The outcome's name, for tests and logs.
const char* OutcomeName(Outcome outcome);

}  // namespace kordex::zip
