#pragma once

#include <QString>
#include <QVariant>
#include <optional>
#include <utility>

namespace kordex::store {
class View;
}  // namespace kordex::store

namespace kordex::collector {

// The read page's options.
struct ReadOptions {
    bool autoRegAdd = true;    // "регистратора"
    bool autoKDAdd = true;     // "Kordex'а"
    bool autoGuardAdd = true;  // "охранника"
    bool autoPAdd = true;      // "контр. точек"
    bool checkOver = true;     // "Учитывать признак переполнения"
};

// The write page's choices.
struct WriteChoices {
    QString guardKey;           // empty: no guard chosen
    std::optional<int> pathId;  // empty: no path chosen (the mode choice is then hidden)
    int mode = 0;               // path-mode choice 0..2
    QString memo;               // at most 32 characters
    int interval = 10;          // 0..255 seconds
};

// What reading and writing ask of the device pages and the window around
// them. The main window implements it; tests and the command line keep the
// values in memory.
class DevicePages {
public:
    virtual ~DevicePages() = default;

    // The page-leave check: posts pending edits and, for a round just read,
    // asks whether to keep it. False: the command must not go on.
    virtual bool PageLeaveCheck() = 0;
    // Shows the device page with its read or write page (and runs the page change).
    virtual void ShowReadPage() = 0;
    virtual void ShowWritePage() = 0;

    virtual ReadOptions ReadPageOptions() = 0;
    // The read page's controls show the round of the round views, or nothing.
    virtual void AttachReadPage() = 0;
    virtual void DetachReadPage() = 0;

    virtual WriteChoices WritePageChoices() = 0;
    // Fills the write page from a round just read (path and guard may be empty).
    virtual void FillWritePage(const QVariant& guardKey, const QVariant& pathId, int mode,
                               const QString& memo) = 0;
    virtual void SetWriteInterval(int seconds) = 0;
    virtual void ClearWritePath() = 0;
    virtual void FocusGuardChoice() = 0;
    // Puts the focus on the memo with `length` characters from `position` selected.
    virtual void FocusMemo(qsizetype position, qsizetype length) = 0;

    // The registration-time dialog over the restricted and positioned journal
    // view: the chosen entry's Date, or nothing on Cancel.
    virtual std::optional<double> ChooseRegistrationTime(store::View& entries) = 0;
};

// Device pages without a screen: the values as set, and counts of what was asked.
class PlainPages : public DevicePages {
public:
    bool PageLeaveCheck() override { return leaveAllowed; }
    void ShowReadPage() override { ++readPageShown; }
    void ShowWritePage() override { ++writePageShown; }
    ReadOptions ReadPageOptions() override { return options; }
    void AttachReadPage() override { attached = true; }
    void DetachReadPage() override { attached = false; }
    WriteChoices WritePageChoices() override { return choices; }
    void FillWritePage(const QVariant& guardKey, const QVariant& pathId, int mode,
                       const QString& memo) override {
        choices.guardKey = guardKey.toString();
        choices.pathId = pathId.isNull() || !pathId.isValid() ? std::nullopt
                                                              : std::optional<int>(pathId.toInt());
        choices.mode = mode;
        choices.memo = memo;
    }
    void SetWriteInterval(int seconds) override { choices.interval = seconds; }
    void ClearWritePath() override { choices.pathId.reset(); }
    void FocusGuardChoice() override { ++guardFocused; }
    void FocusMemo(qsizetype position, qsizetype length) override {
        memoSelection = {position, length};
    }
    std::optional<double> ChooseRegistrationTime(store::View& entries) override;

    bool leaveAllowed = true;
    ReadOptions options;
    WriteChoices choices;
    bool attached = false;
    int readPageShown = 0, writePageShown = 0, guardFocused = 0;
    std::optional<std::pair<qsizetype, qsizetype>> memoSelection;  // where the memo was focused
    // What the registration-time dialog answers: the entry it stands on, or Cancel.
    bool chooseRegistrationTime = true;
};

}  // namespace kordex::collector
