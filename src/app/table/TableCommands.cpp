// The commands of the focused grid: new, edit, copy, delete, post, sort,
// moving a cell's value, emptying a table, and the refresh of their states
// by the grid and the rights of the registrar logged in.
#include "TableCommands.h"

#include <QAction>
#include <QApplication>
#include <QLabel>

#include "FastFind.h"
#include "app/device/KeyDialogs.h"
#include "app/login/Rights.h"
#include "app/window/MainWindow.h"
#include "link/KeyId.h"
#include "shell/ScopeExit.h"
#include "store/DataModule.h"
#include "store/Rules.h"
#include "widgets/DBGrid.h"
#include "widgets/DataWidgets.h"
#include "widgets/GridModel.h"

using namespace kordex::widgets;

namespace kordex::app {

QString KeyDialogCaption(int tag, bool newRow, const QString& subject) {
    static const char* const endings[] = {"ого", "ой", "ого", "ого"};
    QString caption = newRow ? QStringLiteral("Ввод нов") : QStringLiteral("Редактирование");
    if (newRow && tag >= 0 && tag < 4) caption += QString::fromUtf8(endings[tag]);
    return caption + QLatin1Char(' ') + subject;
}

QString KeyDialogSubject(const QString& secondColumnTitle) {
    const int blank = secondColumnTitle.indexOf(QLatin1Char(' '));
    return blank < 0 ? secondColumnTitle : secondColumnTitle.mid(blank + 1);
}

QString RowCounterText(bool filtered, int rowNumber, int rowCount) {
    if (filtered) return QStringLiteral("Всего строк: %1").arg(rowCount);
    return QStringLiteral("Строка: %1 из %2").arg(std::min(rowNumber, rowCount)).arg(rowCount);
}

namespace {

const QString Confirmation = QStringLiteral("Подтверждение");

bool IsDataSourceGrid(const DBGrid* g) {
    return g != nullptr && g->View() != nullptr;
}

// The field a move command moves: the key behind a lookup column.
QString MovedField(store::View& v, const QString& column) {
    const store::Field* f = v.FindField(column);
    if (f != nullptr && f->kind == store::FieldKind::Lookup) return f->keyField;
    return column;
}

}  // namespace

DBGrid* TFormMain::FocusedGrid() const {
    TPanelFFind* panel = TPanelFFind::Current();
    if (panel != nullptr && panel->hasFocus()) return panel->Grid();
    // The focus may sit in a grid's in-place editor.
    for (QWidget* w = QApplication::focusWidget(); w != nullptr; w = w->parentWidget())
        if (auto* g = qobject_cast<DBGrid*>(w)) return g;
    return nullptr;
}

std::optional<KeyDialogResult> TFormMain::ShowKeyDialog(const KeyDialogRequest& request) {
    if (keyDialog) return keyDialog(request);
    KeyDialogTexts texts;
    texts.caption = request.caption;
    texts.commentLabel = request.commentLabel;
    texts.key = request.key;
    texts.comment = request.comment;
    std::unique_ptr<KeyCaptureDialog> dialog;
    if (request.tag == 3)
        dialog = std::make_unique<TFormGetIDKD>(*link_, *prompt_, texts, this);
    else
        dialog =
            std::make_unique<TFormGetKey>(*link_, *prompt_, texts, request.usersPageCurrent, this);
    dialog->SetKeyLabel(request.keyLabel);
    if (dialog->exec() != QDialog::Accepted) return std::nullopt;
    return KeyDialogResult{dialog->Key(), dialog->Comment()};
}

// --- The refresh of the commands

void TFormMain::ActionRefresh(bool gridFocused) {
    DBGrid* g = FocusedGrid();
    store::View* v = IsDataSourceGrid(g) ? g->View() : nullptr;
    const bool usable = gridFocused && v != nullptr && v->IsOpen();
    const RegistrarRights rights = CurrentRights(*dm_);
    const bool nobody = !rights.registrar;
    const bool mayEdit = usable && (rights.IsTableEdit || rights.IsAdmin || nobody) &&
                         !g->property("ReadOnly").toBool();
    // Deleting is the administrator's (or anyone's while no registrar exists),
    // in every grid, the read-only journal grids included; editing rights
    // alone do not give it.
    const bool mayDelete = usable && (rights.IsAdmin || nobody);

    Action(QStringLiteral("ActionNewRec"))->setEnabled(mayEdit);
    QAction* edit = Action(QStringLiteral("ActionEditRec"));
    QAction* byKey = Action(QStringLiteral("ActionSortByKey"));
    QAction* byName = Action(QStringLiteral("ActionSortByName"));
    if (usable) {
        edit->setEnabled(mayEdit && store::TDM::HasRows(*v));
        Action(QStringLiteral("ActionDelRec"))->setEnabled(mayDelete && store::TDM::HasRows(*v));
        const auto& indexes = v->Def().indexes;
        const bool sortedByKey = !indexes.empty() && v->OrderFields() == indexes.front().fields;
        byKey->setChecked(sortedByKey);
        byName->setChecked(!sortedByKey);
        byName->setEnabled(indexes.size() > 1);
        rowCounts_[v] = v->RecordCount();
        refreshLink_->SetView(v);
        DataChangeRule(*v);
        StateChangeRule(*v);
        labelN_->setVisible(true);
    } else {
        for (const char* n :
             {"ActionEditRec", "ActionPostRec", "ActionDelRec", "ActionSortByName", "ActionMoveUp",
              "ActionMoveDown", "ActionMoveFirst", "ActionMoveLast"})
            Action(QString::fromLatin1(n))->setEnabled(false);
        refreshLink_->SetView(nullptr);
        labelN_->setVisible(false);
    }
    // Only the five journal grids (tag -1) filter; remove filter undoes a
    // row-test filter of the operator's, never a fixed filter of the view.
    Action(QStringLiteral("ActionSetFilter"))->setEnabled(usable && g->property("tag").toInt() < 0);
    Action(QStringLiteral("ActionNoFilter"))
        ->setEnabled(usable && v->Filtered() && v->FilterText().isEmpty());
    // The column commands work on the grid that has the focus.
    for (const char* n :
         {"ActionTableProperty", "ActionDefaultWidth", "ActionDefaultColor", "ActionDefaultFont"})
        Action(QString::fromLatin1(n))->setEnabled(usable);
    Action(QStringLiteral("ActionExport"))->setEnabled(usable && store::TDM::HasRows(*v));
    Action(QStringLiteral("ActionCopyRec"))->setEnabled(edit->isEnabled());
    byKey->setEnabled(usable);
    Action(QStringLiteral("ActionEmptyTable"))->setEnabled(usable && (rights.IsAdmin || nobody));
}

void TFormMain::DataChangeRule(store::View& v) {
    DBGrid* g = FocusedGrid();
    if (g == nullptr || g->View() != &v) return;
    const bool edit = Action(QStringLiteral("ActionEditRec"))->isEnabled();
    const bool editing = store::TDM::IsEditing(v);
    const bool atStart = v.Bof() || (v.RecNo() <= 1 && !editing);
    const bool atEnd = v.Eof() || v.RecNo() >= v.RecordCount();
    Action(QStringLiteral("ActionMoveUp"))->setEnabled(edit && !atStart);
    Action(QStringLiteral("ActionMoveFirst"))->setEnabled(edit && !atStart);
    Action(QStringLiteral("ActionMoveDown"))->setEnabled(edit && !atEnd);
    Action(QStringLiteral("ActionMoveLast"))->setEnabled(edit && !atEnd);
    const int count = rowCounts_.count(&v) != 0 ? rowCounts_[&v] : v.RecordCount();
    if (v.Filtered()) {
        labelN_->setText(RowCounterText(true, 0, count));
    } else {
        if (v.RecNo() > 0) lastRowNumber_ = v.RecNo();
        labelN_->setText(RowCounterText(false, lastRowNumber_, count));
    }
    labelN_->repaint();
}

void TFormMain::StateChangeRule(store::View& v) {
    Action(QStringLiteral("ActionPostRec"))
        ->setEnabled(Action(QStringLiteral("ActionNewRec"))->isEnabled() &&
                     store::TDM::IsEditing(v));
}

// --- The commands

void TFormMain::ActionNewRecExecute(QObject* sender) {
    TPanelFFind::CloseFastFind();
    DBGrid* g = qobject_cast<DBGrid*>(sender);
    if (g == nullptr) g = FocusedGrid();
    if (!IsDataSourceGrid(g)) return;
    store::View& v = *g->View();
    bool newRow = true;
    if (qobject_cast<DBGrid*>(sender) != nullptr) {
        if (!Action(QStringLiteral("ActionNewRec"))->isEnabled()) return;
        newRow = !Action(QStringLiteral("ActionEditRec"))->isEnabled();
    } else {
        newRow = sender != Action(QStringLiteral("ActionEditRec"));
    }
    if (newRow) store::TDM::PostIfEditing(v);

    const int tag = g->property("tag").toInt();
    std::optional<KeyDialogResult> keys;
    if (tag >= 0 && tag <= 3) {
        const std::vector<GridColumn>& columns = g->Model()->Columns();
        KeyDialogRequest r;
        r.tag = tag;
        r.caption = KeyDialogCaption(
            tag, newRow, KeyDialogSubject(columns.size() > 1 ? columns[1].title : QString()));
        r.keyLabel = columns.empty() ? QString() : columns[0].title;
        r.commentLabel = columns.size() > 1 ? columns[1].title : QString();
        if (newRow) {
            r.key = tag == 3 ? QString() : QStringLiteral("010000");
        } else {
            r.key = v.Value(0).toString();
            r.comment = v.Value(1).toString();
        }
        r.usersPageCurrent = CurrentPageName() == QLatin1String("TabSheetUsers");
        keys = ShowKeyDialog(r);
        if (!keys) return;
    }
    if (newRow)
        v.Append();
    else
        v.Edit();
    if (keys) {
        v.SetValue(0, link::StripSpaces(keys->key));
        v.SetValue(1, keys->comment);
    }
    g->setFocus();
    g->SetEditing(true);
    g->OpenEditor();
}

void TFormMain::ActionCopyRecExecute() {
    TPanelFFind::CloseFastFind();
    DBGrid* g = FocusedGrid();
    if (!IsDataSourceGrid(g) || !dm_->PostAll()) return;
    dm_->CopyRow(*g->View(), *g->View());
}

void TFormMain::ActionDelRecExecute() {
    TPanelFFind::CloseFastFind();
    DBGrid* g = FocusedGrid();
    if (!IsDataSourceGrid(g)) return;
    store::View& v = *g->View();
    if (CurrentPageName() == QLatin1String("TabSheetUsers") &&
        dm_->TableUsers().Text(QStringLiteral("Key")) == rules_->CurrentRegistrarKey() &&
        !rules_->CurrentRegistrarKey().isEmpty()) {
        prompt_->Ask(QStringLiteral("Ошибка"), MsgOwnRow, shell::Icon::Error, shell::Buttons::Ok);
        return;
    }
    if (prompt_->Ask(Confirmation, QStringLiteral("Удалить текущую строку ?"),
                     shell::Icon::Question, shell::Buttons::YesNo) != shell::Answer::Yes)
        return;
    store::ScopedFlag permitted(dm_->DeletePermitted, true);
    v.Delete();
}

void TFormMain::ActionPostRecExecute() {
    TPanelFFind::CloseFastFind();
    DBGrid* g = FocusedGrid();
    if (!IsDataSourceGrid(g)) return;
    g->CloseEditor();
    g->View()->Post();
    g->SetEditing(false);
}

void TFormMain::ActionSortByExecute(int tag) {
    TPanelFFind::CloseFastFind();
    DBGrid* g = FocusedGrid();
    if (!IsDataSourceGrid(g) || !dm_->PostAll()) return;
    store::View& v = *g->View();
    const auto& indexes = v.Def().indexes;
    if (tag < 0 || tag >= static_cast<int>(indexes.size())) return;
    v.SetIndexFieldNames(indexes[static_cast<size_t>(tag)].fields.join(QLatin1Char(';')));
    Action(QStringLiteral("ActionSortByKey"))->setChecked(tag == 0);
    Action(QStringLiteral("ActionSortByName"))->setChecked(tag == 1);
    // The sort buttons are the actions' own: they show down while checked.
}

void TFormMain::ActionMoveExecute(int tag) {
    TPanelFFind::CloseFastFind();
    DBGrid* g = FocusedGrid();
    if (!IsDataSourceGrid(g) || !dm_->PostAll()) return;
    store::View& v = *g->View();
    const int column = std::max(0, g->currentIndex().column());
    const std::vector<GridColumn>& columns = g->Model()->Columns();
    if (column >= static_cast<int>(columns.size())) return;
    const QString field = MovedField(v, columns[static_cast<size_t>(column)].field);

    store::ControlsOff off(v);
    store::ScopedFlag skip(dm_->SkipValidation, true);
    // Both parking places are free again however the move ends, also when a
    // post is refused.
    shell::Finally free([&] {
        dm_->DropBookmark(v, 1);
        dm_->DropBookmark(v, 0);
    });
    dm_->SaveBookmark(v, 0);
    const QVariant a = v.Value(field);
    // The target row; a row already at the edge stays where it is.
    if (tag == 1 || tag == 3) {
        v.Prior();
        if (v.Bof()) {
            dm_->RestoreBookmark(v, 0);
            return;
        }
        if (tag == 3) v.First();
    } else {
        v.Next();
        if (v.Eof()) {
            dm_->RestoreBookmark(v, 0);
            return;
        }
        if (tag == 4) v.Last();
    }
    // The target is cleared first so that a unique index never sees the value twice.
    const QVariant b = v.Value(field);
    v.Edit();
    v.Clear(field);
    v.Post();
    dm_->SaveBookmark(v, 1);
    dm_->RestoreBookmark(v, 0);
    v.Edit();
    v.SetValue(field, b);
    v.Post();
    dm_->RestoreBookmark(v, 1);
    v.Edit();
    v.SetValue(field, a);
    v.Post();
}

void TFormMain::ActionEmptyTableExecute() {
    DBGrid* g = FocusedGrid();
    if (!IsDataSourceGrid(g)) return;
    if (prompt_->Ask(Confirmation, QStringLiteral("Очистить всю таблицу ?"), shell::Icon::Question,
                     shell::Buttons::YesNo) != shell::Answer::Yes)
        return;
    rules_->EmptyWithCompanions(*g->View());
}

}  // namespace kordex::app
