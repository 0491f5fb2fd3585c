#pragma once

#include <QDialog>
#include <QLabel>
#include <QString>
#include <array>
#include <functional>
#include <vector>

#include "filters/Settings.h"
#include "store/DataModule.h"

class QCheckBox;
class QDateEdit;
class QGridLayout;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace kordex::shell {
class Prompt;
}  // namespace kordex::shell

namespace kordex::widgets {
class DBLookupComboBox;
}  // namespace kordex::widgets

namespace kordex::app {

class HelpWindow;

inline const QString FilterIndicatorText = QStringLiteral("Включен фильтр");

// The strip at the top of a filterable page that shows while the page's
// filter is on: "Включен фильтр" in bold green over a navy shadow. Its tool
// tip names the settings in force, asked for when the tip is about to show.
class FilterIndicator : public QLabel {
    Q_OBJECT

public:
    static constexpr int StripHeight = 18;
    static constexpr int FontPixels = 15;

    explicit FilterIndicator(QWidget* parent = nullptr);
    std::function<QString()> describe;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
};

// One filter dialog ("Установка фильтра"): the interval block, and as the
// page needs the registrar, the round's collector, guard and path, and the
// touch's event. The dialog is made once and lives as long as the program.
//
// Its controls hold the page's settings as last accepted: they are loaded
// from the page's record when the dialog is made, OK (with an accepted
// interval) writes them into the record, and Cancel leaves the record alone
// and puts the controls back from the snapshot taken before the dialog
// showed. A chosen key that leaves its list leaves the list control and the
// record alike.
class TFormFilter : public QDialog {
    Q_OBJECT

public:
    static constexpr int MaxSnapshotValues = 16;
    using Buffer = std::array<QVariant, store::TDM::BufferSize>;

    // Controls from the settings record.
    void Load();
    // Settings record from the controls.
    void Store();
    // The controls' values into the buffer in the order the controls were
    // made (checked flag, date or time, selected key), and back.
    int Snapshot(Buffer& buffer) const;
    void Restore(const Buffer& buffer);

    // The interval block as the controls show it.
    filters::IntervalSettings ShownInterval() const;
    // The settings in force, one line each, with the names of what is chosen.
    QString Summary();
    int HelpTopic() const { return topic_; }

    // Runs the dialog modally and gives its result; QDialog::exec unless
    // replaced (tests play the operator there).
    std::function<int(TFormFilter&)> exec;

    // The quick interval buttons: the whole of today, of yesterday, of the
    // last seven days, of the month up to today.
    enum class Quick { Today, Yesterday, Week, Month };
    void FillQuick(Quick which);

    // The help window of the dialog's topic, once F1 was pressed; null before.
    HelpWindow* Help() const { return help_; }
    void ShowHelp();

    // OK: refuses a bad interval with "Неверно задан интервал !" and stays open.
    void accept() override;

protected:
    // What the dialog holds beyond the interval block; null where it does not.
    struct Record {
        filters::IntervalSettings* interval = nullptr;
        filters::KeyChoice* registrar = nullptr;
        filters::RoundFilterSettings* round = nullptr;
        filters::TouchFilterSettings* touch = nullptr;
    };
    TFormFilter(store::TDM& dm, shell::Prompt& prompt, Record record, int topic, QWidget* parent);
    void keyPressEvent(QKeyEvent* e) override;

private:
    void Build();
    QGroupBox* BuildInterval();
    QGroupBox* BuildEvent();
    // A list of keys with its label and clear button, into the grid.
    widgets::DBLookupComboBox* AddChoice(QGridLayout* grid, const QString& label, const char* combo,
                                         const char* clear, store::View& list,
                                         const QString& keyField = QStringLiteral("Key"));
    void NoIntervalToggled(bool on);
    void EventKindChosen(filters::EventKind kind);
    filters::EventKind ShownEventKind() const;
    void ShowEventKind(filters::EventKind kind);

    store::TDM& dm_;
    shell::Prompt& prompt_;
    Record record_;
    int topic_;
    HelpWindow* help_ = nullptr;

    QGroupBox* intervalBox_ = nullptr;
    QCheckBox* noInterval_ = nullptr;
    QDateEdit* dateFrom_ = nullptr;
    QTimeEdit* timeFrom_ = nullptr;
    QDateEdit* dateTo_ = nullptr;
    QTimeEdit* timeTo_ = nullptr;
    QRadioButton* abs_ = nullptr;
    QRadioButton* onDay_ = nullptr;
    QRadioButton* point_ = nullptr;
    QRadioButton* incident_ = nullptr;
    QRadioButton* user_ = nullptr;
    widgets::DBLookupComboBox* event_ = nullptr;
    QCheckBox* complex_ = nullptr;
    widgets::DBLookupComboBox* collector_ = nullptr;
    widgets::DBLookupComboBox* registrar_ = nullptr;
    widgets::DBLookupComboBox* guard_ = nullptr;
    widgets::DBLookupComboBox* path_ = nullptr;
    // Every control the snapshot copies, in the order they were made.
    std::vector<QWidget*> snapshotOrder_;
};

// The program event journal: interval and registrar (topic 171).
class TFormFilterPrEvs : public TFormFilter {
    Q_OBJECT
public:
    TFormFilterPrEvs(store::TDM& dm, shell::Prompt& prompt,
                     filters::ProgramEventFilterSettings& settings, QWidget* parent = nullptr);
};

// Rounds: interval, collector, registrar, guard, path (topic 172).
class TFormFilterKDEvs : public TFormFilter {
    Q_OBJECT
public:
    TFormFilterKDEvs(store::TDM& dm, shell::Prompt& prompt, filters::RoundFilterSettings& settings,
                     QWidget* parent = nullptr);
};

// Archive rounds: the rounds dialog as it is.
class TFormFilterKDAEvs : public TFormFilterKDEvs {
    Q_OBJECT
public:
    using TFormFilterKDEvs::TFormFilterKDEvs;
};

// Touches by date and time: interval, event kind, event, complex, then what
// the rounds dialog holds (topic 173).
class TFormFilterKDDEvs : public TFormFilter {
    Q_OBJECT
public:
    TFormFilterKDDEvs(store::TDM& dm, shell::Prompt& prompt, filters::TouchFilterSettings& settings,
                      QWidget* parent = nullptr);
};

// Archive touches by date and time: the touch dialog as it is.
class TFormFilterKDDAEvs : public TFormFilterKDDEvs {
    Q_OBJECT
public:
    using TFormFilterKDDEvs::TFormFilterKDDEvs;
};

}  // namespace kordex::app
