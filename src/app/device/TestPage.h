#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/window/LongOperation.h"
#include "collector/DeviceTest.h"

class QPushButton;
class QTimer;

namespace kordex::link {
class ReaderLink;
}  // namespace kordex::link

namespace kordex::shell {
class Clock;
class StatusWindow;
}  // namespace kordex::shell

namespace kordex::app {

class SegmentGlyph;

// The battery bar of the test page ("ImageVolt"). Its scale is drawn once:
// the image in the panel's colour, the digits 0 to 4 (volts) along the bottom
// in the scale font, a tick above every digit up to the frame of the bar in
// the top half, and dotted lines across the bar at 1, 2 and 3 V. The bar
// itself is the red, yellow and green segments of the voltage last measured,
// inside the frame, with the dotted lines over them; the full width of the
// frame stands for 4.00 V.
class BatteryBarImage : public QWidget {
    Q_OBJECT

public:
    static constexpr int FullScale = 400;  // hundredths of a volt
    static constexpr int YellowFrom = 250;
    static constexpr int GreenFrom = 280;

    explicit BatteryBarImage(QWidget* parent = nullptr);

    const collector::BatteryBarView& View() const { return view_; }
    void SetView(const collector::BatteryBarView& view);

    // Arial, 10 points, bold.
    static QFont ScaleFont();
    // The frame of the bar: from the left half of the digit 0 to the right
    // half of the digit 4, the top half of the image.
    QRect BarRect() const;
    // The x coordinate of a voltage (hundredths) on the scale: the tick of
    // k volts stands at XOf(k * 100).
    int XOf(int hundredths) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    collector::BatteryBarView view_;
};

// The device test page ("TabSheetTest"): the PC's date and time beside the
// collector's clock, the collector's ID and its battery. The test timer polls
// the collector on its ticks while the page is shown; the "=" buttons set the
// collector's date or time from the PC.
class TestPage : public QWidget {
    Q_OBJECT

public:
    explicit TestPage(QWidget* parent = nullptr);

    // The reader, the status window of the long operations (the page yields
    // to it), the PC's clock and whether the login dialog is up (it polls the
    // reader itself). Nothing is polled before this.
    void Attach(link::ReaderLink& link, shell::StatusWindow& status, shell::Clock& clock,
                std::function<bool()> loginDialogShowing);

    // A correction is a long operation of the program's: it starts only when
    // none runs, and none starts while it runs.
    void SetLongOperations(LongOperations* operations) { operations_ = operations; }

    // The test timer. The port is opened and closed by the caller.
    void Start();
    void Stop();
    bool Running() const;

    // One tick of the test timer: poll, then redraw what changed.
    void TimerTestTimer();
    // The "=" buttons.
    void ButtonCorrectDateClick();
    void ButtonCorrectTimeClick();

    // The correction buttons are shown only to operators allowed to set the
    // collector's clock.
    void SetCorrectionVisible(bool visible);

    const collector::DeviceTest& Test() const { return test_; }
    // A figure by its image name ("ImageKDTH10"); null for another name.
    SegmentGlyph* Figure(const QString& imageName) const;
    BatteryBarImage* Bar() const { return bar_; }
    QPushButton* CorrectDateButton() const { return buttonDate_; }
    QPushButton* CorrectTimeButton() const { return buttonTime_; }
    QTimer* Timer() const { return timer_; }

private:
    QWidget* MakeDisplay(int first, const QString& layout);
    void Correct(bool date);
    void Apply(const collector::TestRedraw& redraw);

    collector::DeviceTest test_;
    link::ReaderLink* link_ = nullptr;
    shell::StatusWindow* status_ = nullptr;
    shell::Clock* clock_ = nullptr;
    std::function<bool()> loginDialogShowing_;
    LongOperations* operations_ = nullptr;
    bool correctionShown_ = true;

    std::vector<SegmentGlyph*> figures_;  // in the order of the image names
    BatteryBarImage* bar_ = nullptr;
    QPushButton* buttonDate_ = nullptr;
    QPushButton* buttonTime_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace kordex::app
