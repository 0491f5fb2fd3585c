#include "FilterDialogs.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QToolTip>
#include <QVBoxLayout>
#include <cmath>

#include "app/window/HelpWindow.h"
#include "link/DateTime.h"
#include "shell/Prompt.h"
#include "widgets/DataWidgets.h"

namespace kordex::app {

using filters::EventKind;
using filters::IntervalKind;
using filters::IntervalSettings;
using widgets::DBLookupComboBox;

namespace {

const QString DateFormat = QStringLiteral("dd.MM.yyyy");
const QString TimeFormat = QStringLiteral("HH:mm:ss");

QDate DateOf(double days) {
    return link::DateTime(std::floor(days)).Date();
}

double DaysOf(const QDate& d) {
    return link::DateTime::FromDate(d).Days();
}

QTime TimeOf(double fraction) {
    const auto ms = static_cast<int>(std::lround(fraction * link::DateTime::MsPerDay));
    return QTime::fromMSecsSinceStartOfDay(std::clamp(ms, 0, 86399999));
}

double FractionOf(const QTime& t) {
    return t.msecsSinceStartOfDay() / link::DateTime::MsPerDay;
}

QVariant KeyVariant(const filters::KeyChoice& k) {
    return k ? QVariant(*k) : QVariant();
}

filters::KeyChoice KeyOf(const QVariant& v) {
    if (!v.isValid() || v.isNull() || v.toString().isEmpty()) return std::nullopt;
    return v.toString();
}

filters::PathChoice PathOf(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return std::nullopt;
    return v.toInt();
}

}  // namespace

// --- Indicator

FilterIndicator::FilterIndicator(QWidget* parent) : QLabel(FilterIndicatorText, parent) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(FontPixels);
    f.setBold(true);
    setFont(f);
    setFixedHeight(StripHeight);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setVisible(false);
}

bool FilterIndicator::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip && describe) {
        QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), describe(), this);
        return true;
    }
    return QLabel::event(e);
}

void FilterIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font());
    const QRect r = contentsRect().adjusted(4, 0, 0, 0);
    p.setPen(QColor(Qt::darkBlue));
    p.drawText(r.translated(1, 0), Qt::AlignLeft | Qt::AlignVCenter, text());
    p.setPen(QColor(0, 128, 0));
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, text());
}

// --- Dialog

TFormFilter::TFormFilter(store::TDM& dm, shell::Prompt& prompt, Record record, int topic,
                         QWidget* parent)
    : QDialog(parent), dm_(dm), prompt_(prompt), record_(record), topic_(topic) {
    setWindowTitle(filters::text::DialogCaption);
    exec = [](TFormFilter& d) { return d.QDialog::exec(); };
    Build();
    Load();
}

void TFormFilter::Build() {
    auto* column = new QVBoxLayout(this);
    column->addWidget(BuildInterval());
    if (record_.touch != nullptr) column->addWidget(BuildEvent());

    auto* choices = new QGridLayout;
    choices->setColumnStretch(1, 1);
    if (record_.round != nullptr) {
        collector_ = AddChoice(choices, QStringLiteral("Kordex"), "DBLookupComboBoxKD",
                               "ButtonClearKD", dm_.TableKDs());
    }
    if (record_.registrar != nullptr) {
        registrar_ = AddChoice(choices, QStringLiteral("Регистратор"), "DBLookupComboBoxRegister",
                               "ButtonClearReg", dm_.TableRegisters());
    }
    if (record_.round != nullptr) {
        guard_ = AddChoice(choices, QStringLiteral("Охранник"), "DBLookupComboBoxGuard",
                           "ButtonClearGuard", dm_.TableGuards());
        path_ = AddChoice(choices, QStringLiteral("Маршрут"), "DBLookupComboBoxPath",
                          "ButtonClearPath", dm_.TablePathes(), QStringLiteral("ID"));
    }
    column->addLayout(choices);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ButtonOK"));
    ok->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("ButtonCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TFormFilter::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TFormFilter::reject);
    column->addWidget(buttons);
}

QGroupBox* TFormFilter::BuildInterval() {
    intervalBox_ = new QGroupBox(QStringLiteral("Интервал"));
    intervalBox_->setObjectName(QStringLiteral("GroupBoxInterval"));
    auto* g = new QGridLayout(intervalBox_);
    noInterval_ = new QCheckBox(QStringLiteral("не учитывать"));
    noInterval_->setObjectName(QStringLiteral("CheckBoxNoInterval"));
    g->addWidget(noInterval_, 0, 0, 1, 3);
    auto date = [this](const char* name) {
        auto* e = new QDateEdit;
        e->setObjectName(QString::fromLatin1(name));
        e->setDisplayFormat(DateFormat);
        e->setCalendarPopup(true);
        snapshotOrder_.push_back(e);
        return e;
    };
    auto time = [this](const char* name) {
        auto* e = new QTimeEdit;
        e->setObjectName(QString::fromLatin1(name));
        e->setDisplayFormat(TimeFormat);
        snapshotOrder_.push_back(e);
        return e;
    };
    snapshotOrder_.push_back(noInterval_);
    dateFrom_ = date("DateTimePickerDateFrom");
    timeFrom_ = time("DateTimePickerTimeFrom");
    dateTo_ = date("DateTimePickerDateTo");
    timeTo_ = time("DateTimePickerTimeTo");
    g->addWidget(new QLabel(QStringLiteral("с")), 1, 0);
    g->addWidget(dateFrom_, 1, 1);
    g->addWidget(timeFrom_, 1, 2);
    g->addWidget(new QLabel(QStringLiteral("по")), 2, 0);
    g->addWidget(dateTo_, 2, 1);
    g->addWidget(timeTo_, 2, 2);

    abs_ = new QRadioButton(filters::text::Continuous);
    abs_->setObjectName(QStringLiteral("RadioButtonAbs"));
    onDay_ = new QRadioButton(filters::text::PerDay);
    onDay_->setObjectName(QStringLiteral("RadioButtonOnDay"));
    snapshotOrder_.push_back(abs_);
    snapshotOrder_.push_back(onDay_);
    g->addWidget(abs_, 3, 0, 1, 3);
    g->addWidget(onDay_, 4, 0, 1, 3);

    // The quick intervals fill the dates and the whole day's times.
    auto* quick = new QHBoxLayout;
    const std::pair<const char*, std::pair<QString, Quick>> buttons[] = {
        {"ButtonToday", {QStringLiteral("Сегодня"), Quick::Today}},
        {"ButtonYesterday", {QStringLiteral("Вчера"), Quick::Yesterday}},
        {"ButtonWeek", {QStringLiteral("Неделя"), Quick::Week}},
        {"ButtonMonth", {QStringLiteral("Месяц"), Quick::Month}},
    };
    for (const auto& [name, what] : buttons) {
        auto* b = new QPushButton(what.first);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        const Quick q = what.second;
        connect(b, &QPushButton::clicked, this, [this, q] { FillQuick(q); });
        quick->addWidget(b);
    }
    g->addLayout(quick, 5, 0, 1, 3);

    connect(noInterval_, &QCheckBox::toggled, this, &TFormFilter::NoIntervalToggled);
    return intervalBox_;
}

QGroupBox* TFormFilter::BuildEvent() {
    auto* box = new QGroupBox(QStringLiteral("Событие"));
    box->setObjectName(QStringLiteral("GroupBoxEvent"));
    auto* g = new QGridLayout(box);
    auto radio = [this](const QString& text, const char* name, EventKind kind) {
        auto* r = new QRadioButton(text);
        r->setObjectName(QString::fromLatin1(name));
        snapshotOrder_.push_back(r);
        // Only the operator's choice clears the event; a restore does not.
        connect(r, &QRadioButton::clicked, this, [this, kind] { EventKindChosen(kind); });
        return r;
    };
    point_ = radio(QStringLiteral("Контрольная точка"), "RadioButtonPoint", EventKind::Point);
    incident_ = radio(QStringLiteral("Происшествие"), "RadioButtonIncident", EventKind::Incident);
    user_ = radio(QStringLiteral("Имя пользователя"), "RadioButtonUser", EventKind::User);
    g->addWidget(point_, 0, 0);
    g->addWidget(incident_, 0, 1);
    g->addWidget(user_, 0, 2);

    event_ = new DBLookupComboBox;
    event_->setObjectName(QStringLiteral("DBLookupComboBoxEvent"));
    event_->SetListView(&dm_.TablePoints());
    snapshotOrder_.push_back(event_);
    auto* clear = new QPushButton(QStringLiteral("X"));
    clear->setObjectName(QStringLiteral("ButtonClearEvent"));
    clear->setToolTip(QStringLiteral("Очистить"));
    clear->setAutoDefault(false);
    clear->setFixedWidth(clear->fontMetrics().horizontalAdvance(QStringLiteral("XX")) + 8);
    connect(clear, &QPushButton::clicked, event_, &DBLookupComboBox::ClearKeyValue);
    auto* row = new QHBoxLayout;
    row->addWidget(event_, 1);
    row->addWidget(clear);
    g->addLayout(row, 1, 0, 1, 3);

    complex_ = new QCheckBox(QStringLiteral("Сложный"));
    complex_->setObjectName(QStringLiteral("CheckBoxCUser"));
    complex_->setToolTip(QStringLiteral("Сложный триггерный фильтр по пользователю"));
    complex_->setEnabled(false);
    snapshotOrder_.push_back(complex_);
    g->addWidget(complex_, 2, 0, 1, 3);
    return box;
}

DBLookupComboBox* TFormFilter::AddChoice(QGridLayout* grid, const QString& label, const char* combo,
                                         const char* clear, store::View& list,
                                         const QString& keyField) {
    const int row = grid->rowCount();
    auto* c = new DBLookupComboBox;
    c->setObjectName(QString::fromLatin1(combo));
    c->SetKeyField(keyField);
    c->SetListView(&list);
    auto* x = new QPushButton(QStringLiteral("X"));
    x->setObjectName(QString::fromLatin1(clear));
    x->setToolTip(QStringLiteral("Очистить"));
    x->setAutoDefault(false);
    x->setFixedWidth(x->fontMetrics().horizontalAdvance(QStringLiteral("XX")) + 8);
    connect(x, &QPushButton::clicked, c, &DBLookupComboBox::ClearKeyValue);
    grid->addWidget(new QLabel(label), row, 0);
    grid->addWidget(c, row, 1);
    grid->addWidget(x, row, 2);
    snapshotOrder_.push_back(c);
    return c;
}

void TFormFilter::NoIntervalToggled(bool on) {
    // Everything of the interval but the check box itself follows it.
    for (QWidget* w : intervalBox_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (qobject_cast<QCheckBox*>(w) == nullptr) w->setEnabled(!on);
}

void TFormFilter::ShowEventKind(EventKind kind) {
    if (point_ == nullptr) return;
    point_->setChecked(kind == EventKind::Point);
    incident_->setChecked(kind == EventKind::Incident);
    user_->setChecked(kind == EventKind::User);
    store::View* list = kind == EventKind::Incident ? &dm_.TablePrBook()
                        : kind == EventKind::User   ? &dm_.TableUsers()
                                                    : &dm_.TablePoints();
    if (event_->ListView() != list) event_->SetListView(list);
    complex_->setEnabled(kind == EventKind::User);
}

void TFormFilter::EventKindChosen(EventKind kind) {
    ShowEventKind(kind);
    event_->ClearKeyValue();
}

EventKind TFormFilter::ShownEventKind() const {
    if (incident_ != nullptr && incident_->isChecked()) return EventKind::Incident;
    if (user_ != nullptr && user_->isChecked()) return EventKind::User;
    return EventKind::Point;
}

void TFormFilter::Load() {
    const IntervalSettings& s = *record_.interval;
    noInterval_->setChecked(s.noInterval);
    NoIntervalToggled(s.noInterval);
    dateFrom_->setDate(DateOf(s.dateFrom));
    timeFrom_->setTime(TimeOf(s.timeFrom));
    dateTo_->setDate(DateOf(s.dateTo));
    timeTo_->setTime(TimeOf(s.timeTo));
    abs_->setChecked(s.kind == IntervalKind::Continuous);
    onDay_->setChecked(s.kind == IntervalKind::PerDay);
    if (record_.touch != nullptr) {
        ShowEventKind(record_.touch->eventKind);
        event_->SetKeyValue(KeyVariant(record_.touch->event));
        complex_->setChecked(record_.touch->complex);
    }
    if (registrar_ != nullptr) registrar_->SetKeyValue(KeyVariant(*record_.registrar));
    if (record_.round != nullptr) {
        collector_->SetKeyValue(KeyVariant(record_.round->collector));
        guard_->SetKeyValue(KeyVariant(record_.round->guard));
        path_->SetKeyValue(record_.round->path ? QVariant(*record_.round->path) : QVariant());
    }
}

IntervalSettings TFormFilter::ShownInterval() const {
    IntervalSettings s;
    s.noInterval = noInterval_->isChecked();
    s.dateFrom = DaysOf(dateFrom_->date());
    s.timeFrom = FractionOf(timeFrom_->time());
    s.dateTo = DaysOf(dateTo_->date());
    s.timeTo = FractionOf(timeTo_->time());
    s.kind = onDay_->isChecked() ? IntervalKind::PerDay : IntervalKind::Continuous;
    return s;
}

void TFormFilter::Store() {
    *record_.interval = ShownInterval();
    if (registrar_ != nullptr) *record_.registrar = KeyOf(registrar_->KeyValue());
    if (record_.round != nullptr) {
        record_.round->collector = KeyOf(collector_->KeyValue());
        record_.round->guard = KeyOf(guard_->KeyValue());
        record_.round->path = PathOf(path_->KeyValue());
    }
    if (record_.touch != nullptr) {
        record_.touch->eventKind = ShownEventKind();
        record_.touch->event = KeyOf(event_->KeyValue());
        record_.touch->complex = complex_->isChecked();
    }
}

int TFormFilter::Snapshot(Buffer& buffer) const {
    int i = 0;
    for (QWidget* w : snapshotOrder_) {
        QVariant& slot = buffer[static_cast<size_t>(i++)];
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            slot = b->isChecked();
        else if (auto* c = qobject_cast<DBLookupComboBox*>(w))
            slot = c->KeyValue();
        else if (auto* d = qobject_cast<QDateTimeEdit*>(w))
            slot = d->dateTime();
    }
    return i;
}

void TFormFilter::Restore(const Buffer& buffer) {
    int i = 0;
    for (QWidget* w : snapshotOrder_) {
        const QVariant& slot = buffer[static_cast<size_t>(i++)];
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            b->setChecked(slot.toBool());
            // The event list follows its kind before the event is put back.
            if (b == point_ || b == incident_ || b == user_) {
                if (slot.toBool()) ShowEventKind(ShownEventKind());
            }
        } else if (auto* c = qobject_cast<DBLookupComboBox*>(w)) {
            c->SetKeyValue(slot);
        } else if (auto* d = qobject_cast<QDateTimeEdit*>(w)) {
            d->setDateTime(slot.toDateTime());
        }
    }
    NoIntervalToggled(noInterval_->isChecked());
}

void TFormFilter::FillQuick(Quick which) {
    const QDate today = dm_.Clock().Now().date();
    QDate from = today;
    QDate to = today;
    switch (which) {
        case Quick::Today:
            break;
        case Quick::Yesterday:
            from = to = today.addDays(-1);
            break;
        case Quick::Week:
            from = today.addDays(-6);
            break;
        case Quick::Month:
            from = today.addMonths(-1).addDays(1);
            break;
    }
    dateFrom_->setDate(from);
    dateTo_->setDate(to);
    timeFrom_->setTime(QTime(0, 0));
    timeTo_->setTime(TimeOf(filters::EndOfDayTime));
}

QString TFormFilter::Summary() {
    Load();
    QStringList lines;
    const IntervalSettings s = ShownInterval();
    if (s.noInterval) {
        lines << QStringLiteral("Интервал: не учитывается");
    } else {
        lines << QStringLiteral("Интервал (%1): с %2 %3 по %4 %5")
                     .arg(filters::IntervalKindCaption(s), dateFrom_->text(), timeFrom_->text(),
                          dateTo_->text(), timeTo_->text());
    }
    auto chosen = [&lines](const QString& label, DBLookupComboBox* c) {
        if (c != nullptr && c->currentIndex() >= 0)
            lines << QStringLiteral("%1: %2").arg(label, c->currentText());
    };
    if (event_ != nullptr && event_->currentIndex() >= 0) {
        const bool complexOn = complex_->isEnabled() && complex_->isChecked();
        lines << QStringLiteral("Событие: %1 (%2)")
                     .arg(event_->currentText(),
                          complexOn ? filters::text::ComplexEvent : filters::text::PlainEvent);
    }
    chosen(QStringLiteral("Kordex"), collector_);
    chosen(QStringLiteral("Регистратор"), registrar_);
    chosen(QStringLiteral("Охранник"), guard_);
    chosen(QStringLiteral("Маршрут"), path_);
    return lines.join(QLatin1Char('\n'));
}

void TFormFilter::accept() {
    if (!filters::IntervalAccepted(ShownInterval())) {
        prompt_.Ask(shell::CaptionError, filters::text::BadInterval, shell::Icon::Error,
                    shell::Buttons::Ok);
        return;
    }
    QDialog::accept();
}

void TFormFilter::ShowHelp() {
    // A window of the dialog's own, so that it answers while the dialog is up.
    if (help_ == nullptr) help_ = new HelpWindow(this);
    help_->ShowTopic(topic_);
}

void TFormFilter::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_F1 && e->modifiers() == Qt::NoModifier) {
        ShowHelp();
        return;
    }
    QDialog::keyPressEvent(e);
}

// --- The five dialogs

TFormFilterPrEvs::TFormFilterPrEvs(store::TDM& dm, shell::Prompt& prompt,
                                   filters::ProgramEventFilterSettings& settings, QWidget* parent)
    : TFormFilter(dm, prompt, {&settings.interval, &settings.registrar, nullptr, nullptr}, 171,
                  parent) {
    setObjectName(QStringLiteral("FormFilterPrEvs"));
}

TFormFilterKDEvs::TFormFilterKDEvs(store::TDM& dm, shell::Prompt& prompt,
                                   filters::RoundFilterSettings& settings, QWidget* parent)
    : TFormFilter(dm, prompt, {&settings.interval, &settings.registrar, &settings, nullptr}, 172,
                  parent) {
    setObjectName(QStringLiteral("FormFilterKDEvs"));
}

TFormFilterKDDEvs::TFormFilterKDDEvs(store::TDM& dm, shell::Prompt& prompt,
                                     filters::TouchFilterSettings& settings, QWidget* parent)
    : TFormFilter(dm, prompt, {&settings.interval, &settings.registrar, &settings, &settings}, 173,
                  parent) {
    setObjectName(QStringLiteral("FormFilterKDDEvs"));
}

}  // namespace kordex::app
