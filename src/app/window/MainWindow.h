#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "LongOperation.h"
#include "app/settings/ProgramSettings.h"
#include "app/table/TableCommands.h"
#include "archive/Pages.h"
#include "collector/Pages.h"
#include "link/SerialPort.h"
#include "store/PageColumns.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QPrinter;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace kordex::shell {
class Clock;
class EventPump;
class Prompt;
}  // namespace kordex::shell

namespace kordex::link {
class ReaderLink;
}  // namespace kordex::link

namespace kordex::store {
class Rules;
class TDM;
class View;
}  // namespace kordex::store

namespace kordex::collector {
class Operations;
}  // namespace kordex::collector

namespace kordex::archive {
class Commands;
}  // namespace kordex::archive

namespace kordex::filters {
class PageFilters;
enum class FilterPage;
}  // namespace kordex::filters

namespace kordex::widgets {
class DBGrid;
class DataLink;
}  // namespace kordex::widgets

namespace kordex::app {

class FilterIndicator;
class GridKeys;
class HelpWindow;
class ReadPage;
class RoundHeader;
class SettingsStore;
class TAboutBox;
class TFormTableCols;
struct LayoutForm;
class TFormPWord;
class TFormFilter;
class TFormStatus;
class TestPage;
class UsersPage;
class WritePage;

inline const QString MainCaption = QStringLiteral("Kordex Коммандер");
inline const QString MsgNoFreePort =
    QStringLiteral("Нет свободного COM-порта !\rЧтение и запись в устройство невозможно.");
inline const QString MsgEmptyDataset =
    QStringLiteral("Не могу выполнить данную операцию над пустой базой данных.");
inline const QString MsgSaveRead = QStringLiteral("Сохранить прочитанные данные ?");
inline const QString JournalExit = QStringLiteral("Выход из программы");
inline const QString MsgOwnRow =
    QStringLiteral("Невозможно удалить пользователя, под именем которого Вы зарегистрированы !");

// What an error reaching the program's handler shows: a replacement text, the
// error's own text, or nothing at all.
std::optional<QString> ExceptionFilterText(const QString& error);

// What the main window works with. Whatever is left empty the window makes
// itself: message boxes, the system clock, Qt's event loop, the serial ports,
// the user's settings and the program directory beside the executable.
struct MainEnv {
    shell::Prompt* prompt = nullptr;
    shell::Clock* clock = nullptr;
    shell::EventPump* pump = nullptr;
    link::SerialPort* port = nullptr;
    SettingsStore* settings = nullptr;
    QString programDirectory;
    // Replaces the port mapping of the settings for this run (the demo's
    // simulated reader); not written back.
    std::optional<link::PortMap> ports;
};

// The main window ("FormMain"): the menus and tool bars, the tree of pages
// with the grids of every table, the device pages, login, navigation and the
// program's start and close. It also owns the data module, the reader link and
// the status window the long operations show.
class TFormMain : public QMainWindow, public collector::DevicePages, public archive::ArchivePages {
    Q_OBJECT
public:
    explicit TFormMain(MainEnv env = {}, QWidget* parent = nullptr);
    ~TFormMain() override;

    // --- What the program's parts reach
    store::TDM& Dm() { return *dm_; }
    store::Rules& Rules() { return *rules_; }
    link::ReaderLink& Link() { return *link_; }
    TFormStatus& Status() { return *status_; }
    TFormPWord& PasswordDialog() { return *pword_; }
    TestPage& DeviceTestPage() { return *testPage_; }
    ReadPage& ReadPageWidget() { return *readPage_; }
    WritePage& WritePageWidget() { return *writePage_; }
    HelpWindow& Help();
    QTabWidget* PageControl() const { return pageControl_; }
    QAction* Action(const QString& name) const;
    widgets::DBGrid* Grid(const QString& name) const;
    const ProgramSettings& Settings() const { return settings_; }
    filters::PageFilters& Filters() { return *filters_; }
    TFormFilter& FilterDialog(filters::FilterPage page) const;
    FilterIndicator* FilterIndicatorOf(filters::FilterPage page) const;

    // --- Commands
    void ActionPWordExecute();
    void ActionCOMExecute(int tag);
    void ActionDReadExecute();
    void ActionDWriteExecute();
    void ActionContextExecute();
    void ActionHelpExecute();
    void ActionAboutExecute();
    // The four commands of the menu "&Архив", each a long operation.
    void ActionLoadArchiveExecute();
    void ActionSaveArchiveExecute();
    void ActionAddArchiveExecute();
    void ActionAddCurArchiveExecute();
    archive::Commands& ArchiveCommands() { return *archive_; }
    // The file dialogs of the archive commands: the chosen file, empty on
    // Cancel; tests answer in its place.
    std::function<QString(const archive::FileDialog&)> archiveDialog;
    // The printer set-up: the printer and its page, kept for the reports.
    void PrinterSetup();
    QPrinter& Printer();

    // --- Navigation
    // The page-leave check; sender: whether a command of its own asks (it then
    // clears the read page once the round there is stored).
    bool PageControlChanging(bool sender);
    void PageControlChange();
    // The page in front and its page in front, as object names.
    QString CurrentPageName() const;
    QString CurrentSubPageName() const;
    // Makes a page current as the program does (no change event), then runs the change.
    void ShowPage(const QString& page, const QString& subPage = {});
    // The enabling and checking of the commands by the focused grid.
    void ActionRefresh(bool gridFocused);
    // The move commands and the row counter follow the focused grid's row.
    void DataChangeRule(store::View& view);
    // The post command follows the focused grid's view state.
    void StateChangeRule(store::View& view);
    // The grid with the focus (or the one whose fast-find panel has it).
    widgets::DBGrid* FocusedGrid() const;

    // --- Table commands. sender: the action, or the grid (Enter, double click).
    void ActionNewRecExecute(QObject* sender);
    void ActionCopyRecExecute();
    void ActionDelRecExecute();
    void ActionPostRecExecute();
    void ActionSortByExecute(int tag);
    void ActionMoveExecute(int tag);
    void ActionEmptyTableExecute();
    // The column commands on the focused grid: the column dialog, and the
    // default widths, colours and fonts of its columns.
    void ActionTablePropertyExecute();
    void ActionDefaultWidthExecute();
    void ActionDefaultColorExecute();
    void ActionDefaultFontExecute();
    TFormTableCols& TableColsDialog() { return *tableCols_; }
    // What the layout of the window and of the column dialog holds.
    LayoutForm MainLayout();
    LayoutForm TableColsLayout();
    // Set filter and remove filter on the filterable page in front.
    void ActionSetFilterExecute();
    void ActionNoFilterExecute();
    // The filterable page in front, if any.
    std::optional<filters::FilterPage> CurrentFilterPage() const;
    // Shows the key dialog of a key grid; tests answer in its place.
    std::function<std::optional<KeyDialogResult>(const KeyDialogRequest&)> keyDialog;
    // "Экспорт в Excel...": the focused grid's rows as it shows them, to an
    // .xlsx or a .csv file chosen in a save dialog, under the status window.
    void ActionExportExecute();
    // The save dialog of the export: the file chosen (a suggested one given),
    // nothing on Cancel; tests answer in its place.
    std::function<std::optional<QString>(const QString& suggested)> exportDialog;
    QLabel* LabelN() const { return labelN_; }

    // Whether a long operation runs (or the status window shows): the window
    // then starts no command and no page change.
    bool Busy() const;

    // The program-wide error handler: shows an error as the filter says.
    void MyException(const QString& error);

    // --- Device pages and the archive commands' pages
    bool PageLeaveCheck() override;
    void ShowReadPage() override;
    void ShowWritePage() override;
    collector::ReadOptions ReadPageOptions() override;
    void AttachReadPage() override;
    void DetachReadPage() override;
    collector::WriteChoices WritePageChoices() override;
    void FillWritePage(const QVariant& guardKey, const QVariant& pathId, int mode,
                       const QString& memo) override;
    void SetWriteInterval(int seconds) override;
    void ClearWritePath() override;
    void FocusGuardChoice() override;
    void FocusMemo(qsizetype position, qsizetype length) override;
    std::optional<double> ChooseRegistrationTime(store::View& entries) override;
    void ShowJournalRounds() override;
    void ShowArchiveRounds() override;
    QString ChooseFile(const archive::FileDialog& dialog) override;
    void RefreshActions() override;

    // The close sequence up to the journal, as at an orderly close (for tests
    // that do not show the window).
    void FormClose();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void BuildActions();
    void BuildMenus();
    void BuildToolBars();
    // The table tool bar beside the main one where the window is wide
    // enough for both, on a row of its own otherwise.
    void FitToolBars();
    void BuildArchiveActions();
    void BuildPages();
    QAction* MakeAction(const char* name, const QString& text, const QString& hint,
                        const QKeySequence& shortcut = {}, int tag = 0);
    widgets::DBGrid* MakeGrid(const char* name, int tag, store::View& view,
                              const store::PageColumns& columns);
    void WireGrid(widgets::DBGrid* grid);
    QWidget* RoundsPage(const char* rounds, const char* touches, const char* missed, store::View& r,
                        store::View& t, store::View& m);
    QWidget* DatePage(const char* touches, store::View& t, store::View& r, RoundHeader** header);
    void ApplyMapping();
    void SwitchEventView();
    void SwitchPair(store::View& rounds, store::View& touches, bool datePageInFront,
                    filters::FilterPage roundsPage, filters::FilterPage datePage);
    void MakeFilterDialogs();
    // Each indicator shows exactly while its page's filter is on.
    void ShowFilterIndicators();
    bool TestPageInFront() const;
    bool ReadPageInFront() const;
    void SetPageVisible(const QString& name, bool visible);
    std::optional<KeyDialogResult> ShowKeyDialog(const KeyDialogRequest& request);
    std::optional<QString> AskExportFile(const QString& suggested);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void GridLeft(widgets::DBGrid* grid, Qt::FocusReason reason);
    // Runs a command; an error that escapes it goes to MyException.
    void Run(const std::function<void()>& command);
    // Runs an operator's command, unless a long operation runs.
    void Command(const std::function<void()>& command);

    MainEnv env_;
    std::unique_ptr<shell::Prompt> ownPrompt_;
    std::unique_ptr<shell::Clock> ownClock_;
    std::unique_ptr<shell::EventPump> ownPump_;
    std::unique_ptr<link::SerialPort> ownPort_;
    std::unique_ptr<SettingsStore> ownSettings_;
    shell::Prompt* prompt_ = nullptr;
    shell::Clock* clock_ = nullptr;
    shell::EventPump* pump_ = nullptr;
    SettingsStore* settingsStore_ = nullptr;

    // In the order they are made: the status window before the data module,
    // which shows it while the tables open.
    std::unique_ptr<TFormStatus> status_;
    std::unique_ptr<store::TDM> dm_;
    std::unique_ptr<store::Rules> rules_;
    std::unique_ptr<filters::PageFilters> filters_;
    std::unique_ptr<link::ReaderLink> link_;
    std::unique_ptr<collector::Operations> ops_;
    std::unique_ptr<archive::Commands> archive_;
    std::unique_ptr<GridKeys> gridKeys_;
    ProgramSettings settings_;

    std::map<QString, QAction*> actions_;
    std::map<QString, widgets::DBGrid*> grids_;
    QActionGroup* sortGroup_ = nullptr;
    QMenu* popupTable_ = nullptr;
    QLabel* labelN_ = nullptr;
    QToolBar* toolBarMain_ = nullptr;
    QToolBar* toolBarTable_ = nullptr;
    int lastRowNumber_ = 0;                           // the counter's last positive row number
    std::map<store::View*, int> rowCounts_;           // rows of each view at the last refresh
    std::unique_ptr<widgets::DataLink> refreshLink_;  // the focused grid's view

    QTabWidget* pageControl_ = nullptr;
    std::map<QString, QWidget*> pages_;     // every page and inner page by name
    std::map<QString, QTabWidget*> inner_;  // the inner page control of a page
    UsersPage* usersPage_ = nullptr;
    TestPage* testPage_ = nullptr;
    ReadPage* readPage_ = nullptr;
    WritePage* writePage_ = nullptr;
    RoundHeader* dateHeader_ = nullptr;
    RoundHeader* archiveDateHeader_ = nullptr;

    std::unique_ptr<TFormPWord> pword_;
    std::map<filters::FilterPage, std::unique_ptr<TFormFilter>> filterDialogs_;
    std::map<filters::FilterPage, FilterIndicator*> filterPanels_;
    std::unique_ptr<TAboutBox> about_;
    std::unique_ptr<TFormTableCols> tableCols_;
    std::unique_ptr<HelpWindow> help_;
    std::unique_ptr<QPrinter> printer_;

    // The page and inner page in front as of the last page change: the page a
    // tab click is leaving.
    QString frontPage_, frontSub_;
    bool shown_ = false;
    bool closed_ = false;
    bool changing_ = false;  // a page is being made current by the program
    LongOperations operations_;
    QString exportDirectory_;  // where the last export went
};

}  // namespace kordex::app
