#include <gtest/gtest.h>

#include "../ReaderRig.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLayout>
#include <QPushButton>
#include <QTimer>

#include "app/device/SegmentGlyph.h"
#include "app/device/TestPage.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/SimPort.h"

using namespace kordex;
using namespace kordex::app;

namespace {

constexpr int H = collector::GlyphHidden;

// The test page over the in-process simulator: the PC's clock stands at
// 15.03.2026 14:30:05, the collector's at 01.06.2025 08:09:10.
class TestPageTest : public ::testing::Test, protected kordex::rig::ReaderRig<> {
protected:
    TestPageTest() {
        // A question of the link (a read-back that differs) is answered No.
        prompt.SetDefault(shell::DefaultAnswer::Negative);
        collector.SetId("01000000FBD8B3E6");
        collector.SetClock(QDateTime(QDate(2025, 6, 1), QTime(8, 9, 10)));
        collector.SetBattery(100);  // 3.57 V
        link.SetPortDigit(1);
        EXPECT_TRUE(link.PortEnsureOpen());
        page.Attach(link, status, clock, [this] { return loginShowing; });
    }

    // One tick of each poll phase.
    void Cycle() {
        for (int i = 0; i < 3; ++i)
            page.TimerTestTimer();
    }
    // The glyphs of the figures whose names start with prefix, in page order.
    std::vector<int> Shown(const QString& prefix) const {
        std::vector<int> glyphs;
        for (const QString& name : collector::TestDisplay::ImageNames()) {
            if (!name.startsWith(prefix)) continue;
            const auto* figure = page.findChild<SegmentGlyph*>(name);
            glyphs.push_back(figure ? figure->Index() : -99);
        }
        return glyphs;
    }
    // The page laid out at its own size.
    void LayOut() {
        page.resize(page.sizeHint());
        page.layout()->activate();
    }
    QPushButton* Button(const char* name) const {
        return page.findChild<QPushButton*>(QLatin1String(name));
    }

    bool loginShowing = false;
    TestPage page;
};

// Counts the paint events of one widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++count;
        return false;
    }
};

void Flush() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

}  // namespace

// --- the figures ----------------------------------------------------------------

TEST(SegmentGlyphTest, MasksLightTheSegmentsOfEachGlyph) {
    using S = SegmentGlyph;
    struct Case {
        int index;
        uint8_t mask;
    } cases[] = {
        {0, S::SegA | S::SegB | S::SegC | S::SegD | S::SegE | S::SegF},
        {1, S::SegB | S::SegC},
        {2, S::SegA | S::SegB | S::SegD | S::SegE | S::SegG},
        {7, S::SegA | S::SegB | S::SegC},
        {8, 0x7F},
        {9, S::SegA | S::SegB | S::SegC | S::SegD | S::SegF | S::SegG},
        {10, S::SegA | S::SegB | S::SegC | S::SegE | S::SegF | S::SegG},  // A
        {11, S::SegC | S::SegD | S::SegE | S::SegF | S::SegG},            // b
        {13, S::SegB | S::SegC | S::SegD | S::SegE | S::SegG},            // d
        {14, S::SegA | S::SegD | S::SegE | S::SegF | S::SegG},            // E
        {16, S::SegE | S::SegG},                                          // r
        {-1, 0},
        {17, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(SegmentGlyph::MaskOf(c.index), c.mask);
    }
    // Every glyph looks different from every other.
    const auto& masks = SegmentGlyph::Masks();
    for (size_t i = 0; i < masks.size(); ++i)
        for (size_t j = i + 1; j < masks.size(); ++j)
            EXPECT_NE(masks[i], masks[j]) << i << " " << j;
}

TEST(SegmentGlyphTest, DrawsLitSegmentsOnTheFaceAndNothingWhenHidden) {
    SegmentGlyph glyph;
    EXPECT_EQ(glyph.size(), QSize(23, 34));
    EXPECT_EQ(glyph.Index(), -1);
    // Pixels in the middle of segment a (top) and segment g (middle).
    const QPoint a(12, 4), g(11, 17);
    struct Case {
        int index;
        QColor top, middle;
    } cases[] = {
        {8, SegmentColours::Lit(), SegmentColours::Lit()},
        {1, SegmentColours::Unlit(), SegmentColours::Unlit()},
        {16, SegmentColours::Unlit(), SegmentColours::Lit()},
        {7, SegmentColours::Lit(), SegmentColours::Unlit()},
        {-5, SegmentColours::Face(), SegmentColours::Face()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        glyph.SetIndex(c.index);
        const QImage image = glyph.grab().toImage();
        EXPECT_EQ(image.pixelColor(a), c.top);
        EXPECT_EQ(image.pixelColor(g), c.middle);
        EXPECT_EQ(image.pixelColor(0, 0), SegmentColours::Face());
    }
    EXPECT_EQ(glyph.Index(), -1);  // any negative index hides
}

TEST(SegmentGlyphTest, RepaintsOnlyWhenTheIndexChanges) {
    SegmentGlyph glyph;
    glyph.SetIndex(3);
    glyph.show();
    Flush();
    PaintCounter paints(&glyph);
    struct Step {
        int index;
        bool repaints;
    } steps[] = {{3, false}, {4, true}, {4, false}, {-1, true}, {-7, false}, {16, true}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.index);
        paints.count = 0;
        glyph.SetIndex(s.index);
        Flush();
        EXPECT_EQ(paints.count > 0, s.repaints);
    }
}

// --- the page -------------------------------------------------------------------

TEST_F(TestPageTest, HasEveryFigureTheButtonsAndTheTimer) {
    EXPECT_EQ(page.objectName(), QStringLiteral("TabSheetTest"));
    for (const QString& name : collector::TestDisplay::ImageNames()) {
        SCOPED_TRACE(name.toStdString());
        const auto* figure = page.findChild<SegmentGlyph*>(name);
        ASSERT_NE(figure, nullptr);
        EXPECT_EQ(figure, page.Figure(name));
        EXPECT_EQ(figure->Index(), H);
    }
    EXPECT_EQ(page.findChildren<SegmentGlyph*>().size(), collector::TestDisplay::FigureCount);
    EXPECT_NE(page.findChild<BatteryBarImage*>(QStringLiteral("ImageVolt")), nullptr);

    struct {
        const char* name;
        const char* hint;
    } buttons[] = {{"ButtonCorrectDate", "Коррекция даты"},
                   {"ButtonCorrectTime", "Коррекция времени"}};
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.name);
        ASSERT_NE(Button(b.name), nullptr);
        EXPECT_EQ(Button(b.name)->text(), QStringLiteral("="));
        EXPECT_EQ(Button(b.name)->toolTip(), QString::fromUtf8(b.hint));
        EXPECT_FALSE(Button(b.name)->isEnabled());  // until the clock is read
    }

    const auto* timer = page.findChild<QTimer*>(QStringLiteral("TimerTest"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 300);
    EXPECT_FALSE(page.Running());
    page.Start();
    EXPECT_TRUE(timer->isActive());
    page.Stop();
    EXPECT_FALSE(timer->isActive());
}

TEST_F(TestPageTest, TicksShowClocksIdVoltageAndBar) {
    Cycle();
    EXPECT_EQ(Shown("ImageCD"), (std::vector<int>{1, 5, 0, 3, 2, 6}));
    EXPECT_EQ(Shown("ImageCT"), (std::vector<int>{1, 4, 3, 0, 0, 5}));
    EXPECT_EQ(Shown("ImageKDD"), (std::vector<int>{0, 1, 0, 6, 2, 5}));
    EXPECT_EQ(Shown("ImageKDT"), (std::vector<int>{0, 8, 0, 9, 1, 0}));
    EXPECT_EQ(Shown("ImageID"),
              (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 0, 15, 11, 13, 8, 11, 3, 14, 6}));
    EXPECT_EQ(Shown("ImageVolt"), (std::vector<int>{3, 5, 7}));
    EXPECT_TRUE(Button("ButtonCorrectDate")->isEnabled());
    EXPECT_TRUE(Button("ButtonCorrectTime")->isEnabled());

    const BatteryBarImage* bar = page.Bar();
    ASSERT_TRUE(bar->View().drawn);
    EXPECT_EQ(bar->View().segments.redEnd, 250);
    EXPECT_EQ(bar->View().segments.yellowEnd, 280);
    EXPECT_EQ(bar->View().segments.greenEnd, 357);

    // The PC's seconds run on at the next tick.
    clock.SetNow(clock.Now().addSecs(4));
    page.TimerTestTimer();
    EXPECT_EQ(Shown("ImageCT"), (std::vector<int>{1, 4, 3, 0, 0, 9}));
}

TEST_F(TestPageTest, BarShowsItsColoursUpToTheVoltageOnThePanel) {
    LayOut();
    Cycle();
    BatteryBarImage* bar = page.Bar();
    const QColor panel = bar->palette().color(QPalette::Window);
    const int y = bar->BarRect().center().y();
    const auto colourAt = [&](int hundredths) {
        return bar->grab().toImage().pixelColor(bar->XOf(hundredths), y);
    };
    struct Sample {
        int raw, at;
        QColor colour;
    } samples[] = {
        {100, 150, QColor(0xd8, 0x3a, 0x2e)},  // red
        {100, 265, QColor(0xf0, 0xc0, 0x1c)},  // yellow
        {100, 330, QColor(0x3a, 0xb0, 0x4a)},  // green
        {100, 380, panel},                     // past 3.57 V
        {20, 80, QColor(0xd8, 0x3a, 0x2e)},    // 1.09 V
        {20, 150, panel},
        {20, 265, panel},
    };
    for (const auto& s : samples) {
        SCOPED_TRACE(testing::Message() << s.raw << " at " << s.at);
        collector.SetBattery(static_cast<uint8_t>(s.raw));
        Cycle();
        EXPECT_EQ(colourAt(s.at), s.colour);
    }
    // Without a collector the bar is cleared.
    reader.SetCollectorPresent(false);
    Cycle();
    EXPECT_FALSE(bar->View().drawn);
    EXPECT_EQ(colourAt(80), panel);
}

TEST_F(TestPageTest, WithoutCollectorIdClockAndVoltageHideAndButtonsDisable) {
    Cycle();
    reader.SetCollectorPresent(false);
    clock.SetNow(QDateTime(QDate(2026, 3, 16), QTime(9, 5, 7)));
    Cycle();
    EXPECT_EQ(Shown("ImageID"), std::vector<int>(16, H));
    EXPECT_EQ(Shown("ImageKD"), std::vector<int>(12, H));
    EXPECT_EQ(Shown("ImageVolt"), std::vector<int>(3, H));
    EXPECT_FALSE(Button("ButtonCorrectDate")->isEnabled());
    EXPECT_FALSE(Button("ButtonCorrectTime")->isEnabled());
    EXPECT_EQ(Shown("ImageCD"), (std::vector<int>{1, 6, 0, 3, 2, 6}));
    EXPECT_EQ(Shown("ImageCT"), (std::vector<int>{0, 9, 0, 5, 0, 7}));

    // Put back, it shows again.
    reader.SetCollectorPresent(true);
    Cycle();
    EXPECT_EQ(Shown("ImageID")[15], 6);
    EXPECT_TRUE(Button("ButtonCorrectTime")->isEnabled());
}

TEST_F(TestPageTest, PollingWaitsForTheLoginDialogAndTheStatusWindow) {
    loginShowing = true;
    Cycle();
    EXPECT_TRUE(reader.Exchanges().empty());
    loginShowing = false;
    status.Show(QStringLiteral("Чтение из устройства"), QString(), 10);
    Cycle();
    EXPECT_TRUE(reader.Exchanges().empty());
    EXPECT_EQ(Shown("ImageCT"), std::vector<int>(6, H));
    status.Close();
    page.TimerTestTimer();
    EXPECT_EQ(Shown("ImageCT"), (std::vector<int>{1, 4, 3, 0, 0, 5}));
}

TEST_F(TestPageTest, ButtonsSetTheCollectorClockFromThePc) {
    struct Case {
        const char* button;
        QDateTime after;
    } cases[] = {
        {"ButtonCorrectDate", QDateTime(QDate(2026, 3, 15), QTime(8, 9, 10))},
        {"ButtonCorrectTime", QDateTime(QDate(2025, 6, 1), QTime(14, 30, 5))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        collector.SetClock(QDateTime(QDate(2025, 6, 1), QTime(8, 9, 10)));
        Cycle();
        Button(c.button)->click();
        EXPECT_EQ(collector.ClockNow().toString(Qt::ISODate), c.after.toString(Qt::ISODate));
    }
    EXPECT_TRUE(prompt.Asked().empty());

    // Hidden for an operator without the right, and back; the layout keeps
    // their room.
    LayOut();
    page.show();
    const QPoint timeAt = page.Figure(QStringLiteral("ImageKDTH10"))->pos();
    page.SetCorrectionVisible(false);
    EXPECT_FALSE(Button("ButtonCorrectDate")->isVisible());
    EXPECT_FALSE(Button("ButtonCorrectTime")->isVisible());
    Flush();
    EXPECT_EQ(page.Figure(QStringLiteral("ImageKDTH10"))->pos(), timeAt);
    page.SetCorrectionVisible(true);
    EXPECT_TRUE(Button("ButtonCorrectTime")->isVisible());
}

// A picture of the page for a person to look at.
TEST_F(TestPageTest, RendersThePageIntoAPicture) {
    Cycle();
    LayOut();
    const QImage image = page.grab().toImage();
    ASSERT_FALSE(image.isNull());
    const QString dir = qEnvironmentVariableIsEmpty("KORDEX_SHOT_DIR")
                            ? QDir::currentPath()
                            : qEnvironmentVariable("KORDEX_SHOT_DIR");
    EXPECT_TRUE(image.save(QDir(dir).filePath(QStringLiteral("TestPage.png"))));
}
