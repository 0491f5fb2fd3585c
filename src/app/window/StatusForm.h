#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

#include "shell/Prompt.h"
#include "shell/StatusWindow.h"

class QKeyEvent;
class QLabel;
class QProgressBar;

namespace kordex::app {

// What the operator sees when a long operation is stopped by a key press.
inline const QString MsgInterrupted = QStringLiteral("Прервано пользователем !");

// The one status window of the program ("FormStatus"): caption, "Ждите", the
// status line and the gauge. Long operations show it, pump events between
// their steps and stop when it no longer shows; the operator closes it with
// any key (FormKeyPress) or by closing the window.
class TFormStatus : public QDialog, public shell::StatusWindow {
    Q_OBJECT

public:
    explicit TFormStatus(shell::Prompt& prompt, QWidget* parent = nullptr);

    // --- The status window of the long operations
    void Show(const QString& caption, const QString& text, int maximum) override;
    void SetText(const QString& text) override;
    QString Text() const override;
    void Step(int by = 1) override;
    void SetPosition(int position) override;
    int Position() const override;
    int Maximum() const override;
    void Pump() override;
    bool IsShowing() const override;
    void Close() override;

    // The operator's key: unless the archive is inside a ZIP operation or a
    // report is being previewed, cancels a print job in progress, shows
    // "Прервано пользователем !" and closes the window. Does nothing while the
    // window does not show. The archive commands call it for a cancellation
    // raised inside the ZIP calls, so that the operator sees the same message.
    void FormKeyPress();

    // Set by the archive: true while it is inside a ZIP operation.
    std::function<bool()> zipBusy;
    // Set by the reports: the tag of the data set of the report being
    // produced (0 preview, 1 printing); nothing while no report is produced.
    std::function<std::optional<int>()> reportInProduction;
    // Set by the reports: stops the print job that is being printed.
    std::function<void()> cancelPrintJob;

    QLabel* LabelStatus() const { return labelStatus_; }
    QProgressBar* ProgressBar() const { return progressBar_; }

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void Centre();

    shell::Prompt& prompt_;
    QLabel* labelWait_ = nullptr;
    QLabel* labelStatus_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    int maximum_ = 10;
    bool handling_ = false;  // the message of a key press is up
    // Where the operator was when the window came up: given back when it goes.
    QPointer<QWidget> returnWindow_;
    QPointer<QWidget> returnFocus_;
};

}  // namespace kordex::app
