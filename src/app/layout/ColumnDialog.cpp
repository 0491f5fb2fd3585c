#include "ColumnDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "widgets/DBGrid.h"

namespace kordex::app {

using widgets::ColorValue;
using widgets::GridFont;
using widgets::ToQColor;

std::optional<ColorValue> PickColor(ColorValue start, QWidget* parent) {
    const QColor c = QColorDialog::getColor(ToQColor(start, QGuiApplication::palette()), parent);
    if (!c.isValid()) return std::nullopt;
    return widgets::ToColorValue(c);
}

std::optional<GridFont> PickFont(const GridFont& start, QWidget* parent) {
    QFontDialog dialog(start.ToQFont(), parent);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    // Qt's font dialog has no colour of its own; the font's colour is one more button.
    GridFont chosen = start;
    if (auto* box = dialog.findChild<QDialogButtonBox*>()) {
        QPushButton* color =
            box->addButton(QStringLiteral("&Цвет..."), QDialogButtonBox::ActionRole);
        QObject::connect(color, &QPushButton::clicked, &dialog, [&chosen, &dialog] {
            if (auto c = PickColor(chosen.color, &dialog)) chosen.color = *c;
        });
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const ColorValue color = chosen.color;
    chosen = GridFont::Of(dialog.selectedFont(), color);
    chosen.charset = start.charset;
    return chosen;
}

namespace {

// The width of the list's rows.
int ListWidth(const QStyleOptionViewItem& option) {
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
        return view->viewport()->width();
    return option.rect.width();
}

// The rows of the list: the check box, then the column's colour swatch and
// caption in its font over the left half, the title's over the right half.
class RowDelegate : public QStyledItemDelegate {
public:
    RowDelegate(const std::vector<TFormTableCols::Row>& rows, QObject* parent)
        : QStyledItemDelegate(parent), rows_(rows) {}

    // A row spans the list, so that a press anywhere on it lands on it.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return {ListWidth(option), TFormTableCols::RowHeight};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const auto r = static_cast<size_t>(index.row());
        if (r >= rows_.size()) return;
        const TFormTableCols::Row& row = rows_[r];
        const QRect rect = option.rect;
        const int h = rect.height();
        const int w = ListWidth(option);
        const int top = rect.top();
        const int bottom = rect.bottom() + 1;
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        const QPalette& pal = option.palette;
        const QPalette system = QGuiApplication::palette();

        painter->save();
        painter->fillRect(rect, selected ? pal.highlight() : pal.base());

        // The check box.
        QStyleOptionViewItem check = option;
        check.rect = QRect(rect.left() + 2, top + 2, h - 4, h - 4);
        check.state &= ~QStyle::State_HasFocus;
        check.state |= index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On
                                                                             : QStyle::State_Off;
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, widget);

        const QColor text = selected ? pal.color(QPalette::HighlightedText) : QColor();
        auto swatch = [&](int left, ColorValue color) {
            const QRect s(QPoint(left, top + 2), QPoint(left + h - 4, bottom - 2));
            painter->setPen(pal.color(QPalette::WindowText));
            painter->setBrush(ToQColor(color, system));
            painter->drawRect(s.adjusted(0, 0, -1, -1));
        };
        auto caption = [&](int left, int right, const GridFont& font) {
            painter->setFont(font.ToQFont(option.font));
            painter->setPen(text.isValid() ? text : ToQColor(font.color, system));
            painter->drawText(QRect(left, top, std::max(right - left, 0), h),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, row.title);
        };
        swatch(h, row.color);
        caption(2 * h, w / 2, row.font);
        swatch(w / 2, row.titleColor);
        caption(w / 2 + h, w, row.titleFont);
        painter->restore();
    }

    // The check box answers a click in its zone and the space bar.
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        const bool toggle =
            (event->type() == QEvent::MouseButtonRelease &&
             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
             TFormTableCols::ZoneAt(static_cast<QMouseEvent*>(event)->position().toPoint().x(),
                                    ListWidth(option),
                                    option.rect.height()) == TFormTableCols::Zone::None) ||
            (event->type() == QEvent::KeyPress &&
             static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space);
        if (!toggle) return false;
        const bool on = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return model->setData(index, on ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }

private:
    const std::vector<TFormTableCols::Row>& rows_;
};

}  // namespace

TFormTableCols::Zone TFormTableCols::ZoneAt(int x, int listWidth, int rowHeight) {
    const int h = rowHeight;
    const int half = listWidth / 2;
    if (x > half + h) return Zone::TFont;
    if (x > half) return Zone::TColor;
    if (x > 2 * h) return Zone::ColFont;
    if (x > h) return Zone::ColColor;
    return Zone::None;
}

TFormTableCols::TFormTableCols(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FormTableCols"));
    setWindowTitle(TableColsCaption);
    setFixedWidth(DesignWidth);
    setMinimumHeight(DesignHeight);
    resize(DesignWidth, DesignHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);

    auto* common = new QGroupBox(QStringLiteral("&Общие"));
    common->setObjectName(QStringLiteral("GroupBoxCommon"));
    auto* cl = new QGridLayout(common);
    cl->setContentsMargins(6, 4, 6, 4);
    checkGrid_ = new QCheckBox(QStringLiteral("&Сетка"));
    checkGrid_->setObjectName(QStringLiteral("CheckBoxGrid"));
    cl->addWidget(checkGrid_, 0, 0, 1, 3);
    auto* colorLabel = new QLabel(QStringLiteral("Цвет &фона"));
    panelColor_ = new QFrame;
    panelColor_->setObjectName(QStringLiteral("PanelColor"));
    panelColor_->setFrameShape(QFrame::Box);
    panelColor_->setFixedSize(48, 20);
    panelColor_->setAutoFillBackground(true);
    panelColor_->installEventFilter(this);
    buttonColor_ = new QPushButton(QStringLiteral("..."));
    buttonColor_->setObjectName(QStringLiteral("ButtonColor"));
    buttonColor_->setAutoDefault(false);
    buttonColor_->setFixedSize(24, 22);
    colorLabel->setBuddy(buttonColor_);
    cl->addWidget(colorLabel, 1, 0);
    cl->addWidget(panelColor_, 1, 1);
    cl->addWidget(buttonColor_, 1, 2, Qt::AlignLeft);
    // The grid's name text goes with the dialog, out of sight.
    auto* nameLabel = new QLabel(QStringLiteral("&Название"));
    nameLabel->setObjectName(QStringLiteral("LabelName"));
    editName_ = new QLineEdit;
    editName_->setObjectName(QStringLiteral("EditName"));
    nameLabel->setBuddy(editName_);
    nameLabel->setVisible(false);
    editName_->setVisible(false);
    cl->addWidget(nameLabel, 2, 0);
    cl->addWidget(editName_, 2, 1, 1, 2);
    cl->setColumnStretch(2, 1);
    layout->addWidget(common);

    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("CheckListBoxCols"));
    list_->setItemDelegate(new RowDelegate(rows_, list_));
    list_->setUniformItemSizes(true);
    list_->viewport()->installEventFilter(this);
    auto* titles = new QHBoxLayout;
    titles->setSpacing(0);
    auto* colsLabel = new QLabel(QStringLiteral("&Колонки"));
    auto* titlesLabel = new QLabel(QStringLiteral("&Заголовки колонок"));
    colsLabel->setBuddy(list_);
    titlesLabel->setBuddy(list_);
    titles->addWidget(colsLabel, 1);
    titles->addWidget(titlesLabel, 1);
    layout->addLayout(titles);
    layout->addWidget(list_, 1);

    const struct {
        const char* name;
        QString text;
        void (TFormTableCols::*run)();
    } commands[] = {
        {"ActionColColor", QStringLiteral("Цвет колонки..."),
         &TFormTableCols::ActionColColorExecute},
        {"ActionColFont", QStringLiteral("Шрифт колонки..."),
         &TFormTableCols::ActionColFontExecute},
        {"ActionColTColor", QStringLiteral("Цвет заголовка колонки..."),
         &TFormTableCols::ActionColTColorExecute},
        {"ActionColTFont", QStringLiteral("Шрифт заголовка колонки..."),
         &TFormTableCols::ActionColTFontExecute},
    };
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (const auto& c : commands) {
        if (actions_.size() == 2) {
            auto* separator = new QAction(list_);
            separator->setSeparator(true);
            list_->addAction(separator);
        }
        auto* a = new QAction(c.text, this);
        a->setObjectName(QString::fromLatin1(c.name));
        connect(a, &QAction::triggered, this, c.run);
        list_->addAction(a);
        actions_.push_back(a);
    }

    auto* buttons = new QHBoxLayout;
    buttonOk_ = new QPushButton(QStringLiteral("&Применить"));
    buttonOk_->setObjectName(QStringLiteral("ButtonOk"));
    buttonOk_->setDefault(true);
    buttonClose_ = new QPushButton(QStringLiteral("&Закрыть"));
    buttonClose_->setObjectName(QStringLiteral("ButtonCancel"));
    buttonClose_->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(buttonOk_);
    buttons->addWidget(buttonClose_);
    layout->addLayout(buttons);

    connect(buttonOk_, &QPushButton::clicked, this, &TFormTableCols::ButtonOkClick);
    connect(buttonClose_, &QPushButton::clicked, this, &QDialog::reject);
    connect(buttonColor_, &QPushButton::clicked, this, &TFormTableCols::ButtonColorClick);
    SetSwatch(widgets::ClWindow);
}

TFormTableCols::~TFormTableCols() = default;

QAction* TFormTableCols::Action(const QString& name) const {
    for (QAction* a : actions_)
        if (a->objectName() == name) return a;
    return nullptr;
}

void TFormTableCols::SetSwatch(ColorValue color) {
    swatch_ = color;
    QPalette p = panelColor_->palette();
    p.setColor(QPalette::Window, ToQColor(color, QGuiApplication::palette()));
    panelColor_->setPalette(p);
}

void TFormTableCols::Execute(widgets::DBGrid& grid) {
    list_->clear();
    rows_.clear();
    grid_ = &grid;
    const widgets::GridLook look = grid.Look();
    SetSwatch(look.color);
    checkGrid_->setChecked(look.lines);
    editName_->setText(look.hint);
    for (const widgets::ColumnLook& c : look.columns) {
        rows_.push_back({c.field, c.title, c.color, c.font, c.titleColor, c.titleFont});
        auto* item = new QListWidgetItem(c.title, list_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(c.visible ? Qt::Checked : Qt::Unchecked);
    }
    if (list_->count() > 0) list_->setCurrentRow(0);
    zone_ = Zone::None;
    if (exec)
        exec(*this);
    else
        QDialog::exec();
    grid_ = nullptr;
}

void TFormTableCols::ButtonOkClick() {
    if (grid_ == nullptr) return;
    widgets::GridLook look = grid_->Look();
    look.lines = checkGrid_->isChecked();
    look.hint = editName_->text();
    look.color = swatch_;
    for (size_t i = 0; i < rows_.size(); ++i) {
        widgets::ColumnLook* c = look.Column(rows_[i].field);
        if (c == nullptr) continue;
        c->visible = list_->item(static_cast<int>(i))->checkState() == Qt::Checked;
        c->color = rows_[i].color;
        c->font = rows_[i].font;
        c->titleColor = rows_[i].titleColor;
        c->titleFont = rows_[i].titleFont;
    }
    grid_->SetLook(look);
}

std::optional<ColorValue> TFormTableCols::Color(ColorValue start) {
    return pickColor ? pickColor(start) : PickColor(start, this);
}

std::optional<GridFont> TFormTableCols::Font(const GridFont& start) {
    return pickFont ? pickFont(start) : PickFont(start, this);
}

void TFormTableCols::ButtonColorClick() {
    if (auto c = Color(swatch_)) SetSwatch(*c);
}

TFormTableCols::Row* TFormTableCols::SelectedRow() {
    const int r = list_->currentRow();
    if (r < 0 || static_cast<size_t>(r) >= rows_.size()) return nullptr;
    return &rows_[static_cast<size_t>(r)];
}

void TFormTableCols::ActionColColorExecute() {
    if (Row* row = SelectedRow())
        if (auto c = Color(row->color)) row->color = *c;
    list_->viewport()->update();
}

void TFormTableCols::ActionColFontExecute() {
    if (Row* row = SelectedRow())
        if (auto f = Font(row->font)) row->font = *f;
    list_->viewport()->update();
}

void TFormTableCols::ActionColTColorExecute() {
    if (Row* row = SelectedRow())
        if (auto c = Color(row->titleColor)) row->titleColor = *c;
    list_->viewport()->update();
}

void TFormTableCols::ActionColTFontExecute() {
    if (Row* row = SelectedRow())
        if (auto f = Font(row->titleFont)) row->titleFont = *f;
    list_->viewport()->update();
}

void TFormTableCols::CheckListBoxColsDblClick() {
    const Zone zone = zone_;
    zone_ = Zone::None;
    switch (zone) {
        case Zone::ColFont:
            ActionColFontExecute();
            break;
        case Zone::ColColor:
            ActionColColorExecute();
            break;
        case Zone::TFont:
            ActionColTFontExecute();
            break;
        case Zone::TColor:
            ActionColTColorExecute();
            break;
        case Zone::None:
            break;
    }
}

bool TFormTableCols::eventFilter(QObject* watched, QEvent* event) {
    if (watched == panelColor_ && event->type() == QEvent::MouseButtonDblClick) {
        ButtonColorClick();
        return true;
    }
    if (list_ != nullptr && watched == list_->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            zone_ = ZoneAt(static_cast<QMouseEvent*>(event)->position().toPoint().x(),
                           list_->viewport()->width());
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            // The row under the pointer is the selected one by now.
            CheckListBoxColsDblClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kordex::app
