// The menu "&Архив" in the main window: its four commands, the pages they
// bring forward and their file dialogs. The work itself is archive::Commands'.
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QStyle>

#include "app/window/MainWindow.h"
#include "archive/Commands.h"

namespace kordex::app {

void TFormMain::BuildArchiveActions() {
    // Each command is disabled until a login shows the archive page.
    const QStyle::StandardPixmap icons[] = {QStyle::SP_DialogOpenButton, QStyle::SP_DriveFDIcon,
                                            QStyle::SP_FileDialogNewFolder,
                                            QStyle::SP_FileDialogToParent};
    const std::function<void()> commands[] = {
        [this] { ActionLoadArchiveExecute(); }, [this] { ActionSaveArchiveExecute(); },
        [this] { ActionAddArchiveExecute(); }, [this] { ActionAddCurArchiveExecute(); }};
    for (size_t i = 0; i < archive::Actions().size(); ++i) {
        const archive::ActionText& t = archive::Actions()[i];
        QAction* a = MakeAction(t.name, t.caption, t.hint);
        a->setIcon(style()->standardIcon(icons[i]));
        a->setProperty("image", t.image);
        a->setEnabled(false);
        const std::function<void()> command = commands[i];
        connect(a, &QAction::triggered, this, [this, command] { Command(command); });
    }
}

// Nothing else starts while one of them runs: the status window is the only
// way in, and the merges let it be closed to stop them.
void TFormMain::ActionLoadArchiveExecute() {
    const LongOperations::Hold busy(operations_);
    archive_->ActionLoadArchiveExecute();
    ActionRefresh(true);
}

void TFormMain::ActionSaveArchiveExecute() {
    const LongOperations::Hold busy(operations_);
    archive_->ActionSaveArchiveExecute();
    ActionRefresh(true);
}

void TFormMain::ActionAddArchiveExecute() {
    const LongOperations::Hold busy(operations_);
    archive_->ActionAddArchiveExecute();
    ActionRefresh(true);
}

void TFormMain::ActionAddCurArchiveExecute() {
    const LongOperations::Hold busy(operations_);
    archive_->ActionAddCurArchiveExecute();
    ActionRefresh(true);
}

// Bringing a rounds page forward puts both table pairs in round mode, each
// rounds table filtered as its page's indicator says.
void TFormMain::ShowJournalRounds() {
    ShowPage(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDEvents"));
}

void TFormMain::ShowArchiveRounds() {
    ShowPage(QStringLiteral("TabSheetAEvents"), QStringLiteral("TabSheetKDAEvents"));
}

QString TFormMain::ChooseFile(const archive::FileDialog& d) {
    if (archiveDialog) return archiveDialog(d);
    const bool save = d.kind == archive::FileDialog::Kind::Save;
    QFileDialog dialog(this, QString(), d.directory, archive::QtDialogFilter(d.filter));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Saving asks before an existing file is replaced (Qt's default); opening
    // takes only a file that exists.
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(d.defaultSuffix);
    if (!d.fileName.isEmpty()) dialog.selectFile(QDir(d.directory).filePath(d.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

void TFormMain::RefreshActions() {
    ActionRefresh(true);
}

}  // namespace kordex::app
