#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "LongOperation.h"
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

// The battery bar of the test page ("ImageVolt"): the full width stands for
// 4.00 V, with thin grid lines at 1.00, 2.00 and 3.00 V and a small scale of
// volts beneath. Cleared to the panel colour, then the red, yellow and green
// segments of the voltage last measured.
class BatteryBarImage : public QWidget {
    Q_OBJECT

public:
    static constexpr int FullScale = 400;  // hundredths of a volt
    static constexpr int YellowFrom = 250;
    static constexpr int GreenFrom = 280;

    explicit BatteryBarImage(QWidget* parent = nullptr);

    const collector::BatteryBarView& View() const { return view_; }
    void SetView(const collector::BatteryBarView& view);

    // The area of the bar itself, above the scale.
    QRect BarRect() const;
    // The x coordinate of a voltage (hundredths) on the bar.
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
