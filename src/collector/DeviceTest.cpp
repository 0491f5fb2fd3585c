#include "DeviceTest.h"

#include "link/ClockBytes.h"
#include "link/KeyId.h"
#include "link/ReaderLink.h"
#include "shell/StatusWindow.h"

namespace kordex::collector {

namespace {

// Calls f(index, glyph) for every figure in the order of the image names.
template <class Display, class F>
void ForEachFigure(Display& d, F&& f) {
    int i = 0;
    for (auto* group : {&d.pcDate, &d.pcTime, &d.collectorDate, &d.collectorTime})
        for (auto& g : *group)
            f(i++, g);
    for (auto& g : d.id)
        f(i++, g);
    for (auto& g : d.volt)
        f(i++, g);
}

QStringList BuildImageNames() {
    const char* const dateParts[] = {"D10", "D1", "M10", "M1", "Y10", "Y1"};
    const char* const timeParts[] = {"H10", "H1", "M10", "M1", "S10", "S1"};
    QStringList names;
    for (const char* p : dateParts)
        names << QStringLiteral("ImageCD") + QLatin1String(p);
    for (const char* p : timeParts)
        names << QStringLiteral("ImageCT") + QLatin1String(p);
    for (const char* p : dateParts)
        names << QStringLiteral("ImageKDD") + QLatin1String(p);
    for (const char* p : timeParts)
        names << QStringLiteral("ImageKDT") + QLatin1String(p);
    for (int i = 1; i <= 16; ++i)
        names << QStringLiteral("ImageID") + QString::number(i);
    names << QStringLiteral("ImageVolt100") << QStringLiteral("ImageVolt10")
          << QStringLiteral("ImageVolt1");
    return names;
}

// Three two-digit values as six figures, tens before units.
Glyphs<6> TwoDigitEach(int a, int b, int c) {
    return {a / 10, a % 10, b / 10, b % 10, c / 10, c % 10};
}

// Err in the first three figures of a date or time, the rest hidden.
constexpr Glyphs<6> ErrSix = {GlyphE, GlyphR, GlyphR, GlyphHidden, GlyphHidden, GlyphHidden};
constexpr Glyphs<3> ErrThree = {GlyphE, GlyphR, GlyphR};

}  // namespace

// --- display model ----------------------------------------------------------

const QString TestDisplay::BarImageName = QStringLiteral("ImageVolt");

const QStringList& TestDisplay::ImageNames() {
    static const QStringList names = BuildImageNames();
    return names;
}

std::optional<int> TestDisplay::Glyph(QStringView imageName) const {
    const qsizetype wanted = ImageNames().indexOf(imageName);
    if (wanted < 0) return std::nullopt;
    return Figures()[static_cast<size_t>(wanted)];
}

std::array<int, TestDisplay::FigureCount> TestDisplay::Figures() const {
    std::array<int, FigureCount> all{};
    ForEachFigure(*this, [&all](int i, int g) { all[static_cast<size_t>(i)] = g; });
    return all;
}

// --- test timer -------------------------------------------------------------

TestRedraw DeviceTest::TimerTestTimer(link::ReaderLink& link, const shell::StatusWindow& status,
                                      bool loginDialogShowing, const QDateTime& now) {
    TestRedraw redraw;
    if (link.ReaderBusy() != 0 || status.IsShowing()) return redraw;
    if (loginDialogShowing) {
        phase_ = -HoldOffTicks;
        return redraw;
    }

    const TestDisplay before = display_;
    const QDate date = now.date();
    const QTime time = now.time();

    if (phase_ == PhaseId) PollId(link);
    display_.pcDate = TwoDigitEach(date.day(), date.month(), date.year() % 100);
    if (phase_ == PhaseClock) PollClock(link, link::DateTime::FromQDateTime(now));
    display_.pcTime = TwoDigitEach(time.hour(), time.minute(), time.second());
    if (phase_ == PhaseBattery) PollBattery(link);
    phase_ = phase_ == PhaseBattery ? PhaseId : phase_ + 1;

    const auto was = before.Figures();
    const auto is = display_.Figures();
    for (size_t i = 0; i < is.size(); ++i)
        if (was[i] != is[i]) redraw.images << TestDisplay::ImageNames()[static_cast<qsizetype>(i)];
    redraw.bar = !(before.bar == display_.bar);
    redraw.buttons = before.correctionEnabled != display_.correctionEnabled;
    return redraw;
}

void DeviceTest::PollId(link::ReaderLink& link) {
    Block block{};
    QString text;
    if (link.ReadBlock(AddrCollectorId, false, block) != link::ExchangeOk ||
        !link::KeyIdToText(block, text)) {
        display_.id = HiddenGlyphs<16>();
        return;
    }
    for (int pair = 0; pair < 8; ++pair) {
        const int byte = link::HexByteAt(text, 2 * pair + 1);
        display_.id[static_cast<size_t>(2 * pair)] = byte >> 4;
        display_.id[static_cast<size_t>(2 * pair + 1)] = byte & 0x0F;
    }
}

void DeviceTest::PollClock(link::ReaderLink& link, const link::DateTime& pcNow) {
    Block block{};
    const bool read = link.ReadBlock(AddrClock, false, block) == link::ExchangeOk;
    display_.correctionEnabled = read;
    if (!read) {
        display_.collectorDate = HiddenGlyphs<6>();
        display_.collectorTime = HiddenGlyphs<6>();
        return;
    }

    const ClockBlock clock = DecodeClock(block);
    // The collector's clock runs now: its year is the one nearest the PC's
    // clock, whichever of the two runs ahead.
    const std::optional<QDate> date = ClockDate(clock, pcNow);
    const bool timeValid = ClockTimeValid(clock);
    const Glyphs<6> timeShown =
        timeValid ? TwoDigitEach(clock.hour, clock.minutes, clock.seconds) : ErrSix;
    if (!date) {
        display_.collectorDate = ErrSix;
        // A broken date leaves a sound time as it was shown before.
        if (!timeValid) display_.collectorTime = ErrSix;
        return;
    }
    display_.collectorDate = TwoDigitEach(clock.day, clock.month, date->year() % 100);
    display_.collectorTime = timeShown;
}

void DeviceTest::PollBattery(link::ReaderLink& link) {
    Block block{};
    if (link.ReadBlock(AddrBattery, false, block) != link::ExchangeOk) {
        display_.volt = HiddenGlyphs<3>();
        display_.bar = BatteryBarView{};
        return;
    }
    const std::optional<int> v = BatteryHundredths(BatteryRaw(block));
    if (!v) {
        display_.volt = ErrThree;  // the bar stays as it was
        return;
    }
    display_.volt = {*v / 100, *v % 100 / 10, *v % 10};
    display_.bar = BatteryBarView{true, *v, BatteryBarFor(*v)};
}

// --- clock corrections ------------------------------------------------------

bool DeviceTest::ButtonCorrectDateClick(link::ReaderLink& link, const QDateTime& now) {
    return CorrectClock(link, true, now);
}

bool DeviceTest::ButtonCorrectTimeClick(link::ReaderLink& link, const QDateTime& now) {
    return CorrectClock(link, false, now);
}

bool DeviceTest::CorrectClock(link::ReaderLink& link, bool date, const QDateTime& now) {
    Block read{};
    if (link.ReadBlock(AddrClock, false, read) != link::ExchangeOk) return false;
    const link::DateTime pc = link::DateTime::FromQDateTime(now);
    const Block data = date ? ClockWithDate(read, pc) : ClockWithTime(read, pc);
    if (link.WriteBlock(AddrClock, data, false, false) != link::ExchangeOk) return false;
    Block ignored{};
    link.ReadBlock(AddrCompletion, false, ignored);
    return true;
}

}  // namespace kordex::collector
