#include "DevicePageWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "store/DataModule.h"
#include "store/PageColumns.h"
#include "store/Rules.h"
#include "widgets/DBGrid.h"
#include "widgets/DataWidgets.h"

using namespace kordex::widgets;

namespace kordex::app {

const QStringList& PathModeItems() {
    static const QStringList items = {QStringLiteral("Случайный"),
                                      QStringLiteral("Случайный с полным контролем"),
                                      QStringLiteral("В порядке маршрута обхода")};
    return items;
}

namespace {

QLabel* Caption(const QString& text) {
    auto* l = new QLabel(text);
    l->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    return l;
}

DBEdit* ReadOnlyEdit(const QString& field, int minChars = 0) {
    auto* e = new DBEdit;
    e->setObjectName(QStringLiteral("DBEdit") + field);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    e->setProperty("field", field);
    if (minChars > 0) e->setMinimumWidth(e->fontMetrics().averageCharWidth() * minChars + 8);
    return e;
}

QCheckBox* Option(const char* name, const QString& text, const QString& hint) {
    auto* b = new QCheckBox(text);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setStatusTip(hint);
    b->setChecked(true);
    return b;
}

}  // namespace

// --- RoundHeader

RoundHeader::RoundHeader(const QString& dateRegCaption, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    auto add = [&](const QString& caption, const QString& field, int row, int col) {
        DBEdit* e = ReadOnlyEdit(field);
        edits_.push_back(e);
        grid->addWidget(Caption(caption), row, col);
        grid->addWidget(e, row, col + 1);
        return e;
    };
    add(dateRegCaption, QStringLiteral("DateReg"), 0, 0);
    add(QStringLiteral("Kordex:"), QStringLiteral("LKD"), 0, 2);
    add(QStringLiteral("Регистратор:"), QStringLiteral("LRegister"), 1, 0);
    add(QStringLiteral("Охранник:"), QStringLiteral("LGuard"), 1, 2);
    add(QStringLiteral("Маршрут:"), QStringLiteral("LPath"), 2, 0);
    add(QStringLiteral("Доп. информация:"), QStringLiteral("Memo"), 2, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    column->addLayout(grid);

    // The totals in two rows behind their caption, on a panel of their own.
    auto* totals = new QFrame;
    totals->setObjectName(QStringLiteral("PanelTotals"));
    totals->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    totals->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* t = new QGridLayout(totals);
    t->setContentsMargins(4, 2, 4, 2);
    t->setHorizontalSpacing(4);
    t->setVerticalSpacing(2);
    t->addWidget(Caption(QStringLiteral("Итоги обхода:")), 0, 0);
    auto total = [&](const QString& caption, const QString& field, int chars, int row, int col) {
        t->addWidget(Caption(caption), row, col, Qt::AlignRight);
        DBEdit* e = ReadOnlyEdit(field);
        e->setAlignment(Qt::AlignRight);
        e->setFixedWidth(e->fontMetrics().horizontalAdvance(QLatin1Char('0')) * chars + 10);
        edits_.push_back(e);
        t->addWidget(e, row, col + 1);
    };
    total(QStringLiteral("Проверено точек:"), QStringLiteral("N"), 4, 0, 1);
    total(QStringLiteral("из"), QStringLiteral("FromN"), 4, 0, 3);
    total(QStringLiteral("Происшествий:"), QStringLiteral("Incidents"), 4, 0, 5);
    total(QStringLiteral("Лишних и вне маршрута:"), QStringLiteral("UnnecessaryN"), 4, 1, 1);
    total(QStringLiteral("Продолжительность:"), QStringLiteral("CDuration"), 6, 1, 5);
    totalsRow_ = new QHBoxLayout;
    totalsRow_->setSpacing(6);
    totalsRow_->addWidget(totals);
    totalsRow_->addStretch(1);
    column->addLayout(totalsRow_);
}

void RoundHeader::Bind(store::View* rounds) {
    for (DBEdit* e : edits_)
        e->Bind(rounds, e->property("field").toString());
}

// --- ReadPage

ReadPage::ReadPage(store::TDM& dm, QWidget* parent) : QWidget(parent), dm_(dm) {
    // Everything above the grids at its own height, close together: the
    // grids take what is left.
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(4, 2, 4, 2);
    page->setSpacing(2);

    auto* options = new QHBoxLayout;
    options->setSpacing(2);
    options->addWidget(Caption(QStringLiteral("Автодобавление неизвестных:")));
    autoKD_ =
        Option("CheckBoxAutoKDAdd", QStringLiteral("Kordex'а"),
               QStringLiteral("Автоматически добавлять неизвестный Kordex в список Kordex'ов"));
    autoReg_ = Option(
        "CheckBoxAutoRegAdd", QStringLiteral("регистратора"),
        QStringLiteral("Автоматически добавлять неизвестного регистратора в список пользователей"));
    autoGuard_ = Option(
        "CheckBoxAutoGuardAdd", QStringLiteral("охранника"),
        QStringLiteral("Автоматически добавлять неизвестного охранника в список пользователей"));
    autoP_ = Option("CheckBoxAutoPAdd", QStringLiteral("контр. точек"),
                    QStringLiteral("Автоматически добавлять неизвестные контрольные точки в "
                                   "список контрольных точек"));
    over_ = Option("CheckBoxOver", QStringLiteral("Учитывать признак переполнения"),
                   QStringLiteral("При обработке событий учитывать признак переполнения данных"));
    for (QCheckBox* b : {autoKD_, autoReg_, autoGuard_, autoP_})
        options->addWidget(b);
    options->addStretch(1);
    page->addLayout(options);
    auto* overRow = new QHBoxLayout;
    overRow->addWidget(over_);
    overRow->addStretch(1);
    page->addLayout(overRow);

    header_ = new RoundHeader;
    header_->setObjectName(QStringLiteral("PanelRoundRead"));
    mode_ = new DBRadioGroup(QStringLiteral("Режим обхода контрольных точек"));
    mode_->setObjectName(QStringLiteral("DBRadioGroupModeRead"));
    mode_->SetItems(PathModeItems());
    mode_->setEnabled(false);  // it shows the round's mode; the round is not edited here
    // One row of choices: the page is short at the window's design size.
    mode_->SetHorizontal();
    mode_->setFlat(true);
    page->addWidget(header_);
    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(mode_);
    modeRow->addStretch(1);
    page->addLayout(modeRow);

    grids_ = new QHBoxLayout;
    grids_->setSpacing(4);
    page->addLayout(grids_, 1);
    PlaceGrids(false);
    ModeChanged();

    connect(mode_->Buttons(), &QButtonGroup::idToggled, this, [this] { ModeChanged(); });
}

collector::ReadOptions ReadPage::Options() const {
    collector::ReadOptions o;
    o.autoKDAdd = autoKD_->isChecked();
    o.autoRegAdd = autoReg_->isChecked();
    o.autoGuardAdd = autoGuard_->isChecked();
    o.autoPAdd = autoP_->isChecked();
    o.checkOver = over_->isChecked();
    return o;
}

void ReadPage::SetOptions(const collector::ReadOptions& o) {
    autoKD_->setChecked(o.autoKDAdd);
    autoReg_->setChecked(o.autoRegAdd);
    autoGuard_->setChecked(o.autoGuardAdd);
    autoP_->setChecked(o.autoPAdd);
    over_->setChecked(o.checkOver);
}

void ReadPage::PlaceGrids(bool bound) {
    // A grid cannot let go of its view, so a detached page gets fresh ones,
    // which take the look of the grids they replace.
    if (attached_) {
        looks_[touches_->objectName()] = touches_->Look();
        looks_[missed_->objectName()] = missed_->Look();
    } else if (looks_.empty()) {
        // The looks the grids are designed with.
        DBGrid touches, missed;
        touches.SetGrid(dm_.TableKDREvents(), GridColumns(store::columns::Touches()));
        missed.SetGrid(dm_.TableKDLEvents(), GridColumns(store::columns::Missed()));
        looks_[QStringLiteral("DBGridKDREvents")] = touches.Look();
        looks_[QStringLiteral("DBGridKDLEvents")] = missed.Look();
    }
    delete touches_;
    delete missed_;
    touches_ = new DBGrid;
    touches_->setObjectName(QStringLiteral("DBGridKDREvents"));
    missed_ = new DBGrid;
    missed_->setObjectName(QStringLiteral("DBGridKDLEvents"));
    if (bound) {
        touches_->SetGrid(dm_.TableKDREvents(), GridColumns(store::columns::Touches()));
        missed_->SetGrid(dm_.TableKDLEvents(), GridColumns(store::columns::Missed()));
        touches_->SetLook(looks_[touches_->objectName()]);
        missed_->SetLook(looks_[missed_->objectName()]);
    }
    missed_->setEnabled(bound);
    touches_->setEnabled(bound);
    // The touches' three columns want twice the room of the missed points.
    grids_->addWidget(touches_, 2);
    grids_->addWidget(missed_, 1);
    if (gridMade) {
        gridMade(touches_);
        gridMade(missed_);
    }
}

widgets::GridLook ReadPage::Look(const QString& gridName) const {
    for (DBGrid* g : {touches_, missed_})
        if (attached_ && g != nullptr && g->objectName() == gridName) return g->Look();
    auto it = looks_.find(gridName);
    return it != looks_.end() ? it->second : widgets::GridLook();
}

void ReadPage::SetLook(const QString& gridName, const widgets::GridLook& look) {
    looks_[gridName] = look;
    for (DBGrid* g : {touches_, missed_})
        if (attached_ && g != nullptr && g->objectName() == gridName) g->SetLook(look);
}

void ReadPage::Attach() {
    header_->Bind(&dm_.TableKDEvents());
    mode_->Bind(&dm_.TableKDEvents(), QStringLiteral("Mode"));
    PlaceGrids(true);
    attached_ = true;
    ModeChanged();
}

void ReadPage::Detach() {
    header_->Bind(nullptr);
    mode_->Bind(nullptr, QStringLiteral("Mode"));
    PlaceGrids(false);
    attached_ = false;
    ModeChanged();
}

void ReadPage::ModeChanged() {
    mode_->setVisible(attached_ && mode_->View() != nullptr &&
                      !mode_->View()->IsNull(QStringLiteral("Mode")));
}

// --- WritePage

WritePage::WritePage(store::TDM& dm, store::Rules& rules, QWidget* parent)
    : QWidget(parent), rules_(rules) {
    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(6, 6, 6, 6);
    page->setSpacing(10);

    auto* form = new QGridLayout;
    form->setVerticalSpacing(6);
    registrar_ = ReadOnlyEdit(QStringLiteral("Name"), 24);
    registrar_->setObjectName(QStringLiteral("DBEditRegWrite"));
    registrar_->Bind(&dm.TableCurRegister(), QStringLiteral("Name"));
    form->addWidget(Caption(QStringLiteral("Регистратор")), 0, 0);
    form->addWidget(registrar_, 0, 1, 1, 2);

    guard_ = new DBLookupComboBox;
    guard_->setObjectName(QStringLiteral("DBLookupComboBoxGuardWrite"));
    guard_->SetListView(&dm.TableGuards());
    form->addWidget(Caption(QStringLiteral("Охранник")), 1, 0);
    form->addWidget(guard_, 1, 1, 1, 2);

    path_ = new DBLookupComboBox;
    path_->setObjectName(QStringLiteral("DBLookupComboBoxPathWrite"));
    path_->SetKeyField(QStringLiteral("ID"));
    path_->SetListView(&dm.TablePathes());
    clearPath_ = new QPushButton(QStringLiteral("X"));
    clearPath_->setObjectName(QStringLiteral("ButtonClearPath"));
    clearPath_->setToolTip(QStringLiteral("Очистить"));
    clearPath_->setFixedWidth(clearPath_->sizeHint().height());
    form->addWidget(Caption(QStringLiteral("Маршрут")), 2, 0);
    form->addWidget(path_, 2, 1);
    form->addWidget(clearPath_, 2, 2);

    memo_ = new QPlainTextEdit;
    memo_->setObjectName(QStringLiteral("MemoWrite"));
    memo_->setTabChangesFocus(true);
    memo_->setFixedHeight(memo_->fontMetrics().lineSpacing() * 3 + 10);
    form->addWidget(Caption(QStringLiteral("Доп. информация")), 3, 0, Qt::AlignTop);
    form->addWidget(memo_, 3, 1, 1, 2);

    interval_ = new QComboBox;
    interval_->setObjectName(QStringLiteral("ComboBoxInterval"));
    for (int i = 0; i <= 255; ++i)
        interval_->addItem(QString::number(i));
    interval_->setMaxVisibleItems(16);
    auto* intervalBox = new QGroupBox;
    auto* ib = new QGridLayout(intervalBox);
    ib->addWidget(new QLabel(QStringLiteral("Минимальный интервал обработки")), 0, 0, 1, 3);
    ib->addWidget(interval_, 1, 0);
    ib->addWidget(new QLabel(QStringLiteral("сек.")), 1, 1);
    ib->addWidget(new QLabel(QStringLiteral("одинаковых событий Kordex'ом")), 2, 0, 1, 3);
    ib->setColumnStretch(2, 1);
    form->addWidget(intervalBox, 4, 0, 1, 3);
    form->setColumnStretch(1, 1);
    form->setRowStretch(5, 1);

    modeBox_ = new QGroupBox(QStringLiteral("Режим обхода контрольных точек"));
    modeBox_->setObjectName(QStringLiteral("GroupBoxPathMode"));
    auto* mb = new QVBoxLayout(modeBox_);
    for (const QString& text : PathModeItems()) {
        auto* r = new QRadioButton(text);
        modes_.push_back(r);
        mb->addWidget(r);
    }
    modes_.front()->setChecked(true);
    auto* right = new QVBoxLayout;
    right->addWidget(modeBox_);
    right->addStretch(1);

    page->addLayout(form, 3);
    page->addLayout(right, 2);

    rules_.RegisterList(store::Rules::ListGuardWrite, guard_);
    rules_.RegisterList(store::Rules::ListPathWrite, path_);

    connect(path_, &QComboBox::currentIndexChanged, this, [this] { PathChanged(); });
    connect(clearPath_, &QPushButton::clicked, this, [this] { ClearPath(); });
    connect(memo_, &QPlainTextEdit::textChanged, this, [this] { CutMemo(); });
    PathChanged();
}

WritePage::~WritePage() {
    rules_.UnregisterList(guard_);
    rules_.UnregisterList(path_);
}

void WritePage::CutMemo() {
    const QString text = memo_->toPlainText();
    if (text.size() <= MemoLength) return;
    QTextCursor c = memo_->textCursor();
    const int at = std::min(c.position(), MemoLength);
    memo_->setPlainText(text.left(MemoLength));
    c = memo_->textCursor();
    c.setPosition(at);
    memo_->setTextCursor(c);
}

collector::WriteChoices WritePage::Choices() const {
    collector::WriteChoices c;
    c.guardKey = guard_->KeyValue().toString();
    const QVariant path = path_->KeyValue();
    if (path.isValid() && !path.isNull()) c.pathId = path.toInt();
    c.mode = PathMode();
    c.memo = memo_->toPlainText();
    c.interval = std::max(0, Interval());
    return c;
}

void WritePage::Fill(const QVariant& guardKey, const QVariant& pathId, int mode,
                     const QString& memo) {
    if (guardKey.isNull() || !guardKey.isValid())
        guard_->ClearKeyValue();
    else
        guard_->SetKeyValue(guardKey);
    if (pathId.isNull() || !pathId.isValid())
        path_->ClearKeyValue();
    else
        path_->SetKeyValue(pathId);
    SetPathMode(mode);
    memo_->setPlainText(memo);
    PathChanged();
}

void WritePage::SetInterval(int index) {
    interval_->setCurrentIndex(index >= 0 && index < interval_->count() ? index : -1);
}

int WritePage::Interval() const {
    return interval_->currentIndex();
}

void WritePage::SetPathMode(int mode) {
    if (mode < 0 || mode >= static_cast<int>(modes_.size())) mode = 0;
    modes_[static_cast<size_t>(mode)]->setChecked(true);
}

int WritePage::PathMode() const {
    for (size_t i = 0; i < modes_.size(); ++i)
        if (modes_[i]->isChecked()) return static_cast<int>(i);
    return 0;
}

void WritePage::ClearPath() {
    path_->ClearKeyValue();
    PathChanged();
}

void WritePage::FocusGuard() {
    guard_->setFocus();
}

void WritePage::SelectMemo(qsizetype position, qsizetype length) {
    QTextCursor c = memo_->textCursor();
    c.setPosition(static_cast<int>(position));
    c.setPosition(static_cast<int>(position + length), QTextCursor::KeepAnchor);
    memo_->setTextCursor(c);
    memo_->setFocus();
}

void WritePage::PathChanged() {
    const QVariant path = path_->KeyValue();
    modeBox_->setVisible(path.isValid() && !path.isNull());
}

}  // namespace kordex::app
