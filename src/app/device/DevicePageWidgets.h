#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "collector/Pages.h"
#include "widgets/GridLook.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QHBoxLayout;

namespace kordex::store {
class Rules;
class TDM;
class View;
}  // namespace kordex::store

namespace kordex::widgets {
class DBEdit;
class DBGrid;
class DBLookupComboBox;
class DBRadioGroup;
}  // namespace kordex::widgets

namespace kordex::app {

// The texts of the path modes, by mode.
const QStringList& PathModeItems();

// The header of a round and its totals, read-only over a rounds view: when it
// was registered, by which collector, registrar and guard, on which path, the
// memo, and how many points were checked of how many, incidents, unnecessary
// touches and the duration. Unbound it shows nothing.
class RoundHeader : public QWidget {
    Q_OBJECT
public:
    // dateRegCaption: the caption of the registration stamp.
    explicit RoundHeader(const QString& dateRegCaption = QStringLiteral("Регистрация:"),
                         QWidget* parent = nullptr);
    void Bind(store::View* rounds);
    // The row of the totals: room beside them for what a page adds.
    QHBoxLayout* TotalsRow() const { return totalsRow_; }

private:
    QHBoxLayout* totalsRow_ = nullptr;
    std::vector<widgets::DBEdit*> edits_;
};

// The read page ("TabSheetRead"): the read's options, the round just read or
// shown with its touches and missed points. Detached it shows no round, and
// its missed-point grid is disabled.
class ReadPage : public QWidget {
    Q_OBJECT
public:
    ReadPage(store::TDM& dm, QWidget* parent = nullptr);

    collector::ReadOptions Options() const;
    void SetOptions(const collector::ReadOptions& options);

    void Attach();
    void Detach();
    bool Attached() const { return attached_; }

    widgets::DBGrid* TouchGrid() const { return touches_; }
    widgets::DBGrid* MissedGrid() const { return missed_; }
    RoundHeader* Header() const { return header_; }
    QCheckBox* CheckBoxAutoKDAdd() const { return autoKD_; }
    QCheckBox* CheckBoxAutoRegAdd() const { return autoReg_; }
    QCheckBox* CheckBoxAutoGuardAdd() const { return autoGuard_; }
    QCheckBox* CheckBoxAutoPAdd() const { return autoP_; }
    QCheckBox* CheckBoxOver() const { return over_; }

    // The grids are made anew at every attach and detach; whoever wires the
    // grids (tags, key handling) hears of it.
    std::function<void(widgets::DBGrid*)> gridMade;

    // The look of the touch grid ("DBGridKDREvents") or of the missed points
    // ("DBGridKDLEvents"). It outlives the grids: a detached page keeps the
    // look its grids had, and the next grids take it.
    widgets::GridLook Look(const QString& gridName) const;
    void SetLook(const QString& gridName, const widgets::GridLook& look);

private:
    // DBRadioGroupModeReadChange: the mode group shows only while the round has a mode.
    void ModeChanged();
    void PlaceGrids(bool bound);

    store::TDM& dm_;
    bool attached_ = false;
    std::map<QString, widgets::GridLook> looks_;
    RoundHeader* header_ = nullptr;
    widgets::DBRadioGroup* mode_ = nullptr;
    QHBoxLayout* grids_ = nullptr;
    widgets::DBGrid* touches_ = nullptr;
    widgets::DBGrid* missed_ = nullptr;
    QCheckBox* autoKD_ = nullptr;
    QCheckBox* autoReg_ = nullptr;
    QCheckBox* autoGuard_ = nullptr;
    QCheckBox* autoP_ = nullptr;
    QCheckBox* over_ = nullptr;
};

// The write page ("TabSheetWrite"): the registrar logged in, the guard and the
// path to write, the path mode (shown only with a path), a memo of at most 32
// characters and the minimal interval between like touches.
class WritePage : public QWidget {
    Q_OBJECT
public:
    static constexpr int MemoLength = 32;

    WritePage(store::TDM& dm, store::Rules& rules, QWidget* parent = nullptr);
    ~WritePage() override;

    collector::WriteChoices Choices() const;
    void Fill(const QVariant& guardKey, const QVariant& pathId, int mode, const QString& memo);
    // The interval list's item index; -1 clears the selection.
    void SetInterval(int index);
    int Interval() const;
    void SetPathMode(int mode);
    int PathMode() const;
    void ClearPath();
    void FocusGuard();
    // Focuses the memo with `length` characters from `position` selected.
    void SelectMemo(qsizetype position, qsizetype length);
    QPlainTextEdit* MemoEdit() const { return memo_; }

    // DBLookupComboBoxPathWriteClick: the mode group shows only with a path.
    void PathChanged();

    widgets::DBLookupComboBox* GuardChoice() const { return guard_; }
    widgets::DBLookupComboBox* PathChoice() const { return path_; }
    QGroupBox* GroupBoxPathMode() const { return modeBox_; }

private:
    void CutMemo();

    store::Rules& rules_;
    widgets::DBEdit* registrar_ = nullptr;
    widgets::DBLookupComboBox* guard_ = nullptr;
    widgets::DBLookupComboBox* path_ = nullptr;
    QPushButton* clearPath_ = nullptr;
    QGroupBox* modeBox_ = nullptr;
    std::vector<QRadioButton*> modes_;
    QPlainTextEdit* memo_ = nullptr;
    QComboBox* interval_ = nullptr;
};

}  // namespace kordex::app
