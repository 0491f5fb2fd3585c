#include "FastFind.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "shell/ScopeExit.h"

using namespace kordex::widgets;

namespace kordex::app {

namespace {

// The frame of the panel: a raised bevel and a border, one pixel each.
constexpr int BevelWidth = 1;
constexpr int BorderWidth = 1;

// The one open panel.
QPointer<TPanelFFind>& OpenPanel() {
    static QPointer<TPanelFFind> panel;
    return panel;
}

constexpr QChar EscapeChar(0x1b);
constexpr QChar EnterChar(u'\r');
constexpr QChar BackspaceChar(u'\b');
constexpr QChar RepeatChar(0);  // what F3 hands to the search

bool Printable(QChar ch) {
    return ch.unicode() >= 32 && ch.category() != QChar::Other_Control;
}

}  // namespace

// --- TPanelFFind ------------------------------------------------------------------

TPanelFFind::TPanelFFind(store::TDM& dm) : dm_(dm) {
    setObjectName(QStringLiteral("PanelFFind"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(BevelWidth + BorderWidth);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setFocusPolicy(Qt::StrongFocus);
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("LabelFFind"));
    label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label_->setTextFormat(Qt::PlainText);
    label_->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label_);
    hide();
}

TPanelFFind::~TPanelFFind() {
    if (OpenPanel() == this) OpenPanel() = nullptr;
    if (!exited_ && grid_ != nullptr) {
        grid_->SetAlwaysShowSelection(savedAlwaysShowSelection_);
        grid_->SetFindPanelOpen(false);
    }
}

TPanelFFind* TPanelFFind::OpenOver(store::TDM& dm, DBGrid* grid, QChar first,
                                   const std::function<void()>& beep,
                                   const std::function<void(DBGrid*)>& gridExit) {
    CloseFastFind();
    if (grid == nullptr || grid->Model() == nullptr) return nullptr;
    auto* panel = new TPanelFFind(dm);
    panel->beep = beep;
    panel->gridExit = gridExit;
    panel->Open(grid, first);
    return panel;
}

TPanelFFind* TPanelFFind::Current() {
    TPanelFFind* panel = OpenPanel();
    return panel != nullptr && !panel->exited_ ? panel : nullptr;
}

void TPanelFFind::CloseFastFind() {
    if (TPanelFFind* panel = Current()) panel->Exit();
}

void TPanelFFind::Open(DBGrid* grid, QChar first) {
    if (grid == nullptr) return;
    if (TPanelFFind* other = Current(); other != nullptr && other != this) other->Exit();
    OpenPanel() = this;
    grid_ = grid;
    setParent(grid->window());
    setFont(grid->font());
    Place();

    savedAlwaysShowSelection_ = grid->AlwaysShowSelection();
    grid->SetAlwaysShowSelection(true);
    grid->SetFindPanelOpen(true);

    shown_.clear();
    search_.clear();
    direction_ = Direction::Forwards;
    startRow_.reset();
    found_ = false;
    ShowText();

    show();
    raise();
    setFocus(Qt::OtherFocusReason);
    KeyPress(first);
}

// Just above the grid, over the current cell, as wide as the cell.
void TPanelFFind::Place() {
    QWidget* window = parentWidget();
    if (window == nullptr || grid_ == nullptr) return;
    QModelIndex current = grid_->currentIndex();
    if (!current.isValid() && grid_->model() != nullptr) current = grid_->model()->index(0, 0);
    QRect cell = grid_->visualRect(current);
    if (cell.isEmpty()) cell = QRect(0, 0, grid_->columnWidth(0), grid_->rowHeight(0));
    const int height = cell.height() + 2 * (BevelWidth + BorderWidth);
    const int width = std::max(cell.width(), 2 * (BevelWidth + BorderWidth) + 1);
    const int left = grid_->viewport()->mapTo(window, QPoint(cell.left(), 0)).x();
    const int clientTop = grid_->mapTo(window, grid_->contentsRect().topLeft()).y();
    const int top = clientTop - height - 2 * BevelWidth;
    // Kept inside the window, so a grid at its edge still shows its panel.
    setGeometry(std::clamp(left, 0, std::max(0, window->width() - width)), std::max(top, 0), width,
                height);
}

void TPanelFFind::KeyPress(QChar ch) {
    if (exited_) return;
    if (ch == EscapeChar) {
        Exit();
    } else if (ch == EnterChar) {
        // The grid runs its own Enter (post, or new/edit on the found row).
        if (grid_ != nullptr)
            QCoreApplication::postEvent(grid_, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return,
                                                             Qt::NoModifier, QString(EnterChar)));
        Exit();
    } else if (ch == BackspaceChar) {
        if (shown_.isEmpty()) {
            Beep();
        } else {
            shown_.chop(1);
            ShowText();
        }
    } else if (ch == RepeatChar) {
        search_ = shown_.toUpper();
        Search();
    } else if (Printable(ch)) {
        search_ = (shown_ + ch).toUpper();
        Search();
    }
}

bool TPanelFFind::Matches(store::View& view, int fieldIndex, int position, QString& written) const {
    const std::vector<QVariant> row = view.RowAt(position);
    if (fieldIndex < 0 || fieldIndex >= static_cast<int>(row.size())) return false;
    const QString text = DisplayText(view.Fields()[fieldIndex], row[fieldIndex]);
    const QString head = text.left(search_.size());
    if (head.size() < search_.size() || head.toUpper() != search_) return false;
    written = head;
    return true;
}

// From the current row on, round past the end (or the beginning) back to the
// row where the search started; every row is looked at once at most.
void TPanelFFind::Search() {
    if (grid_ == nullptr || grid_->Model() == nullptr) return;
    store::View& view = grid_->Model()->View();
    const std::vector<GridColumn>& columns = grid_->Model()->Columns();
    if (columns.empty()) return;
    const int column =
        std::clamp(grid_->currentIndex().column(), 0, static_cast<int>(columns.size()) - 1);
    const int fieldIndex = view.FieldIndex(columns[column].field);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const shell::Finally restoreCursor([] { QApplication::restoreOverrideCursor(); });
    found_ = false;
    const int slot = view.Tag();
    bool failed = false;
    {
        const store::ControlsOff off(view);
        try {
            dm_.SaveBookmark(view, slot);
            if (!startRow_) startRow_ = view.RecNo();
            const int count = view.RecordCount();
            const int start = *startRow_;
            int row = view.RecNo();
            QString written;
            for (int looked = 0; count > 0 && row > 0 && looked < count; ++looked) {
                if (looked > 0 && row == start) break;
                if (Matches(view, fieldIndex, row - 1, written)) {
                    view.SetRecNo(row);
                    shown_ = written;
                    found_ = true;
                    break;
                }
                if (direction_ == Direction::Forwards)
                    row = row == count ? 1 : row + 1;
                else
                    row = row == 1 ? count : row - 1;
            }
        } catch (const std::exception&) {
            failed = true;
        } catch (const store::Abort&) {
            failed = true;
        }
        if (found_ && !failed)
            dm_.DropBookmark(view, slot);
        else
            dm_.RestoreBookmark(view, slot);
    }
    startRow_.reset();
    if (failed) found_ = false;
    if (found_)
        ShowText();
    else
        Beep();
}

// F3: the next (or the previous) row that matches the shown text, round the
// view; the row the panel is on only when no other row matches.
void TPanelFFind::Repeat(Direction direction) {
    if (exited_ || grid_ == nullptr || grid_->Model() == nullptr) return;
    store::View& view = grid_->Model()->View();
    if (!store::TDM::HasRows(view)) return;
    direction_ = direction;
    {
        const store::ControlsOff off(view);
        try {
            startRow_ = view.RecNo();
            dm_.SaveBookmark(view, view.Tag());
            const int count = view.RecordCount();
            if (direction == Direction::Forwards)
                view.SetRecNo(view.RecNo() >= count ? 1 : view.RecNo() + 1);
            else
                view.SetRecNo(view.RecNo() <= 1 ? count : view.RecNo() - 1);
        } catch (const std::exception&) {
        } catch (const store::Abort&) {
        }
        KeyPress(RepeatChar);
    }
    if (grid_ != nullptr) grid_->viewport()->update();
}

void TPanelFFind::Exit() {
    if (exited_) return;
    exited_ = true;
    if (OpenPanel() == this) OpenPanel() = nullptr;
    DBGrid* grid = grid_;
    if (grid != nullptr) {
        grid->SetAlwaysShowSelection(savedAlwaysShowSelection_);
        grid->SetFindPanelOpen(false);
        QWidget* next = QApplication::focusWidget();
        const bool elsewhere = next != nullptr && next != this && next != grid &&
                               !isAncestorOf(next) && !grid->isAncestorOf(next);
        if (elsewhere) {
            if (gridExit) gridExit(grid);
        } else {
            grid->setFocus(Qt::OtherFocusReason);
            grid->viewport()->update();
        }
    }
    hide();
    // Not inside its own key or focus handler.
    deleteLater();
}

void TPanelFFind::keyPressEvent(QKeyEvent* event) {
    if (exited_) return;
    const Qt::KeyboardModifiers mods =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    switch (event->key()) {
        case Qt::Key_F3:
            if (mods == Qt::ShiftModifier)
                Repeat(Direction::Forwards);
            else if (mods == Qt::AltModifier)
                Repeat(Direction::Backwards);
            else if (mods == Qt::NoModifier)
                Repeat(direction_);
            event->accept();
            return;
        case Qt::Key_Escape:
            KeyPress(EscapeChar);
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            KeyPress(EnterChar);
            event->accept();
            return;
        case Qt::Key_Backspace:
            KeyPress(BackspaceChar);
            event->accept();
            return;
        default:
            break;
    }
    // Ctrl and Alt chords type nothing (AltGr, Ctrl+Alt on some systems, does).
    const bool chord =
        (mods & (Qt::ControlModifier | Qt::AltModifier)) &&
        (mods & (Qt::ControlModifier | Qt::AltModifier)) != (Qt::ControlModifier | Qt::AltModifier);
    const QString text = event->text();
    if (chord || text.isEmpty()) {
        QFrame::keyPressEvent(event);
        return;
    }
    for (const QChar ch : text) {
        if (exited_) break;
        KeyPress(ch);
    }
    event->accept();
}

void TPanelFFind::focusOutEvent(QFocusEvent* event) {
    QFrame::focusOutEvent(event);
    // Another window coming to the front, or a menu, leaves the panel where it is.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    Exit();
}

void TPanelFFind::Beep() {
    if (beep)
        beep();
    else
        QApplication::beep();
}

void TPanelFFind::ShowText() {
    label_->setText(shown_);
}

// --- GridKeys ---------------------------------------------------------------------

GridKeys::GridKeys(store::TDM& dm, QObject* parent) : QObject(parent), dm_(dm) {}

void GridKeys::Attach(DBGrid* grid) {
    if (grid == nullptr) return;
    const QPointer<GridKeys> self(this);
    grid->keyHook = [self, grid](QKeyEvent* event) {
        if (self == nullptr || self->passing_) return false;
        if (self->KeyDown(grid, event)) return true;
        return self->KeyPress(grid, event);
    };
    grid->keyReleaseHook = [self](QKeyEvent*) {
        if (self != nullptr) self->KeyUp();
    };
    grid->installEventFilter(this);
}

bool GridKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn && qobject_cast<DBGrid*>(watched) != nullptr)
        GridEntered();
    return QObject::eventFilter(watched, event);
}

bool GridKeys::KeyDown(DBGrid* grid, QKeyEvent* event) {
    const Qt::KeyboardModifiers mods =
        event->modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (mods == Qt::ShiftModifier || counter_ == 0)
        counter_ = 1;
    else if (counter_ == 1)
        counter_ = 2;
    if (currentGrid) currentGrid(grid);

    if (event->key() != Qt::Key_Tab && event->key() != Qt::Key_Backtab) return false;
    // Tab never leaves a grid; while a row is edited it moves between the columns.
    store::View* view = grid->View();
    if (view != nullptr && store::TDM::IsEditing(*view) && grid->model() != nullptr) {
        const bool back = event->key() == Qt::Key_Backtab || (mods & Qt::ShiftModifier);
        const QModelIndex current = grid->currentIndex();
        const int column = current.column() + (back ? -1 : 1);
        if (current.isValid() && column >= 0 && column < grid->model()->columnCount())
            grid->setCurrentIndex(grid->model()->index(current.row(), column));
    }
    return true;
}

void GridKeys::KeyUp() {
    counter_ = 0;
}

void GridKeys::GridEntered() {
    counter_ = 0;
}

std::optional<QChar> GridKeys::KeyColumnChar(QChar ch) {
    if (ch >= u'a' && ch <= u'z') ch = QChar(ch.unicode() - u'a' + u'A');
    if (ch > u'F') return std::nullopt;
    return ch;
}

bool GridKeys::IsKeyGrid(const DBGrid* grid) {
    const QVariant tag = grid != nullptr ? grid->property("tag") : QVariant();
    if (!tag.isValid()) return false;
    const int t = tag.toInt();
    return t >= 0 && t <= 3;
}

bool GridKeys::KeyPress(DBGrid* grid, QKeyEvent* event) {
    QChar ch;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        ch = EnterChar;
    else if (event->text().size() == 1)
        ch = event->text().at(0);
    else
        return false;

    if (IsKeyGrid(grid) && grid->currentIndex().column() == 0) {
        const std::optional<QChar> taken = KeyColumnChar(ch);
        if (!taken) return true;
        if (*taken != ch) {
            if (CommonKeyPress(grid, *taken)) return true;
            // The capital goes to the grid in place of the small letter.
            QKeyEvent replacement(QEvent::KeyPress, event->key(), event->modifiers(),
                                  QString(*taken), event->isAutoRepeat(), event->count());
            passing_ = true;
            const shell::Finally done([this] { passing_ = false; });
            QCoreApplication::sendEvent(grid, &replacement);
            return true;
        }
    }
    return CommonKeyPress(grid, ch);
}

bool GridKeys::CommonKeyPress(DBGrid* grid, QChar ch) {
    if (currentGrid) currentGrid(grid);
    store::View* view = grid->View();
    const bool editing = view != nullptr && store::TDM::IsEditing(*view);
    if (ch == EnterChar) {
        if (editing) {
            if (postRow) postRow(grid);
        } else if (newOrEditRow) {
            newOrEditRow(grid);
        }
        return true;
    }
    if (view == nullptr || editing || !Printable(ch) || counter_ > 1 || !store::TDM::HasRows(*view))
        return false;
    counter_ = 0;
    TPanelFFind::OpenOver(dm_, grid, ch, beep, gridExit);
    return true;
}

}  // namespace kordex::app
