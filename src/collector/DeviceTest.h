#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <optional>

#include "collector/MemoryMap.h"

namespace kordex::link {
class ReaderLink;
}  // namespace kordex::link

namespace kordex::shell {
class StatusWindow;
}  // namespace kordex::shell

namespace kordex::collector {

// ---------------------------------------------------------------------------
// The digit display of the test page. Every figure is an image showing one
// glyph of a seven-segment set: 0..15 the hexadecimal digits 0-9 A b C d E F,
// 16 a lower-case r; a negative index hides the image. Err is E r r.

constexpr int GlyphHidden = -1;
constexpr int GlyphE = 14;
constexpr int GlyphR = 16;
constexpr int GlyphCount = 17;

template <size_t N>
using Glyphs = std::array<int, N>;

template <size_t N>
constexpr Glyphs<N> HiddenGlyphs() {
    Glyphs<N> g{};
    g.fill(GlyphHidden);
    return g;
}

// The battery bar as last drawn: cleared (nothing drawn) or drawn for a
// voltage, with its red, yellow and green segments.
struct BatteryBarView {
    bool drawn = false;
    int hundredths = 0;
    BatteryBar segments;

    friend bool operator==(const BatteryBarView& a, const BatteryBarView& b) {
        return a.drawn == b.drawn && a.hundredths == b.hundredths;
    }
};

// What the test page shows. The groups hold their figures in the order of
// the page's images:
//   pcDate, collectorDate  day tens, day units, month tens, month units, year tens, year units
//   pcTime, collectorTime  hours, minutes, seconds, tens before units
//   id                     the 16 hexadecimal digits of the collector's ID text
//   volt                   volts, tenths, hundredths
struct TestDisplay {
    // Image object names of the figures, group by group in the order above.
    static constexpr int FigureCount = 6 + 6 + 6 + 6 + 16 + 3;
    static const QStringList& ImageNames();
    // The image of the battery bar.
    static const QString BarImageName;

    Glyphs<6> pcDate = HiddenGlyphs<6>();
    Glyphs<6> pcTime = HiddenGlyphs<6>();
    Glyphs<6> collectorDate = HiddenGlyphs<6>();
    Glyphs<6> collectorTime = HiddenGlyphs<6>();
    Glyphs<16> id = HiddenGlyphs<16>();
    Glyphs<3> volt = HiddenGlyphs<3>();
    BatteryBarView bar;
    // The two "=" buttons that set the collector's date and time.
    bool correctionEnabled = false;

    // The glyph an image shows, by its object name ("ImageKDTH10");
    // nothing for a name that is not a figure of the page.
    std::optional<int> Glyph(QStringView imageName) const;
    // Every figure's glyph in the order of ImageNames.
    std::array<int, FigureCount> Figures() const;
};

// What one tick changed, so the page redraws only that.
struct TestRedraw {
    QStringList images;  // object names of the figures whose glyph changed
    bool bar = false;
    bool buttons = false;

    bool Empty() const { return images.isEmpty() && !bar && !buttons; }
};

// The device test page: the PC's and the collector's clocks, the collector's
// ID and its battery, polled one at a time on the ticks of the test timer,
// and the two clock corrections.
class DeviceTest {
public:
    // Poll phases of the test timer: the ID, the clock, the battery.
    static constexpr int PhaseId = 0;
    static constexpr int PhaseClock = 1;
    static constexpr int PhaseBattery = 2;
    // After a hold-off this many ticks pass without polling.
    static constexpr int HoldOffTicks = 5;
    static constexpr int TimerIntervalMs = 300;

    // One tick of the test timer. Idle while an exchange is running or the
    // status window shows; the login dialog, which polls the reader itself,
    // puts the polling on hold. now: the PC's local date and time.
    TestRedraw TimerTestTimer(link::ReaderLink& link, const shell::StatusWindow& status,
                              bool loginDialogShowing, const QDateTime& now);

    // The "=" buttons: set the collector's date, or its time, from the PC's.
    // Nothing is shown either way; true when the clock block was written.
    bool ButtonCorrectDateClick(link::ReaderLink& link, const QDateTime& now);
    bool ButtonCorrectTimeClick(link::ReaderLink& link, const QDateTime& now);

    const TestDisplay& Display() const { return display_; }
    // The phase of the next tick (negative during a hold-off); it survives
    // the timer being switched off and on.
    int Phase() const { return phase_; }

private:
    void PollId(link::ReaderLink& link);
    void PollClock(link::ReaderLink& link, const link::DateTime& pcNow);
    void PollBattery(link::ReaderLink& link);
    bool CorrectClock(link::ReaderLink& link, bool date, const QDateTime& now);

    TestDisplay display_;
    int phase_ = PhaseId;
};

}  // namespace kordex::collector
