// "Экспорт в Excel...": the focused grid's rows, as it shows them, written to
// an .xlsx or a .csv file chosen in a save dialog.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>

#include "app/window/MainWindow.h"
#include "app/window/StatusForm.h"
#include "sheets/Sheet.h"
#include "shell/Prompt.h"
#include "shell/ScopeExit.h"
#include "store/DataModule.h"
#include "widgets/DBGrid.h"
#include "widgets/GridModel.h"

namespace kordex::app {

namespace {

const QString MsgExportFailed = QStringLiteral("Ошибка при экспорте данных !");

// The sheet of a grid as it shows its view: the columns shown in their order
// with their titles, widths and date formats, touch rows in their colours.
sheets::Sheet GridSheet(const widgets::DBGrid& grid) {
    sheets::Sheet sheet;
    const widgets::GridModel* model = grid.Model();
    if (model == nullptr || grid.View() == nullptr) return sheet;
    sheet.view = grid.View();
    const QFontMetrics metrics = grid.fontMetrics();
    const int perChar =
        std::max({metrics.averageCharWidth(), metrics.horizontalAdvance(QLatin1Char('0')), 1});
    const QHeaderView* header = grid.horizontalHeader();
    const std::vector<int>& widths = grid.ColumnWidths();
    // The columns shown, in the order they are shown.
    for (int visual = 0; visual < header->count(); ++visual) {
        const int c = header->logicalIndex(visual);
        if (c < 0 || header->isSectionHidden(c) || c >= model->columnCount()) continue;
        const widgets::GridColumn& column = model->Columns()[c];
        const store::Field& field = model->FieldOf(c);
        // The width the grid keeps: the last column's stretch is not its own.
        const int pixels = c < static_cast<int>(widths.size()) ? widths[c] : header->sectionSize(c);
        sheet.columns.push_back(
            {column.field, column.title, static_cast<double>(pixels) / perChar,
             widgets::IsDateTime(field.type) ? field.DateTimeFormat() : QString()});
    }
    if (model->IsTouchGrid()) sheet.rowColour = sheets::TouchKindColours(*sheet.view);
    return sheet;
}

}  // namespace

std::optional<QString> TFormMain::AskExportFile(const QString& suggested) {
    if (exportDialog) return exportDialog(suggested);
    const QString xlsx = QStringLiteral("Книга Excel (*.xlsx)");
    const QString csv = QStringLiteral("Текст CSV (*.csv)");
    QFileDialog dialog(this, QStringLiteral("Экспорт в Excel"), suggested,
                       xlsx + QStringLiteral(";;") + csv);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("xlsx"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, csv](const QString& f) {
        dialog.setDefaultSuffix(f == csv ? QStringLiteral("csv") : QStringLiteral("xlsx"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

void TFormMain::ActionExportExecute() {
    widgets::DBGrid* g = FocusedGrid();
    if (g == nullptr || g->View() == nullptr || !g->View()->IsOpen()) return;
    store::View& v = *g->View();
    store::TDM::PostIfEditing(v);
    if (!store::TDM::HasRows(v)) return;
    const sheets::Sheet sheet = GridSheet(*g);

    QString suggested = g->objectName();
    if (suggested.startsWith(QLatin1String("DBGrid"))) suggested = suggested.mid(6);
    std::optional<QString> file =
        AskExportFile(QDir(exportDirectory_.isEmpty() ? QDir::homePath() : exportDirectory_)
                          .filePath(suggested + QStringLiteral(".xlsx")));
    if (!file || file->isEmpty()) return;
    std::optional<sheets::FileKind> kind = sheets::FileKindOf(*file);
    if (!kind) {
        *file += QStringLiteral(".xlsx");
        kind = sheets::FileKind::Xlsx;
    }
    exportDirectory_ = QFileInfo(*file).absolutePath();

    const LongOperations::Hold busy(operations_);
    status_->Show(sheets::text::ExportCaption, sheets::text::ExportStatus, 100);
    const shell::Finally closeStatus([this] { status_->Close(); });
    const sheets::Progress progress = [this](int64_t done, int64_t total) {
        status_->SetPosition(total > 0 ? static_cast<int>(done * 100 / total) : 100);
        status_->Pump();
        return status_->IsShowing();
    };
    try {
        // A stop by the operator has been answered by the status window.
        sheets::WriteFile(sheet, *file, *kind, progress);
    } catch (const store::Error& e) {
        status_->Close();
        prompt_->Ask(shell::CaptionError, store::WithCause(MsgExportFailed, e), shell::Icon::Error,
                     shell::Buttons::Ok);
    }
}

}  // namespace kordex::app
