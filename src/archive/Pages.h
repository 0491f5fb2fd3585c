#pragma once

#include <QString>
#include <vector>

namespace kordex::archive {

// The filter of both file dialogs, in the form "text|mask|text|mask".
inline const QString DialogFilter =
    QStringLiteral("Архив событий Kordex'а (KDEv*.zip)|KDEv*.zip|Все файлы (*.*)|*.*");
inline const QString DialogSuffix = QStringLiteral("zip");

// The same filter as a Qt file dialog takes it ("text;;text").
QString QtDialogFilter(const QString& filter = DialogFilter);

// One showing of a file dialog of the archive commands.
struct FileDialog {
    enum class Kind {
        Save,  // asks before overwriting an existing file; no read-only box
        Open,  // the path and the file must exist
    };
    Kind kind = Kind::Open;
    QString directory;  // where the dialog starts
    QString fileName;   // the name it offers (save: the default name, without extension)
    QString defaultSuffix = DialogSuffix;
    QString filter = DialogFilter;
};

// What the archive commands ask of the main window: the page-leave check,
// the pages they bring forward, the file dialogs and the action refresh. The
// window implements it; tests and the command line keep it in memory.
class ArchivePages {
public:
    virtual ~ArchivePages() = default;

    // Posts pending edits and, on the read page, may ask to keep a round just
    // read. False: the command does nothing.
    virtual bool PageLeaveCheck() = 0;
    // "События Kordex'a по обходам" under "Журнал событий" (save) or under
    // "Архив событий" (the other three) in front, both table pairs in round
    // mode, each rounds table filtered as its indicator says.
    virtual void ShowJournalRounds() = 0;
    virtual void ShowArchiveRounds() = 0;
    // The chosen file's full path; empty when the dialog was cancelled.
    virtual QString ChooseFile(const FileDialog& dialog) = 0;
    // The refresh of the window's actions.
    virtual void RefreshActions() = 0;
};

// Pages without a screen: the file is the one set, and what was asked is kept.
class PlainArchivePages : public ArchivePages {
public:
    bool PageLeaveCheck() override { return leaveAllowed; }
    void ShowJournalRounds() override { ++journalShown; }
    void ShowArchiveRounds() override { ++archiveShown; }
    QString ChooseFile(const FileDialog& dialog) override {
        dialogs.push_back(dialog);
        return chosenFile;
    }
    void RefreshActions() override { ++actionRefreshes; }

    bool leaveAllowed = true;
    QString chosenFile;  // empty: the dialog is cancelled
    int journalShown = 0, archiveShown = 0, actionRefreshes = 0;
    std::vector<FileDialog> dialogs;
};

}  // namespace kordex::archive
