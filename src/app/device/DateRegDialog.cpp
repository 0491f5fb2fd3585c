#include "DateRegDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/Prompt.h"
#include "store/View.h"
#include "widgets/GridModel.h"

using namespace kordex::widgets;

namespace kordex::app {

namespace {

const QString StampFormat = QStringLiteral("dd.mm.yyyy hh:mm:ss");

}  // namespace

TFormGetDateReg::TFormGetDateReg(store::View& entries, shell::Prompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt) {
    setObjectName(QStringLiteral("FormGetDateReg"));
    setWindowTitle(QStringLiteral("Выбор даты и времени регистрации"));

    auto* labelDate = new QLabel(QStringLiteral("Дата и время"), this);
    labelDate->setObjectName(QStringLiteral("LabelDateReg"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("DBLookupListBoxDateReg"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    labelDate->setBuddy(list_);

    auto* labelReg = new QLabel(QStringLiteral("Регистратор"), this);
    labelReg->setObjectName(QStringLiteral("LabelReg"));
    editReg_ = new QLineEdit(this);
    editReg_->setObjectName(QStringLiteral("DBEditReg"));
    editReg_->setReadOnly(true);
    editReg_->setFocusPolicy(Qt::NoFocus);
    editReg_->setMinimumWidth(fontMetrics().averageCharWidth() * 36);

    // The entries with their date and time as the journal shows them.
    const int dateAt = entries.FieldIndex(QStringLiteral("Date"));
    const int regAt = entries.FieldIndex(QStringLiteral("LReg"));
    const store::Field* dateField = entries.FindField(QStringLiteral("Date"));
    const QString format = dateField != nullptr && !dateField->displayFormat.isEmpty()
                               ? dateField->displayFormat
                               : StampFormat;
    for (int i = 0; i < entries.RecordCount(); ++i) {
        const std::vector<QVariant> row = entries.RowAt(i);
        Entry e;
        if (dateAt >= 0 && dateAt < static_cast<int>(row.size())) e.date = row[dateAt].toDouble();
        if (regAt >= 0 && regAt < static_cast<int>(row.size())) e.registrar = row[regAt].toString();
        entries_.push_back(e);
        list_->addItem(FormatDateTime(e.date, format));
    }
    list_->setMinimumWidth(list_->fontMetrics().horizontalAdvance(FormatDateTime(0, format)) +
                           list_->fontMetrics().averageCharWidth() * 6);
    // The entry the caller stands on.
    if (entries.RecNo() > 0 && entries.RecNo() <= list_->count())
        list_->setCurrentRow(entries.RecNo() - 1);

    buttonOK_ = new QPushButton(QStringLiteral("&OK"), this);
    buttonOK_->setObjectName(QStringLiteral("ButtonOK"));
    buttonOK_->setDefault(true);
    buttonCancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    buttonCancel_->setObjectName(QStringLiteral("ButtonCancel"));

    auto* grid = new QGridLayout;
    grid->addWidget(labelDate, 0, 0);
    grid->addWidget(list_, 1, 0);
    grid->addWidget(labelReg, 0, 1);
    grid->addWidget(editReg_, 1, 1, Qt::AlignTop);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(buttonOK_);
    buttons->addWidget(buttonCancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(list_, &QListWidget::itemSelectionChanged, this, &TFormGetDateReg::ShowRegistrar);
    connect(list_, &QListWidget::itemDoubleClicked, this, &TFormGetDateReg::ButtonOKClick);
    connect(buttonOK_, &QPushButton::clicked, this, &TFormGetDateReg::ButtonOKClick);
    connect(buttonCancel_, &QPushButton::clicked, this, &QDialog::reject);
    ShowRegistrar();
}

std::optional<double> TFormGetDateReg::Date() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return std::nullopt;
    const int row = list_->row(selected.front());
    if (row < 0 || row >= static_cast<int>(entries_.size())) return std::nullopt;
    return entries_[static_cast<size_t>(row)].date;
}

void TFormGetDateReg::ShowRegistrar() {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    const int row = selected.isEmpty() ? -1 : list_->row(selected.front());
    editReg_->setText(row >= 0 && row < static_cast<int>(entries_.size())
                          ? entries_[static_cast<size_t>(row)].registrar
                          : QString());
}

void TFormGetDateReg::ButtonOKClick() {
    if (Date()) {
        accept();
        return;
    }
    prompt_.Ask(shell::CaptionError, MsgNoDateRegChosen, shell::Icon::Warning, shell::Buttons::Ok);
    list_->setFocus();
}

std::optional<double> ChooseRegistrationTime(store::View& entries, shell::Prompt& prompt,
                                             QWidget* parent) {
    TFormGetDateReg dialog(entries, prompt, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Date();
}

}  // namespace kordex::app
