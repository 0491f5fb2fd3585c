#include "KeyDialogs.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "link/ReaderLink.h"
#include "shell/Prompt.h"

namespace kordex::app {

namespace {

const QString PageCancelLine1 = QStringLiteral("Автоматический ввод номера ключа невозможен из-за");
const QString PageCancelLine2 = QStringLiteral("отмены этой операции по желанию пользователя");
const QString NoConnection = QStringLiteral("отсутствия связи с устройством");

// Eight pairs separated by spaces; a blank shows as "_".
const QString KeyMask = QStringLiteral("nn nn nn nn nn nn nn nn;_");
constexpr int CommentLength = 50;

// A column of labels, one a line.
QWidget* Lines(const QStringList& lines, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const QString& line : lines)
        layout->addWidget(new QLabel(line, box));
    layout->addStretch();
    return box;
}

// A page of NotebookInfo: its lines, centred.
QWidget* InfoPage(const QString& name, const QStringList& lines, QWidget* parent) {
    QWidget* page = Lines(lines, parent);
    page->setObjectName(name);
    for (QLabel* l : page->findChildren<QLabel*>())
        l->setAlignment(Qt::AlignHCenter);
    return page;
}

}  // namespace

// --- the key tablet -----------------------------------------------------------

KeyTabletPicture::KeyTabletPicture(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ImageKey"));
    setFixedSize(sizeHint());
}

QSize KeyTabletPicture::sizeHint() const {
    return {132, 132};
}

void KeyTabletPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(rect()).adjusted(4, 4, -4, -4);

    // The steel can: a rim and a lighter face.
    QRadialGradient steel(outer.center() - QPointF(18, 18), outer.width() * 0.75);
    steel.setColorAt(0.0, QColor(236, 238, 240));
    steel.setColorAt(1.0, QColor(150, 154, 160));
    p.setPen(QPen(QColor(90, 94, 100), 2));
    p.setBrush(steel);
    p.drawEllipse(outer);
    p.setPen(QPen(QColor(120, 124, 130), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(outer.adjusted(9, 9, -9, -9));

    // The engraved number: type, serial number, check sum.
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setBold(true);
    f.setPixelSize(11);
    p.setFont(f);
    p.setPen(QColor(40, 40, 48));
    const QFontMetricsF fm(f);
    const qreal line = fm.height() + 4;
    const QStringList rows = {QStringLiteral("01"), QStringLiteral("00 00 00"),
                              QStringLiteral("FB D8 B3"), QStringLiteral("E6")};
    qreal y = outer.center().y() - line * rows.size() / 2;
    for (const QString& row : rows) {
        p.drawText(QRectF(outer.left(), y, outer.width(), line), Qt::AlignCenter, row);
        y += line;
    }
}

// --- common to both dialogs ---------------------------------------------------

KeyCaptureDialog::KeyCaptureDialog(std::unique_ptr<collector::KeyCaptureLogic> logic,
                                   link::ReaderLink& link, shell::Prompt& prompt,
                                   const KeyDialogTexts& setup, const Texts& texts,
                                   bool usersPageCurrent, QWidget* parent)
    : QDialog(parent),
      logic_(std::move(logic)),
      link_(link),
      prompt_(prompt),
      usersPageCurrent_(usersPageCurrent) {
    setWindowTitle(setup.caption);
    logic_->SetKeyText(setup.key);
    logic_->SetComment(setup.comment);
    if (!setup.commentLabel.isEmpty()) logic_->SetCommentLabel(setup.commentLabel);

    // How to type the key, beside the picture of a key number.
    auto* instructions = new QFrame(this);
    instructions->setObjectName(QStringLiteral("PanelInstructions"));
    instructions->setFrameShape(QFrame::StyledPanel);
    auto* top = new QHBoxLayout(instructions);
    top->addWidget(Lines(texts.instructions, instructions), 1);
    if (texts.picture) top->addWidget(new KeyTabletPicture(instructions), 0, Qt::AlignTop);

    // What the automatic entry is doing.
    notebookInfo_ = new QStackedWidget(this);
    notebookInfo_->setObjectName(QStringLiteral("NotebookInfo"));
    notebookInfo_->setFrameShape(QFrame::StyledPanel);
    notebookInfo_->setFrameShadow(QFrame::Sunken);
    notebookInfo_->insertWidget(collector::PageAuto,
                                InfoPage(QStringLiteral("Auto"), texts.pageAuto, notebookInfo_));
    notebookInfo_->insertWidget(collector::PageError,
                                InfoPage(QStringLiteral("Error"), texts.pageError, notebookInfo_));
    notebookInfo_->insertWidget(
        collector::PageCancel,
        InfoPage(QStringLiteral("Cancel"), {PageCancelLine1, PageCancelLine2}, notebookInfo_));

    auto* labelKey = new QLabel(QStringLiteral("Номер ключа"), this);
    labelKey_ = labelKey;
    labelKey->setObjectName(QStringLiteral("LabelKey"));
    maskEditKey_ = new QLineEdit(this);
    maskEditKey_->setObjectName(QStringLiteral("MaskEditKey"));
    maskEditKey_->setInputMask(KeyMask);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(font().pointSize());
    maskEditKey_->setFont(fixed);
    maskEditKey_->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(26, u'_')));
    labelKey->setBuddy(maskEditKey_);

    labelComment_ = new QLabel(logic_->CommentLabel(), this);
    labelComment_->setObjectName(QStringLiteral("LabelComment"));
    editComment_ = new QLineEdit(this);
    editComment_->setObjectName(QStringLiteral("EditComment"));
    editComment_->setMaxLength(CommentLength);
    editComment_->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    labelComment_->setBuddy(editComment_);

    buttonOK_ = new QPushButton(QStringLiteral("&OK"), this);
    buttonOK_->setObjectName(QStringLiteral("ButtonOK"));
    buttonOK_->setDefault(true);
    buttonCancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    buttonCancel_->setObjectName(QStringLiteral("ButtonCancel"));

    auto* fields = new QGridLayout;
    fields->addWidget(labelKey, 0, 0);
    fields->addWidget(maskEditKey_, 0, 1, Qt::AlignLeft);
    fields->addWidget(labelComment_, 1, 0);
    fields->addWidget(editComment_, 1, 1);
    fields->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(buttonOK_);
    buttons->addWidget(buttonCancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(instructions);
    layout->addWidget(notebookInfo_);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    maskEditKey_->setText(logic_->KeyTextShown());
    editComment_->setText(logic_->Comment());

    connect(maskEditKey_, &QLineEdit::textEdited, this, [this] {
        logic_->SetKeyText(collector::KeyTextFromMask(maskEditKey_->displayText()));
    });
    connect(editComment_, &QLineEdit::textChanged, this,
            [this](const QString& text) { logic_->SetComment(text); });
    connect(buttonOK_, &QPushButton::clicked, this, &KeyCaptureDialog::ButtonOKClick);
    connect(buttonCancel_, &QPushButton::clicked, this, &KeyCaptureDialog::reject);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("TimerPoll"));
    timer_->setInterval(collector::KeyCaptureLogic::TimerIntervalMs);
    connect(timer_, &QTimer::timeout, this, &KeyCaptureDialog::TimerPollTimer);

    // Every key pressed in the dialog holds the polling off.
    for (QWidget* w : {static_cast<QWidget*>(maskEditKey_), static_cast<QWidget*>(editComment_),
                       static_cast<QWidget*>(buttonOK_), static_cast<QWidget*>(buttonCancel_)})
        w->installEventFilter(this);
}

KeyCaptureDialog::~KeyCaptureDialog() {
    StopPolling();
}

void KeyCaptureDialog::SetKeyLabel(const QString& text) {
    if (!text.isEmpty()) labelKey_->setText(text);
}

void KeyCaptureDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous()) return;  // back from minimised: still the same showing
    logic_->FormShow(link_);
    ShowState(true);
}

void KeyCaptureDialog::done(int r) {
    StopPolling();
    QDialog::done(r);
}

void KeyCaptureDialog::StopPolling() {
    logic_->FormClose(link_);
    timer_->stop();
}

void KeyCaptureDialog::TimerPollTimer() {
    logic_->TimerPollTimer(link_, prompt_);
    ShowState(false);
}

void KeyCaptureDialog::ButtonOKClick() {
    logic_->ButtonOKClick(link_, prompt_, usersPageCurrent_);
    if (logic_->Result() == collector::DialogResult::Ok) {
        ShowState(false);
        accept();
        return;
    }
    ShowState(true);
}

void KeyCaptureDialog::reject() {
    logic_->ButtonCancelClick(link_);
    ShowState(false);
    QDialog::reject();
}

void KeyCaptureDialog::ShowState(bool focus) {
    if (collector::KeyTextFromMask(maskEditKey_->displayText()) != logic_->KeyText())
        maskEditKey_->setText(logic_->KeyTextShown());
    notebookInfo_->setCurrentIndex(logic_->Page());
    if (logic_->TimerOn() && !timer_->isActive()) timer_->start();
    if (!logic_->TimerOn()) timer_->stop();
    if (!focus) return;
    switch (logic_->FocusTarget()) {
        case collector::Focus::MaskEditKey:
            maskEditKey_->setFocus();
            break;
        case collector::Focus::EditComment:
            editComment_->setFocus();
            break;
        case collector::Focus::None:
            break;
    }
}

bool KeyCaptureDialog::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (watched == maskEditKey_) return FilterKeyField(key);
        logic_->FormKeyPress();
    }
    return QDialog::eventFilter(watched, e);
}

bool KeyCaptureDialog::FilterKeyField(QKeyEvent* e) {
    if (resending_) return false;
    if (e->key() == Qt::Key_End && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        // End goes behind the last character typed, not behind the mask's
        // blanks, where nothing more could be typed.
        logic_->FormKeyPress();
        const QString shown = maskEditKey_->displayText();
        int end = static_cast<int>(shown.size());
        while (end > 0 && (shown[end - 1] == u'_' || shown[end - 1] == u' '))
            --end;
        if (e->modifiers() & Qt::ShiftModifier)
            maskEditKey_->cursorForward(true, end - maskEditKey_->cursorPosition());
        else
            maskEditKey_->setCursorPosition(end);
        return true;
    }
    const QString text = e->text();
    const bool typesCharacter = text.size() == 1 && text[0].isPrint() &&
                                !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (!typesCharacter) {
        logic_->FormKeyPress();
        return false;
    }
    const QChar taken = logic_->MaskEditKeyKeyPress(text[0]);
    if (taken.isNull()) return true;  // refused
    if (taken == text[0]) return false;
    // The character goes in as the logic turned it (upper case).
    QKeyEvent turned(e->type(), e->key(), e->modifiers(), QString(taken), e->isAutoRepeat(),
                     static_cast<ushort>(e->count()));
    resending_ = true;
    QCoreApplication::sendEvent(maskEditKey_, &turned);
    resending_ = false;
    return true;
}

void KeyCaptureDialog::keyPressEvent(QKeyEvent* e) {
    logic_->FormKeyPress();
    QDialog::keyPressEvent(e);
}

// --- the two dialogs ----------------------------------------------------------

TFormGetKey::TFormGetKey(link::ReaderLink& link, shell::Prompt& prompt, const KeyDialogTexts& setup,
                         bool usersPageCurrent, QWidget* parent)
    : KeyCaptureDialog(
          std::make_unique<collector::GetKeyLogic>(), link, prompt, setup,
          {{QStringLiteral("Для задания номера ключа наберите номер электронного"),
            QStringLiteral("идентификатора в последовательности:"), QStringLiteral("1. Тип"),
            QStringLiteral("2. Серийный номер"), QStringLiteral("3. Контрольная сумма"),
            QStringLiteral("Например, для номера на рисунке последовательность"),
            QStringLiteral("будет следующая: 01 00 00 00 FB D8 B3 E6")},
           {QStringLiteral("Для автоматического ввода номера ключа коснитесь"),
            QStringLiteral("ключом контактора TouchMemory")},
           {QStringLiteral("Автоматический ввод номера ключа невозможен из-за"), NoConnection},
           true},
          usersPageCurrent, parent) {
    setObjectName(QStringLiteral("FormGetKey"));
}

TFormGetIDKD::TFormGetIDKD(link::ReaderLink& link, shell::Prompt& prompt,
                           const KeyDialogTexts& setup, QWidget* parent)
    : KeyCaptureDialog(
          std::make_unique<collector::GetIDKDLogic>(), link, prompt, setup,
          {{QStringLiteral("Для задания ID Kordex'а наберите ID, указанный"),
            QStringLiteral("в документации к устройству")},
           {QStringLiteral("Для автоматического ввода ID Kordex'а поместите"),
            QStringLiteral("Kordex в устройство чтения")},
           {QStringLiteral("Автоматический ввод ID Kordex'а невозможен из-за"), NoConnection},
           false},
          false, parent) {
    setObjectName(QStringLiteral("FormGetIDKD"));
}

}  // namespace kordex::app
