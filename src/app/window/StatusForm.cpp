#include "StatusForm.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/ScopeExit.h"

namespace kordex::app {

namespace {

// The keys that stop an operation: those that type a character, as Escape,
// Enter, Tab and Backspace do. A modifier, a function or a cursor key alone
// (Alt on the way to another window) is swallowed and does nothing.
bool TypesCharacter(const QKeyEvent& e) {
    switch (e.key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Backspace:
            return true;
        default:
            return !e.text().isEmpty();
    }
}

}  // namespace

TFormStatus::TFormStatus(shell::Prompt& prompt, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      prompt_(prompt) {
    setObjectName(QStringLiteral("FormStatus"));
    // Shown, the window does not hold up the operation that shows it, but it
    // takes the input of every other window of the program: while an
    // operation runs nothing else can be started.
    setWindowModality(Qt::ApplicationModal);
    setFocusPolicy(Qt::StrongFocus);

    QFont bold = font();
    bold.setBold(true);

    labelWait_ = new QLabel(QStringLiteral("Ждите"), this);
    labelWait_->setObjectName(QStringLiteral("LabelWait"));
    labelStatus_ = new QLabel(this);
    labelStatus_->setObjectName(QStringLiteral("LabelStatus"));
    for (QLabel* l : {labelWait_, labelStatus_}) {
        l->setFont(bold);
        l->setAlignment(Qt::AlignCenter);
    }
    // Wide enough for the longest status line of the operations.
    labelStatus_->setMinimumWidth(QFontMetrics(bold).averageCharWidth() * 56);

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("ProgressBar"));
    progressBar_->setOrientation(Qt::Horizontal);
    progressBar_->setTextVisible(true);
    progressBar_->setFormat(QStringLiteral("%p%"));
    progressBar_->setAlignment(Qt::AlignCenter);
    progressBar_->setFont(bold);
    progressBar_->setRange(0, 10);
    progressBar_->setValue(0);
    progressBar_->setFocusPolicy(Qt::NoFocus);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(labelWait_);
    layout->addWidget(labelStatus_);
    layout->addWidget(progressBar_);
    // A dialog border: the operator cannot resize it.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFormStatus::Show(const QString& caption, const QString& text, int maximum) {
    setWindowTitle(caption);
    labelStatus_->setText(text);
    // The gauge starts empty; a maximum of 0 still draws an empty bar, not a
    // busy indicator.
    maximum_ = std::max(maximum, 0);
    progressBar_->setRange(0, std::max(maximum_, 1));
    progressBar_->setValue(0);
    adjustSize();
    Centre();
    if (!isVisible()) {
        // Just after a dialog closed no window may be active yet: then the
        // window this one belongs to, and the control it had in focus.
        returnWindow_ = QApplication::activeWindow();
        if (returnWindow_ == nullptr && parentWidget() != nullptr)
            returnWindow_ = parentWidget()->window();
        returnFocus_ = QApplication::focusWidget();
        if (returnFocus_ == nullptr && returnWindow_ != nullptr)
            returnFocus_ = returnWindow_->focusWidget();
    }
    show();
    activateWindow();
    repaint();
}

void TFormStatus::Centre() {
    QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (s == nullptr) return;
    QRect frame = frameGeometry();
    frame.moveCenter(s->availableGeometry().center());
    move(frame.topLeft());
}

void TFormStatus::SetText(const QString& text) {
    labelStatus_->setText(text);
}

QString TFormStatus::Text() const {
    return labelStatus_->text();
}

int TFormStatus::Maximum() const {
    return maximum_;
}

int TFormStatus::Position() const {
    return progressBar_->value();
}

// The gauge stays within 0..maximum.
void TFormStatus::SetPosition(int position) {
    progressBar_->setValue(std::clamp(position, 0, maximum_));
}

void TFormStatus::Step(int by) {
    SetPosition(Position() + by);
}

void TFormStatus::Pump() {
    QCoreApplication::processEvents();
}

bool TFormStatus::IsShowing() const {
    return isVisible();
}

void TFormStatus::Close() {
    if (!isVisible()) return;
    hide();
    // The window and the control the operator was in take the focus back, so
    // the commands that follow the focused grid are there again at once.
    if (returnWindow_ != nullptr && returnWindow_->isVisible()) {
        returnWindow_->activateWindow();
        QApplication::setActiveWindow(returnWindow_);
        if (returnFocus_ != nullptr && returnFocus_->window() == returnWindow_.data() &&
            returnFocus_->isVisible())
            returnFocus_->setFocus(Qt::ActiveWindowFocusReason);
    }
    returnWindow_ = nullptr;
    returnFocus_ = nullptr;
}

// Keys never reach the shortcuts of other windows while the status window has
// the focus: every one of them is the status window's.
bool TFormStatus::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride) {
        e->accept();
        return true;
    }
    return QDialog::event(e);
}

// Every key is consumed here; the dialog's own Escape (a silent reject) and
// default button never see one.
void TFormStatus::keyPressEvent(QKeyEvent* e) {
    e->accept();
    if (TypesCharacter(*e)) FormKeyPress();
}

void TFormStatus::FormKeyPress() {
    if (handling_ || !isVisible()) return;
    if (zipBusy && zipBusy()) return;
    if (reportInProduction) {
        const std::optional<int> tag = reportInProduction();
        if (tag && *tag == 0) return;
        if (tag && *tag == 1 && cancelPrintJob) cancelPrintJob();
    }
    {
        // A second key while the message is up is not a second cancellation.
        handling_ = true;
        shell::Finally done([this] { handling_ = false; });
        prompt_.Ask(shell::CaptionMessage, MsgInterrupted, shell::Icon::Information,
                    shell::Buttons::Ok);
    }
    Close();
}

}  // namespace kordex::app
