#include "TestPage.h"

#include <algorithm>
#include <optional>

#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "SegmentGlyph.h"
#include "shell/Clock.h"

namespace kordex::app {

namespace {

constexpr int TickLength = 5;  // from the frame down to the digits
constexpr int ButtonSize = 28;
constexpr int DisplayPadding = 3;

// The groups sit close together so that the page fits the main window at
// its design size.
void Tighten(QLayout* groupRow) {
    groupRow->setContentsMargins(8, 2, 8, 3);
}

QColor BarRed() {
    return QColor(0xd8, 0x3a, 0x2e);
}
QColor BarYellow() {
    return QColor(0xf0, 0xc0, 0x1c);
}
QColor BarGreen() {
    return QColor(0x3a, 0xb0, 0x4a);
}

// n / d (both not negative) rounded to the nearest integer, halves to even.
int RoundedDiv(int n, int d) {
    const int q = n / d, r2 = 2 * (n % d);
    return r2 > d || (r2 == d && q % 2 != 0) ? q + 1 : q;
}

// The group boxes keep their contents at the left.
QGroupBox* Group(const QString& title, QLayout* contents) {
    auto* box = new QGroupBox(title);
    auto* row = new QHBoxLayout(box);
    Tighten(row);
    row->addLayout(contents);
    row->addStretch(1);
    return box;
}

}  // namespace

// --- BatteryBarImage ------------------------------------------------------------

BatteryBarImage::BatteryBarImage(QWidget* parent) : QWidget(parent) {
    setObjectName(collector::TestDisplay::BarImageName);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void BatteryBarImage::SetView(const collector::BatteryBarView& view) {
    view_ = view;
    update();
}

QFont BatteryBarImage::ScaleFont() {
    return QFont(QStringLiteral("Arial"), 10, QFont::Bold);
}

// The scale's measures: d the width of the digit 0, h its height, W the
// width of the scale between the middles of the digits 0 and 4, H the
// image's height, m the bottom of the bar's half.
namespace {
struct Scale {
    int d, h, W, H, m;
};
Scale ScaleOf(const QWidget& image) {
    const QFontMetrics fm(BatteryBarImage::ScaleFont());
    const int d = fm.horizontalAdvance(QLatin1Char('0'));
    return {d, fm.height(), image.width() - 2 * d, image.height(), image.height() / 2};
}
}  // namespace

QSize BatteryBarImage::sizeHint() const {
    const QFontMetrics fm(ScaleFont());
    // The bar as high as the digits and the ticks under it.
    return {260, 2 * (fm.height() + TickLength)};
}

QSize BatteryBarImage::minimumSizeHint() const {
    return {160, sizeHint().height()};
}

QRect BatteryBarImage::BarRect() const {
    const Scale s = ScaleOf(*this);
    return {s.d, 0, s.W + 1, s.m};
}

int BatteryBarImage::XOf(int hundredths) const {
    const Scale s = ScaleOf(*this);
    const int v = std::clamp(hundredths, 0, FullScale);
    return s.d + RoundedDiv(v * std::max(s.W, 0), FullScale);
}

void BatteryBarImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Scale s = ScaleOf(*this);
    const QColor panel = palette().color(QPalette::Window);
    const QColor ink = palette().color(QPalette::WindowText);
    p.fillRect(rect(), panel);

    // The segments inside the frame.
    if (view_.drawn) {
        const auto& seg = view_.segments;
        const auto segment = [&](int from, int to, const QColor& colour) {
            if (to <= from) return;
            p.fillRect(QRect(QPoint(std::max(XOf(from), s.d + 1), 1),
                             QPoint(std::min(XOf(to) - 1, s.W + s.d - 1), s.m - 2)),
                       colour);
        };
        segment(0, seg.redEnd, BarRed());
        segment(YellowFrom, seg.yellowEnd, BarYellow());
        segment(GreenFrom, seg.greenEnd, BarGreen());
    }

    // The digits, the ticks and the frame.
    p.setFont(ScaleFont());
    p.setPen(ink);
    for (int k = 0; k <= FullScale / 100; ++k) {
        const int x = XOf(k * 100) - s.d;
        p.drawText(QRect(x + s.d / 2 + 1, s.H - s.h, s.d, s.h), Qt::AlignLeft | Qt::AlignTop,
                   QString::number(k));
        p.drawLine(x + s.d, s.m, x + s.d, s.H - s.h - 1);
    }
    p.drawRect(s.d, 0, s.W, s.m - 1);

    // The dotted lines at 1, 2 and 3 V.
    p.setPen(QPen(ink, 1, Qt::DotLine));
    for (int k = 1; k < FullScale / 100; ++k)
        p.drawLine(XOf(k * 100), 1, XOf(k * 100), s.m - 2);
}

// --- TestPage -------------------------------------------------------------------

TestPage::TestPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabSheetTest"));
    const int figureCount = collector::TestDisplay::FigureCount;
    figures_.reserve(static_cast<size_t>(figureCount));

    // Figures in the order of the image names: PC date and time, collector
    // date and time, the ID, the voltage.
    QWidget* pcDate = MakeDisplay(0, QStringLiteral("99.99.99"));
    QWidget* pcTime = MakeDisplay(6, QStringLiteral("99:99:99"));
    QWidget* collectorDate = MakeDisplay(12, QStringLiteral("99.99.99"));
    QWidget* collectorTime = MakeDisplay(18, QStringLiteral("99:99:99"));
    QWidget* id = MakeDisplay(24, QStringLiteral("99 99 99 99 99 99 99 99"));
    QWidget* volt = MakeDisplay(40, QStringLiteral("9.99"));

    const auto correction = [this](const char* name, const QString& hint) {
        auto* b = new QPushButton(QStringLiteral("="), this);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(hint);
        b->setStatusTip(hint);
        b->setFixedSize(ButtonSize, ButtonSize);
        b->setFocusPolicy(Qt::TabFocus);
        b->setEnabled(false);
        QSizePolicy keep = b->sizePolicy();
        keep.setRetainSizeWhenHidden(true);  // the displays stay where they are
        b->setSizePolicy(keep);
        return b;
    };
    buttonDate_ = correction("ButtonCorrectDate", QStringLiteral("Коррекция даты"));
    buttonTime_ = correction("ButtonCorrectTime", QStringLiteral("Коррекция времени"));
    connect(buttonDate_, &QPushButton::clicked, this, &TestPage::ButtonCorrectDateClick);
    connect(buttonTime_, &QPushButton::clicked, this, &TestPage::ButtonCorrectTimeClick);

    // The PC's row keeps the room of the buttons, so that its date and time
    // stand right above the collector's.
    const auto buttonRoom = [] {
        auto* w = new QWidget;
        w->setFixedSize(ButtonSize, ButtonSize);
        return w;
    };
    auto* pcRow = new QHBoxLayout;
    pcRow->addWidget(pcDate);
    pcRow->addWidget(buttonRoom());
    pcRow->addSpacing(16);
    pcRow->addWidget(pcTime);
    pcRow->addWidget(buttonRoom());

    auto* collectorRow = new QHBoxLayout;
    collectorRow->addWidget(collectorDate);
    collectorRow->addWidget(buttonDate_);
    collectorRow->addSpacing(16);
    collectorRow->addWidget(collectorTime);
    collectorRow->addWidget(buttonTime_);

    auto* idRow = new QHBoxLayout;
    idRow->addWidget(id);

    bar_ = new BatteryBarImage(this);
    auto* batteryRow = new QHBoxLayout;
    batteryRow->addWidget(volt);
    batteryRow->addWidget(new QLabel(QStringLiteral("В")));
    batteryRow->addSpacing(12);
    batteryRow->addWidget(bar_, 1, Qt::AlignVCenter);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(6, 3, 6, 3);
    page->setSpacing(2);
    page->addWidget(Group(QStringLiteral("Дата и время ПК"), pcRow));
    page->addWidget(Group(QStringLiteral("Дата и время Kordex'а"), collectorRow));
    page->addWidget(Group(QStringLiteral("ID Kordex'а"), idRow));
    auto* battery = new QGroupBox(QStringLiteral("Батарея Kordex'а"));
    battery->setLayout(batteryRow);
    Tighten(batteryRow);
    page->addWidget(battery);
    page->addStretch(1);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("TimerTest"));
    timer_->setInterval(collector::DeviceTest::TimerIntervalMs);
    connect(timer_, &QTimer::timeout, this, &TestPage::TimerTestTimer);
}

// A dark display of figures: in the layout every 9 is the next figure, "." and
// ":" are fixed marks and a space is a small gap.
QWidget* TestPage::MakeDisplay(int first, const QString& layout) {
    auto* frame = new QFrame(this);
    QPalette face = frame->palette();
    face.setColor(QPalette::Window, SegmentColours::Face());
    frame->setPalette(face);
    frame->setAutoFillBackground(true);
    frame->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(DisplayPadding, DisplayPadding, DisplayPadding, DisplayPadding);
    row->setSpacing(0);
    int next = first;
    for (const QChar c : layout) {
        if (c == u'9') {
            auto* figure = new SegmentGlyph(frame);
            figure->setObjectName(collector::TestDisplay::ImageNames()[next++]);
            figures_.push_back(figure);
            row->addWidget(figure);
        } else if (c == u' ') {
            row->addSpacing(6);
        } else {
            row->addWidget(new SegmentMark(
                c == u':' ? SegmentMark::Kind::Colon : SegmentMark::Kind::Point, frame));
        }
    }
    return frame;
}

void TestPage::Attach(link::ReaderLink& link, shell::StatusWindow& status, shell::Clock& clock,
                      std::function<bool()> loginDialogShowing) {
    link_ = &link;
    status_ = &status;
    clock_ = &clock;
    loginDialogShowing_ = std::move(loginDialogShowing);
}

void TestPage::Start() {
    timer_->start();
}

void TestPage::Stop() {
    timer_->stop();
}

bool TestPage::Running() const {
    return timer_->isActive();
}

void TestPage::TimerTestTimer() {
    if (link_ == nullptr) return;
    const bool login = loginDialogShowing_ && loginDialogShowing_();
    Apply(test_.TimerTestTimer(*link_, *status_, login, clock_->Now()));
}

void TestPage::Apply(const collector::TestRedraw& redraw) {
    const collector::TestDisplay& shown = test_.Display();
    if (!redraw.images.isEmpty()) {
        const auto figures = shown.Figures();
        for (const QString& name : redraw.images) {
            const qsizetype i = collector::TestDisplay::ImageNames().indexOf(name);
            if (i >= 0) figures_[static_cast<size_t>(i)]->SetIndex(figures[static_cast<size_t>(i)]);
        }
    }
    if (redraw.bar) bar_->SetView(shown.bar);
    if (redraw.buttons) {
        buttonDate_->setEnabled(shown.correctionEnabled);
        buttonTime_->setEnabled(shown.correctionEnabled);
    }
}

void TestPage::ButtonCorrectDateClick() {
    Correct(true);
}

void TestPage::ButtonCorrectTimeClick() {
    Correct(false);
}

// Only an operator who may set the collector's clock sees the buttons; a
// hidden button sets nothing, whatever clicks it.
void TestPage::Correct(bool date) {
    if (link_ == nullptr || !correctionShown_) return;
    if (operations_ != nullptr && operations_->Running()) return;
    std::optional<LongOperations::Hold> busy;
    if (operations_ != nullptr) busy.emplace(*operations_);
    if (date)
        test_.ButtonCorrectDateClick(*link_, clock_->Now());
    else
        test_.ButtonCorrectTimeClick(*link_, clock_->Now());
}

void TestPage::SetCorrectionVisible(bool visible) {
    correctionShown_ = visible;
    buttonDate_->setVisible(visible);
    buttonTime_->setVisible(visible);
}

SegmentGlyph* TestPage::Figure(const QString& imageName) const {
    const qsizetype i = collector::TestDisplay::ImageNames().indexOf(imageName);
    return i < 0 ? nullptr : figures_[static_cast<size_t>(i)];
}

}  // namespace kordex::app
