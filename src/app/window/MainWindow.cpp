#include "MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "AboutBox.h"
#include "HelpWindow.h"
#include "MessagePrompt.h"
#include "StatusForm.h"
#include "app/device/DateRegDialog.h"
#include "app/device/DevicePageWidgets.h"
#include "app/device/TestPage.h"
#include "app/filters/FilterDialogs.h"
#include "app/layout/ColumnDialog.h"
#include "app/layout/Layout.h"
#include "app/login/PasswordDialog.h"
#include "app/login/Rights.h"
#include "app/login/UsersPage.h"
#include "app/settings/SettingsStore.h"
#include "app/table/FastFind.h"
#include "archive/Commands.h"
#include "collector/Operations.h"
#include "filters/PageFilters.h"
#include "link/QtSerialPort.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "store/DataModule.h"
#include "store/Rules.h"
#include "widgets/DBGrid.h"
#include "widgets/DataWidgets.h"

using namespace kordex::widgets;

namespace kordex::app {

namespace {

constexpr int DesignWidth = 624;
constexpr int DesignHeight = 417;
constexpr int PageMinWidth = 624;
constexpr int PageMinHeight = 363;

const QString Confirmation = QStringLiteral("Подтверждение");

}  // namespace

std::optional<QString> ExceptionFilterText(const QString& error) {
    if (error.contains(QLatin1String("Cannot perform this operation on an empty dataset")))
        return MsgEmptyDataset;
    if (error.contains(QLatin1String("Grid index out of range")) ||
        error.contains(QLatin1String("You must be in ShowCheckbox mode to set to this date")))
        return std::nullopt;
    return error;
}

TFormMain::TFormMain(MainEnv env, QWidget* parent) : QMainWindow(parent), env_(std::move(env)) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(MainCaption);
    setWindowIcon(ProgramIcon());

    if (env_.prompt == nullptr) ownPrompt_ = std::make_unique<MessagePrompt>(this);
    if (env_.clock == nullptr) ownClock_ = std::make_unique<shell::SystemClock>();
    if (env_.pump == nullptr) ownPump_ = std::make_unique<shell::QtEventPump>();
    if (env_.port == nullptr) ownPort_ = std::make_unique<link::QtSerialPort>();
    if (env_.settings == nullptr) ownSettings_ = std::make_unique<QSettingsStore>();
    prompt_ = env_.prompt != nullptr ? env_.prompt : ownPrompt_.get();
    clock_ = env_.clock != nullptr ? env_.clock : ownClock_.get();
    pump_ = env_.pump != nullptr ? env_.pump : ownPump_.get();
    settingsStore_ = env_.settings != nullptr ? env_.settings : ownSettings_.get();
    link::SerialPort& port = env_.port != nullptr ? *env_.port : *ownPort_;

    status_ = std::make_unique<TFormStatus>(*prompt_, this);
    dm_ = std::make_unique<store::TDM>(*prompt_, *status_, *clock_, *pump_, env_.programDirectory);
    rules_ = std::make_unique<store::Rules>(*dm_);
    filters_ = std::make_unique<filters::PageFilters>(*dm_);
    filters_->ConnectRules(*rules_);
    link_ = std::make_unique<link::ReaderLink>(port, *prompt_, *status_, *clock_, *pump_);
    ops_ = std::make_unique<collector::Operations>(*link_, *dm_, *rules_, *prompt_, *status_,
                                                   *clock_, *this);
    archive_ = std::make_unique<archive::Commands>(*dm_, *rules_, *this);
    rules_->actionRefresh = [this] { ActionRefresh(true); };
    gridKeys_ = std::make_unique<GridKeys>(*dm_);
    gridKeys_->gridExit = [this](DBGrid*) { ActionRefresh(false); };
    gridKeys_->postRow = [this](DBGrid*) {
        if (Action(QStringLiteral("ActionPostRec"))->isEnabled())
            Command([this] { ActionPostRecExecute(); });
    };
    gridKeys_->newOrEditRow = [this](DBGrid* g) { Command([this, g] { ActionNewRecExecute(g); }); };
    refreshLink_ = std::make_unique<DataLink>();
    connect(refreshLink_.get(), &DataLink::dataChanged, this, [this] {
        if (refreshLink_->View() != nullptr) DataChangeRule(*refreshLink_->View());
    });
    connect(refreshLink_.get(), &DataLink::refreshed, this, [this] {
        if (refreshLink_->View() != nullptr) DataChangeRule(*refreshLink_->View());
    });
    connect(refreshLink_.get(), &DataLink::stateChanged, this, [this] {
        if (refreshLink_->View() != nullptr) StateChangeRule(*refreshLink_->View());
    });

    BuildActions();
    BuildMenus();
    BuildToolBars();
    BuildPages();
    MakeFilterDialogs();

    about_ = std::make_unique<TAboutBox>(this);
    pword_ = std::make_unique<TFormPWord>(*dm_, *rules_, *link_, *prompt_, *settingsStore_, this);
    testPage_->Attach(*link_, *status_, *clock_, [this] { return pword_ && pword_->Showing(); });
    testPage_->SetLongOperations(&operations_);
    tableCols_ = std::make_unique<TFormTableCols>(this);
    RestoreLayout(TableColsLayout(), *settingsStore_, ProgramKey);

    FormCreate();
}

TFormMain::~TFormMain() {
    if (testPage_ != nullptr) testPage_->Stop();
    // The lists and grids go with the window; the tables close after them.
    pword_.reset();
    filterDialogs_.clear();
    delete centralWidget();
    if (link_) link_->PortClose();
    if (dm_) dm_->CloseDatabases();
}

HelpWindow& TFormMain::Help() {
    if (!help_) help_ = std::make_unique<HelpWindow>(this);
    return *help_;
}

QAction* TFormMain::Action(const QString& name) const {
    auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

DBGrid* TFormMain::Grid(const QString& name) const {
    if (name == QLatin1String("DBGridKDREvents")) return readPage_->TouchGrid();
    if (name == QLatin1String("DBGridKDLEvents")) return readPage_->MissedGrid();
    auto it = grids_.find(name);
    return it == grids_.end() ? nullptr : it->second;
}

void TFormMain::Run(const std::function<void()>& command) {
    try {
        command();
    } catch (const store::Abort&) {
        // A rule has told the operator already.
    } catch (const std::exception& e) {
        MyException(QString::fromUtf8(e.what()));
    }
}

bool TFormMain::Busy() const {
    return operations_.Running() || status_->IsShowing();
}

void TFormMain::Command(const std::function<void()>& command) {
    if (Busy()) return;
    Run(command);
}

void TFormMain::MyException(const QString& error) {
    const std::optional<QString> text = ExceptionFilterText(error);
    if (!text) return;
    prompt_->Ask(QStringLiteral("Ошибка"), *text, shell::Icon::Error, shell::Buttons::Ok);
}

// --- Actions, menus, tool bars

QAction* TFormMain::MakeAction(const char* name, const QString& text, const QString& hint,
                               const QKeySequence& shortcut, int tag) {
    auto* a = new QAction(text, this);
    a->setObjectName(QString::fromLatin1(name));
    a->setToolTip(hint.isEmpty() ? QString(text).remove(QLatin1Char('&')) : hint);
    a->setStatusTip(a->toolTip());
    if (!shortcut.isEmpty()) a->setShortcut(shortcut);
    a->setProperty("tag", tag);
    actions_[a->objectName()] = a;
    return a;
}

void TFormMain::BuildActions() {
    QStyle* s = style();
    auto icon = [s](QStyle::StandardPixmap p) { return s->standardIcon(p); };

    // File
    QAction* pword = MakeAction("ActionPWord", QStringLiteral("&Ввод пароля..."),
                                QStringLiteral("Ввод пароля"), QKeySequence(Qt::CTRL | Qt::Key_A));
    pword->setIcon(icon(QStyle::SP_DialogApplyButton));
    connect(pword, &QAction::triggered, this,
            [this] { Command([this] { ActionPWordExecute(); }); });
    QAction* exit = MakeAction("MenuItemExit", QStringLiteral("Вы&ход"), QStringLiteral("Выход"),
                               QKeySequence(Qt::ALT | Qt::Key_X));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    // Table: the commands of the focused grid. They wait for the action
    // refresh of the grid commands; until then they stay disabled.
    struct TableAction {
        const char* name;
        QString text, hint;
        QKeySequence shortcut;
        int tag;
        QStyle::StandardPixmap icon;
    };
    const std::vector<TableAction> table = {
        {"ActionNewRec", QStringLiteral("&Новая строка"), QStringLiteral("Новая строка"),
         QKeySequence(Qt::Key_Insert), 0, QStyle::SP_FileIcon},
        {"ActionEditRec", QStringLiteral("&Изменить строку"), QStringLiteral("Изменить строку"),
         QKeySequence(Qt::SHIFT | Qt::Key_Return), 0, QStyle::SP_FileDialogDetailedView},
        {"ActionCopyRec", QStringLiteral("&Копировать строку"), QStringLiteral("Копировать строку"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Return), 0, QStyle::SP_FileLinkIcon},
        {"ActionDelRec", QStringLiteral("&Удалить строку"), QStringLiteral("Удалить строку"),
         QKeySequence(Qt::CTRL | Qt::Key_Delete), 0, QStyle::SP_TrashIcon},
        {"ActionPostRec",
         QStringLiteral("&Записать строку"),
         QStringLiteral("Записать строку"),
         {},
         0,
         QStyle::SP_DialogSaveButton},
        {"ActionSortByKey", QStringLiteral("Сортировать по к&лючу/дате"),
         QStringLiteral("Сортировать по ключу/дате"), QKeySequence(Qt::CTRL | Qt::Key_1), 0,
         QStyle::SP_ArrowDown},
        {"ActionSortByName", QStringLiteral("Сортировать по н&азванию"),
         QStringLiteral("Сортировать по названию"), QKeySequence(Qt::CTRL | Qt::Key_2), 1,
         QStyle::SP_FileDialogListView},
        {"ActionSetFilter",
         QStringLiteral("&Фильтр..."),
         QStringLiteral("Установить фильтр"),
         {},
         0,
         QStyle::SP_FileDialogContentsView},
        {"ActionNoFilter",
         QStringLiteral("У&брать фильтр"),
         QStringLiteral("Убрать фильтр"),
         {},
         0,
         QStyle::SP_DialogResetButton},
        {"ActionMoveUp", QStringLiteral("Сдвинуть ячейку в&верх"),
         QStringLiteral("Сдвинуть ячейку вверх"), QKeySequence(Qt::CTRL | Qt::Key_Up), 1,
         QStyle::SP_ArrowUp},
        {"ActionMoveDown", QStringLiteral("Сдвинуть ячейку вн&из"),
         QStringLiteral("Сдвинуть ячейку вниз"), QKeySequence(Qt::CTRL | Qt::Key_Down), 2,
         QStyle::SP_ArrowDown},
        {"ActionMoveFirst", QStringLiteral("Сдвинуть ячейку в на&чало"),
         QStringLiteral("Сдвинуть ячейку в начало"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Up), 3, QStyle::SP_MediaSkipBackward},
        {"ActionMoveLast", QStringLiteral("Сдвинуть ячейку в коне&ц"),
         QStringLiteral("Сдвинуть ячейку в конец"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Down), 4, QStyle::SP_MediaSkipForward},
        {"ActionEmptyTable",
         QStringLiteral("&Очистить таблицу"),
         QStringLiteral("Очистить всю таблицу"),
         {},
         0,
         QStyle::SP_CustomBase},
        {"ActionExport",
         QStringLiteral("Экспорт в Excel..."),
         QStringLiteral("Экспорт в Excel"),
         {},
         0,
         QStyle::SP_DialogSaveButton},
        {"ActionTableProperty",
         QStringLiteral("&Параметры таблицы..."),
         QStringLiteral("Параметры таблицы"),
         {},
         0,
         QStyle::SP_CustomBase},
        {"ActionDefaultWidth",
         QStringLiteral("Нормализовать размер колонок"),
         {},
         {},
         0,
         QStyle::SP_CustomBase},
        {"ActionDefaultColor",
         QStringLiteral("Нормализовать цвет колонок"),
         {},
         {},
         0,
         QStyle::SP_CustomBase},
        {"ActionDefaultFont",
         QStringLiteral("Нормализовать шрифт колонок"),
         {},
         {},
         0,
         QStyle::SP_CustomBase},
    };
    sortGroup_ = new QActionGroup(this);
    for (const TableAction& t : table) {
        QAction* a = MakeAction(t.name, t.text, t.hint, t.shortcut, t.tag);
        if (t.icon != QStyle::SP_CustomBase) a->setIcon(icon(t.icon));
        a->setEnabled(false);
        a->setProperty("list", QStringLiteral("ActionListTable"));
    }
    auto on = [this](const char* name, std::function<void()> command) {
        connect(Action(QString::fromLatin1(name)), &QAction::triggered, this,
                [this, command] { Command(command); });
    };
    on("ActionNewRec", [this] { ActionNewRecExecute(Action(QStringLiteral("ActionNewRec"))); });
    on("ActionEditRec", [this] { ActionNewRecExecute(Action(QStringLiteral("ActionEditRec"))); });
    on("ActionCopyRec", [this] { ActionCopyRecExecute(); });
    on("ActionDelRec", [this] { ActionDelRecExecute(); });
    on("ActionPostRec", [this] { ActionPostRecExecute(); });
    on("ActionSortByKey", [this] { ActionSortByExecute(0); });
    on("ActionSortByName", [this] { ActionSortByExecute(1); });
    for (int tag = 1; tag <= 4; ++tag) {
        static const char* const moves[] = {"ActionMoveUp", "ActionMoveDown", "ActionMoveFirst",
                                            "ActionMoveLast"};
        on(moves[tag - 1], [this, tag] { ActionMoveExecute(tag); });
    }
    on("ActionEmptyTable", [this] { ActionEmptyTableExecute(); });
    on("ActionSetFilter", [this] { ActionSetFilterExecute(); });
    on("ActionNoFilter", [this] { ActionNoFilterExecute(); });
    on("ActionExport", [this] { ActionExportExecute(); });
    on("ActionTableProperty", [this] { ActionTablePropertyExecute(); });
    on("ActionDefaultWidth", [this] { ActionDefaultWidthExecute(); });
    on("ActionDefaultColor", [this] { ActionDefaultColorExecute(); });
    on("ActionDefaultFont", [this] { ActionDefaultFontExecute(); });
    for (const char* n : {"ActionSortByKey", "ActionSortByName"}) {
        QAction* a = Action(QString::fromLatin1(n));
        a->setCheckable(true);
        sortGroup_->addAction(a);
    }
    Action(QStringLiteral("ActionSortByName"))->setChecked(true);

    // Device
    QAction* read = MakeAction("ActionDRead", QStringLiteral("&Чтение данных из Kordex'а"),
                               QStringLiteral("Чтение данных из Kordex'а"));
    read->setIcon(icon(QStyle::SP_ArrowDown));
    read->setEnabled(false);
    connect(read, &QAction::triggered, this, [this] { Command([this] { ActionDReadExecute(); }); });
    QAction* write = MakeAction("ActionDWrite", QStringLiteral("&Запись данных в Kordex"),
                                QStringLiteral("Запись данных в Kordex"));
    write->setIcon(icon(QStyle::SP_ArrowUp));
    write->setEnabled(false);
    connect(write, &QAction::triggered, this,
            [this] { Command([this] { ActionDWriteExecute(); }); });

    BuildArchiveActions();

    // Reports: preview and print come with the reports; they stay disabled.
    QAction* preview = MakeAction("ActionPreview", QStringLiteral("П&редварительный просмотр..."),
                                  QStringLiteral("Предварительный просмотр"), {}, 0);
    preview->setIcon(icon(QStyle::SP_FileDialogInfoView));
    preview->setEnabled(false);
    QAction* print = MakeAction("ActionPrint", QStringLiteral("&Печать"), QStringLiteral("Печать"),
                                QKeySequence(Qt::CTRL | Qt::Key_P), 1);
    print->setIcon(icon(QStyle::SP_ComputerIcon));
    print->setEnabled(false);
    QAction* printer = MakeAction("MenuItemPrinterSetup", QStringLiteral("&Настройка принтера..."),
                                  QStringLiteral("Настройка принтера"));
    connect(printer, &QAction::triggered, this, [this] { Command([this] { PrinterSetup(); }); });

    // Ports
    for (int d = 1; d <= 4; ++d) {
        const QString n = QString::number(d);
        QAction* a = MakeAction(("ActionCOM" + n).toLatin1().constData(), "COM&" + n,
                                QStringLiteral("Работа с устройством через порт COM") + n, {}, d);
        a->setCheckable(true);
        // The chosen port decides the checks; a click only asks for the choice.
        connect(a, &QAction::triggered, this, [this, d, a] {
            a->setChecked(settings_.port == d);
            Command([this, d] { ActionCOMExecute(d); });
        });
    }

    // Help
    QAction* context = MakeAction("ActionContext", QStringLiteral("&Справка..."),
                                  QStringLiteral("Справка"), QKeySequence(Qt::Key_F1));
    connect(context, &QAction::triggered, this,
            [this] { Command([this] { ActionContextExecute(); }); });
    QAction* help = MakeAction("ActionHelp", QStringLiteral("Со&держание..."),
                               QStringLiteral("Содержание"), QKeySequence(Qt::SHIFT | Qt::Key_F1));
    help->setIcon(icon(QStyle::SP_DialogHelpButton));
    connect(help, &QAction::triggered, this, [this] { Command([this] { ActionHelpExecute(); }); });
    QAction* about =
        MakeAction("ActionAbout", QStringLiteral("&О программе..."), QStringLiteral("О программе"));
    about->setIcon(icon(QStyle::SP_MessageBoxInformation));
    connect(about, &QAction::triggered, this,
            [this] { Command([this] { ActionAboutExecute(); }); });

    for (auto& [name, a] : actions_)
        addAction(a);  // shortcuts work wherever the focus is in the window
}

void TFormMain::BuildMenus() {
    auto add = [this](QMenu* m, std::initializer_list<const char*> names) {
        for (const char* n : names) {
            if (n == nullptr)
                m->addSeparator();
            else
                m->addAction(Action(QString::fromLatin1(n)));
        }
    };
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("&Файл"));
    file->setObjectName(QStringLiteral("MenuFile"));
    add(file, {"ActionPWord", nullptr, "MenuItemExit"});
    QMenu* table = bar->addMenu(QStringLiteral("&Таблица"));
    table->setObjectName(QStringLiteral("MenuTable"));
    const std::initializer_list<const char*> tableItems = {"ActionNewRec",
                                                           "ActionEditRec",
                                                           "ActionCopyRec",
                                                           "ActionDelRec",
                                                           "ActionPostRec",
                                                           nullptr,
                                                           "ActionSortByKey",
                                                           "ActionSortByName",
                                                           nullptr,
                                                           "ActionSetFilter",
                                                           "ActionNoFilter",
                                                           nullptr,
                                                           "ActionExport",
                                                           nullptr,
                                                           "ActionMoveUp",
                                                           "ActionMoveDown",
                                                           "ActionMoveFirst",
                                                           "ActionMoveLast",
                                                           nullptr,
                                                           "ActionEmptyTable",
                                                           nullptr,
                                                           "ActionTableProperty",
                                                           "ActionDefaultWidth",
                                                           "ActionDefaultColor",
                                                           "ActionDefaultFont"};
    add(table, tableItems);
    // The grids' own menu holds the same commands in the same order.
    popupTable_ = new QMenu(this);
    popupTable_->setObjectName(QStringLiteral("PopupMenuTable"));
    add(popupTable_, tableItems);
    QMenu* device = bar->addMenu(QStringLiteral("&Устройство"));
    device->setObjectName(QStringLiteral("MenuDevice"));
    add(device, {"ActionDRead", "ActionDWrite"});
    QMenu* archive = bar->addMenu(QStringLiteral("&Архив"));
    archive->setObjectName(QStringLiteral("MenuArchive"));
    add(archive, {"ActionLoadArchive", "ActionSaveArchive", nullptr, "ActionAddArchive",
                  "ActionAddCurArchive"});
    QMenu* report = bar->addMenu(QStringLiteral("Отч&ет"));
    report->setObjectName(QStringLiteral("MenuReport"));
    add(report, {"ActionPreview", "ActionPrint", nullptr, "MenuItemPrinterSetup"});
    QMenu* port = bar->addMenu(QStringLiteral("П&орт"));
    port->setObjectName(QStringLiteral("MenuPort"));
    add(port, {"ActionCOM1", "ActionCOM2", "ActionCOM3", "ActionCOM4"});
    QMenu* help = bar->addMenu(QStringLiteral("&Помощь"));
    help->setObjectName(QStringLiteral("MenuHelp"));
    add(help, {"ActionContext", "ActionHelp", nullptr, "ActionAbout"});
}

namespace {

// The tool bars stand in two rows above the pages at the window's design
// size: each no higher than its buttons.
constexpr auto ToolBarStyle = "QToolBar { border: 0px; padding: 1px; spacing: 1px; }";

}  // namespace

void TFormMain::BuildToolBars() {
    auto* main = new QToolBar(QStringLiteral("Главная панель"), this);
    main->setStyleSheet(QString::fromLatin1(ToolBarStyle));
    main->setObjectName(QStringLiteral("ToolBarMain"));
    main->setMovable(false);
    main->setIconSize(QSize(16, 16));
    auto button = [main, this](const char* action, const char* name = nullptr) {
        QAction* a = Action(QString::fromLatin1(action));
        main->addAction(a);
        auto* b = qobject_cast<QToolButton*>(main->widgetForAction(a));
        if (b != nullptr && name != nullptr) b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    button("ActionPWord", "ToolButtonPWord");
    main->addSeparator();
    for (int d = 1; d <= 4; ++d) {
        const QByteArray n = "ActionCOM" + QByteArray::number(d);
        const QByteArray b = "ToolButtonCOM" + QByteArray::number(d);
        button(n.constData(), b.constData());
    }
    main->addSeparator();
    button("ActionDRead", "ToolButtonDRead");
    button("ActionDWrite", "ToolButtonDWrite");
    main->addSeparator();
    button("ActionLoadArchive");
    button("ActionSaveArchive");
    button("ActionAddArchive");
    button("ActionAddCurArchive");
    main->addSeparator();
    button("ActionPreview");
    button("ActionPrint");
    main->addSeparator();
    button("ActionHelp");
    button("ActionAbout");
    addToolBar(Qt::TopToolBarArea, main);
    toolBarMain_ = main;

    auto* table = new QToolBar(QStringLiteral("Панель таблицы"), this);
    table->setStyleSheet(QString::fromLatin1(ToolBarStyle));
    table->setObjectName(QStringLiteral("ToolBarTable"));
    table->setMovable(false);
    table->setIconSize(QSize(16, 16));
    auto tbutton = [table, this](const char* action, const char* name = nullptr) {
        QAction* a = Action(QString::fromLatin1(action));
        table->addAction(a);
        auto* b = qobject_cast<QToolButton*>(table->widgetForAction(a));
        if (b != nullptr && name != nullptr) b->setObjectName(QString::fromLatin1(name));
    };
    for (const char* n :
         {"ActionNewRec", "ActionEditRec", "ActionCopyRec", "ActionDelRec", "ActionPostRec"})
        tbutton(n);
    table->addSeparator();
    tbutton("ActionSortByKey", "ToolButtonSortByKey");
    tbutton("ActionSortByName", "ToolButtonSortByName");
    table->addSeparator();
    tbutton("ActionSetFilter");
    tbutton("ActionNoFilter");
    table->addSeparator();
    for (const char* n : {"ActionMoveUp", "ActionMoveDown", "ActionMoveFirst", "ActionMoveLast"})
        tbutton(n);
    table->addSeparator();
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("PanelN"));
    auto* pl = new QHBoxLayout(panel);
    pl->setContentsMargins(6, 0, 6, 0);
    labelN_ = new QLabel;
    labelN_->setObjectName(QStringLiteral("LabelN"));
    labelN_->setVisible(false);
    pl->addWidget(labelN_);
    table->addWidget(panel);
    addToolBar(Qt::TopToolBarArea, table);
    toolBarTable_ = table;
    FitToolBars();
}

void TFormMain::FitToolBars() {
    if (toolBarMain_ == nullptr || toolBarTable_ == nullptr) return;
    const bool oneRow =
        toolBarMain_->sizeHint().width() + toolBarTable_->sizeHint().width() <= width();
    if (oneRow != toolBarBreak(toolBarTable_)) return;
    if (oneRow)
        removeToolBarBreak(toolBarTable_);
    else
        insertToolBarBreak(toolBarTable_);
}

void TFormMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FitToolBars();
}

// --- Pages

DBGrid* TFormMain::MakeGrid(const char* name, int tag, store::View& view,
                            const store::PageColumns& columns) {
    auto* g = new DBGrid;
    g->setObjectName(QString::fromLatin1(name));
    g->SetGrid(view, GridColumns(columns));
    g->setProperty("tag", tag);
    g->setProperty("ReadOnly", true);
    grids_[g->objectName()] = g;
    WireGrid(g);
    return g;
}

void TFormMain::WireGrid(DBGrid* grid) {
    gridKeys_->Attach(grid);
    grid->installEventFilter(this);
    connect(grid, &DBGrid::editorLeft, this,
            [this, grid](Qt::FocusReason reason) { GridLeft(grid, reason); });
    // A double click anywhere in a reference grid, also on an empty one.
    grid->viewport()->installEventFilter(this);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& at) {
        popupTable_->exec(grid->viewport()->mapToGlobal(at));
    });
}

namespace {

QWidget* Sheet(const char* name, std::map<QString, QWidget*>& pages) {
    auto* w = new QWidget;
    w->setObjectName(QString::fromLatin1(name));
    pages[w->objectName()] = w;
    return w;
}

QVBoxLayout* Column(QWidget* w, int margin = 2) {
    auto* l = new QVBoxLayout(w);
    l->setContentsMargins(margin, margin, margin, margin);
    l->setSpacing(2);
    return l;
}

// The filter indicator above a filterable grid: shown while the page's
// filter is on.
QLabel* FilterPanel(const char* name) {
    auto* l = new FilterIndicator;
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

}  // namespace

QWidget* TFormMain::RoundsPage(const char* rounds, const char* touches, const char* missed,
                               store::View& r, store::View& t, store::View& m) {
    auto* w = new QWidget;
    auto* l = Column(w, 0);
    const bool archive = &r == &dm_->TableKDAEvents();
    l->addWidget(FilterPanel(archive ? "PanelKDAEvsFilter" : "PanelKDEvsFilter"));
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(MakeGrid(rounds, -1, r, store::columns::Rounds()));
    auto* lower = new QSplitter(Qt::Horizontal);
    lower->addWidget(MakeGrid(touches, 5, t, store::columns::Touches()));
    lower->addWidget(MakeGrid(missed, 5, m, store::columns::Missed()));
    lower->setStretchFactor(0, 2);
    lower->setStretchFactor(1, 1);
    split->addWidget(lower);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 2);
    l->addWidget(split, 1);
    return w;
}

QWidget* TFormMain::DatePage(const char* touches, store::View& t, store::View& r,
                             RoundHeader** header) {
    auto* w = new QWidget;
    auto* l = Column(w, 0);
    const bool archive = &t == &dm_->TableKDRAEvents();
    l->addWidget(FilterPanel(archive ? "PanelKDDAEvsFilter" : "PanelKDDEvsFilter"));
    l->addWidget(MakeGrid(touches, -1, t, store::columns::Touches()), 1);
    *header = new RoundHeader(QStringLiteral("Дата и время регистрации:"));
    (*header)->setObjectName(archive ? QStringLiteral("PanelRoundKDDAEvs")
                                     : QStringLiteral("PanelRoundKDDEvs"));
    (*header)->Bind(&r);
    l->addWidget(*header);
    return w;
}

void TFormMain::BuildPages() {
    auto* central = new QWidget;
    auto* cl = new QVBoxLayout(central);
    cl->setContentsMargins(0, 2, 0, 0);
    pageControl_ = new QTabWidget;
    pageControl_->setObjectName(QStringLiteral("PageControl"));
    pageControl_->setMinimumSize(PageMinWidth, PageMinHeight);
    cl->addWidget(pageControl_);
    setCentralWidget(central);

    auto inner = [this](QWidget* page, const char* name) {
        auto* t = new QTabWidget;
        t->setObjectName(QString::fromLatin1(name));
        t->setDocumentMode(true);
        // The inner pages' captions fit the window's design width side by side.
        t->tabBar()->setStyleSheet(
            QStringLiteral("QTabBar::tab { padding: 3px 7px; border: 1px solid palette(mid); }"
                           "QTabBar::tab:selected { background: palette(highlight); color: "
                           "palette(highlighted-text); }"));
        t->tabBar()->setElideMode(Qt::ElideNone);
        auto* l = Column(page, 2);
        l->addWidget(t);
        inner_[page->objectName()] = t;
        return t;
    };
    auto addPage = [this](QTabWidget* control, QWidget* page, const QString& caption) {
        control->addTab(page, caption);
    };

    // Users
    QWidget* users = Sheet("TabSheetUsers", pages_);
    usersPage_ = new UsersPage(*dm_, *prompt_);
    usersPage_->pageActive = [this] { return CurrentPageName() == QLatin1String("TabSheetUsers"); };
    Column(users, 2)->addWidget(usersPage_);
    if (DBGrid* g = usersPage_->findChild<DBGrid*>(QStringLiteral("DBGridUsers"))) {
        g->setProperty("tag", 0);
        g->setProperty("ReadOnly", true);
        grids_[g->objectName()] = g;
        WireGrid(g);
    }
    addPage(pageControl_, users, QStringLiteral("Пользователи"));

    // Check points
    QWidget* round = Sheet("TabSheetRound", pages_);
    QTabWidget* roundPages = inner(round, "PageControlRound");
    QWidget* points = Sheet("TabSheetPoints", pages_);
    Column(points)->addWidget(
        MakeGrid("DBGridPoints", 1, dm_->TablePoints(), store::columns::Points()));
    addPage(roundPages, points, QStringLiteral("Точки обхода"));
    QWidget* pathes = Sheet("TabSheetPathes", pages_);
    auto* pathSplit = new QSplitter(Qt::Horizontal);
    pathSplit->addWidget(MakeGrid("DBGridPathes", 4, dm_->TablePathes(), store::columns::Pathes()));
    pathSplit->addWidget(
        MakeGrid("DBGridPPathes", 5, dm_->TablePPathes(), store::columns::PPathes()));
    Column(pathes)->addWidget(pathSplit);
    addPage(roundPages, pathes, QStringLiteral("Маршруты обхода"));
    QWidget* prBook = Sheet("TabSheetPrBook", pages_);
    Column(prBook)->addWidget(
        MakeGrid("DBGridPrBook", 2, dm_->TablePrBook(), store::columns::PrBook()));
    addPage(roundPages, prBook, QStringLiteral("Программная книга"));
    addPage(pageControl_, round, QStringLiteral("Контрольные точки"));

    // Device
    QWidget* kordex = Sheet("TabSheetKordex", pages_);
    QTabWidget* kordexPages = inner(kordex, "PageControlKordex");
    QWidget* kds = Sheet("TabSheetKDs", pages_);
    Column(kds)->addWidget(MakeGrid("DBGridKDs", 3, dm_->TableKDs(), store::columns::KDs()));
    addPage(kordexPages, kds, QStringLiteral("Kordex'ы"));
    QWidget* write = Sheet("TabSheetWrite", pages_);
    writePage_ = new WritePage(*dm_, *rules_);
    Column(write, 0)->addWidget(writePage_);
    addPage(kordexPages, write, QStringLiteral("Запись данных"));
    QWidget* read = Sheet("TabSheetRead", pages_);
    readPage_ = new ReadPage(*dm_);
    readPage_->gridMade = [this](DBGrid* g) {
        g->setProperty("tag", 5);
        g->setProperty("ReadOnly", true);
        WireGrid(g);
    };
    readPage_->Detach();
    Column(read, 0)->addWidget(readPage_);
    addPage(kordexPages, read, QStringLiteral("Чтение данных"));
    QWidget* test = Sheet("TabSheetTest", pages_);
    testPage_ = new TestPage;
    Column(test, 0)->addWidget(testPage_);
    addPage(kordexPages, test, QStringLiteral("Тест"));
    addPage(pageControl_, kordex, QStringLiteral("Устройство"));

    // Journal
    QWidget* events = Sheet("TabSheetEvents", pages_);
    QTabWidget* eventPages = inner(events, "PageControlEvents");
    QWidget* prEvents = Sheet("TabSheetPrEvents", pages_);
    QVBoxLayout* pl = Column(prEvents);
    pl->addWidget(FilterPanel("PanelPrEvsFilter"));
    pl->addWidget(MakeGrid("DBGridPrEvents", -1, dm_->TablePrEvents(), store::columns::PrEvents()),
                  1);
    addPage(eventPages, prEvents, QStringLiteral("События программы"));
    QWidget* kdEvents = Sheet("TabSheetKDEvents", pages_);
    Column(kdEvents)->addWidget(RoundsPage("DBGridKDEvents", "DBGridKDREvs", "DBGridKDLEvs",
                                           dm_->TableKDEvents(), dm_->TableKDREvents(),
                                           dm_->TableKDLEvents()));
    addPage(eventPages, kdEvents, QStringLiteral("События Kordex'a по обходам"));
    QWidget* kdDEvents = Sheet("TabSheetKDDEvents", pages_);
    Column(kdDEvents)->addWidget(
        DatePage("DBGridKDDEvs", dm_->TableKDREvents(), dm_->TableKDEvents(), &dateHeader_));
    addPage(eventPages, kdDEvents, QStringLiteral("События Kordex'a по дате и времени"));
    addPage(pageControl_, events, QStringLiteral("Журнал событий"));

    // Archive
    QWidget* aEvents = Sheet("TabSheetAEvents", pages_);
    QTabWidget* archivePages = inner(aEvents, "PageControlAEvents");
    QWidget* kdaEvents = Sheet("TabSheetKDAEvents", pages_);
    Column(kdaEvents)->addWidget(RoundsPage("DBGridKDAEvents", "DBGridKDRAEvs", "DBGridKDLAEvs",
                                            dm_->TableKDAEvents(), dm_->TableKDRAEvents(),
                                            dm_->TableKDLAEvents()));
    addPage(archivePages, kdaEvents, QStringLiteral("События Kordex'a по обходам"));
    QWidget* kddaEvents = Sheet("TabSheetKDDAEvents", pages_);
    Column(kddaEvents)
        ->addWidget(DatePage("DBGridKDADEvs", dm_->TableKDRAEvents(), dm_->TableKDAEvents(),
                             &archiveDateHeader_));
    addPage(archivePages, kddaEvents, QStringLiteral("События Kordex'a по дате и времени"));
    addPage(pageControl_, aEvents, QStringLiteral("Архив событий"));

    for (const char* n : {"DBGridUsers", "DBGridPoints", "DBGridPathes", "DBGridPPathes",
                          "DBGridPrBook", "DBGridKDs"})
        if (DBGrid* g = Grid(QString::fromLatin1(n))) g->setProperty("reference", true);

    // The pages the window opens on.
    kordexPages->setCurrentWidget(test);
    roundPages->setCurrentWidget(points);
    eventPages->setCurrentWidget(kdEvents);
    archivePages->setCurrentWidget(kdaEvents);
    pageControl_->setCurrentWidget(kordex);

    // Every page control asks before a page is left and follows a page change.
    std::vector<QTabWidget*> controls = {pageControl_};
    for (auto& [name, t] : inner_)
        controls.push_back(t);
    for (QTabWidget* t : controls) {
        connect(t, &QTabWidget::currentChanged, this, [this] {
            if (changing_) return;
            // While a long operation runs the page stays; so does it when
            // the page in front may not be left.
            if (Busy() || !PageControlChanging(true)) {
                // Back to the page that was in front.
                store::ScopedFlag programmatic(changing_, true);
                pageControl_->setCurrentWidget(pages_[frontPage_]);
                if (!frontSub_.isEmpty()) inner_[frontPage_]->setCurrentWidget(pages_[frontSub_]);
                return;
            }
            PageControlChange();
        });
    }
    frontPage_ = QStringLiteral("TabSheetKordex");
    frontSub_ = QStringLiteral("TabSheetTest");
}

QString TFormMain::CurrentPageName() const {
    QWidget* w = pageControl_->currentWidget();
    return w != nullptr ? w->objectName() : QString();
}

QString TFormMain::CurrentSubPageName() const {
    auto it = inner_.find(CurrentPageName());
    if (it == inner_.end()) return {};
    QWidget* w = it->second->currentWidget();
    return w != nullptr ? w->objectName() : QString();
}

bool TFormMain::TestPageInFront() const {
    return CurrentPageName() == QLatin1String("TabSheetKordex") &&
           CurrentSubPageName() == QLatin1String("TabSheetTest");
}

bool TFormMain::ReadPageInFront() const {
    return frontPage_ == QLatin1String("TabSheetKordex") &&
           frontSub_ == QLatin1String("TabSheetRead");
}

void TFormMain::SetPageVisible(const QString& name, bool visible) {
    QWidget* page = pages_.at(name);
    QTabWidget* control = pageControl_;
    for (auto& [parent, t] : inner_)
        if (t->indexOf(page) >= 0) control = t;
    const int index = control->indexOf(page);
    if (index < 0) return;
    store::ScopedFlag programmatic(changing_, true);
    control->setTabVisible(index, visible);
}

void TFormMain::ShowPage(const QString& page, const QString& subPage) {
    {
        store::ScopedFlag programmatic(changing_, true);
        pageControl_->setCurrentWidget(pages_.at(page));
        if (!subPage.isEmpty()) inner_.at(page)->setCurrentWidget(pages_.at(subPage));
    }
    PageControlChange();
}

// Entering a grid makes it the current grid and refreshes the commands;
// leaving it for another control (not its fast-find panel, a menu or another
// window) refreshes them without a grid. A double click in a reference grid
// opens its row, also where there is none.
bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick && watched->isWidgetType()) {
        auto* g = qobject_cast<DBGrid*>(static_cast<QWidget*>(watched)->parentWidget());
        const int tag = g != nullptr ? g->property("tag").toInt() : -1;
        if (g != nullptr && g->viewport() == watched && tag >= 0 && tag <= 5 &&
            g->property("reference").toBool() && !g->Editing()) {
            Command([this, g] { ActionNewRecExecute(g); });
            return true;
        }
    }
    auto* grid = qobject_cast<DBGrid*>(watched);
    if (grid != nullptr && event->type() == QEvent::FocusIn) {
        Run([this] { ActionRefresh(true); });
    } else if (grid != nullptr && event->type() == QEvent::FocusOut) {
        GridLeft(grid, static_cast<QFocusEvent*>(event)->reason());
    }
    return QMainWindow::eventFilter(watched, event);
}

// The focus left a grid or its in-place editor.
void TFormMain::GridLeft(DBGrid* grid, Qt::FocusReason reason) {
    QWidget* next = QApplication::focusWidget();
    const bool toPanel = next != nullptr && qobject_cast<TPanelFFind*>(next) != nullptr;
    // The grid's own in-place editor keeps the grid focused.
    if (next != nullptr && grid->isAncestorOf(next)) return;
    if (!toPanel && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason &&
        reason != Qt::MenuBarFocusReason)
        Run([this] { ActionRefresh(false); });
}

// --- Layout

LayoutForm TFormMain::MainLayout() {
    LayoutForm form;
    form.window = this;
    form.designSize = QSize(DesignWidth, DesignHeight + menuBar()->sizeHint().height());
    for (auto& [name, g] : grids_)
        form.grids.push_back({name, [g] { return g->Look(); },
                              [g](const widgets::GridLook& look) { g->SetLook(look); }});
    // The read page's grids come and go with its round; the page keeps their look.
    for (const char* n : {"DBGridKDREvents", "DBGridKDLEvents"}) {
        const QString name = QString::fromLatin1(n);
        form.grids.push_back(
            {name, [this, name] { return readPage_->Look(name); },
             [this, name](const widgets::GridLook& look) { readPage_->SetLook(name, look); }});
    }
    return form;
}

LayoutForm TFormMain::TableColsLayout() {
    LayoutForm form;
    form.window = tableCols_.get();
    form.designSize = QSize(TFormTableCols::DesignWidth, TFormTableCols::DesignHeight);
    form.dialogBorder = true;
    return form;
}

// --- Start-up

void TFormMain::FormCreate() {
    // The ports and the settings. The port mapping must be known before the
    // ports are probed; the rest is applied after the layout.
    settings_.Load(*settingsStore_);
    link_->SetPortMap(env_.ports ? *env_.ports : settings_.ports);
    settings_.port = 0;

    // Probe the ports; the first that exists is chosen.
    for (int d = 1; d <= 4; ++d) {
        QAction* a = Action(QStringLiteral("ActionCOM") + QString::number(d));
        const bool exists = link_->ProbeComPort(d);
        a->setEnabled(exists);
        if (exists && settings_.port == 0) ActionCOMExecute(d);
    }

    // Layout of the window, clamped to the screen, and of its grids.
    RestoreLayout(MainLayout(), *settingsStore_, ProgramKey);

    // The saved choices.
    if (settings_.savedPort) ActionCOMExecute(*settings_.savedPort);
    writePage_->SetInterval(settings_.interval);
    writePage_->SetPathMode(settings_.pathMode);
    readPage_->SetOptions(settings_.ReadPageOptions());
}

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TFormMain::FormShow() {
    if (settings_.port == 0)
        prompt_->Ask(QStringLiteral("Предупреждение"), MsgNoFreePort, shell::Icon::Warning,
                     shell::Buttons::Ok);
    for (const char* n : {"TabSheetUsers", "TabSheetRound", "TabSheetKDs", "TabSheetWrite",
                          "TabSheetRead", "TabSheetEvents", "TabSheetAEvents"})
        SetPageVisible(QString::fromLatin1(n), false);
    // Nobody sets a collector's clock before a login has shown who may.
    testPage_->SetCorrectionVisible(false);
    PageControlChange();
}

void TFormMain::ActionCOMExecute(int tag) {
    QAction* action = Action(QStringLiteral("ActionCOM") + QString::number(tag));
    if (action == nullptr || !action->isEnabled()) return;
    if (settings_.port != tag) {
        for (int d = 1; d <= 4; ++d)
            Action(QStringLiteral("ActionCOM") + QString::number(d))->setChecked(d == tag);
        settings_.port = tag;
        link_->SetPortDigit(tag);
        if (shown_ && (link_->IsPortOpen() || TestPageInFront())) {
            link_->PortClose();
            link_->PortEnsureOpen();
        }
    }
}

// --- Login

void TFormMain::ActionPWordExecute() {
    const LongOperations::Hold busy(operations_);
    if (!dm_->Database().Connected() && !dm_->OpenDatabases()) return;
    if (!PageControlChanging(false)) return;
    if (RunPasswordDialog(*pword_, *dm_, *rules_, *prompt_) != LoginOutcome::Accepted) return;
    ApplyMapping();
    ActionRefresh(true);
}

void TFormMain::ApplyMapping() {
    const PageMapping m = MapPages(CurrentRights(*dm_), settings_.port != 0);
    for (const auto& [name, on] : MappedComponents(m)) {
        if (pages_.count(name) != 0)
            SetPageVisible(name, on);
        else if (name == QLatin1String("ButtonCorrectTime"))
            testPage_->SetCorrectionVisible(on);  // both "=" buttons
        else if (QAction* a = Action(name))
            a->setEnabled(on);  // read, write and the four archive commands
    }
    // The reference grids may be edited only by those allowed to.
    for (auto& [name, g] : grids_)
        if (g->property("reference").toBool()) g->setProperty("ReadOnly", !m.gridsWritable);
}

// --- Navigation

bool TFormMain::PageControlChanging(bool sender) {
    TPanelFFind::CloseFastFind();
    if (!ReadPageInFront()) return dm_->PostAll();
    shell::Answer answer = shell::Answer::Yes;
    store::View& rounds = dm_->TableKDEvents();
    if (store::TDM::IsEditing(rounds)) {
        answer = prompt_->Ask(Confirmation, MsgSaveRead, shell::Icon::Question,
                              shell::Buttons::YesNoCancel);
        if (answer == shell::Answer::Cancel) return false;
        if (answer == shell::Answer::No) dm_->DiscardInsert(rounds);
    }
    const bool allow = dm_->PostAll();
    if (allow && readPage_->Attached() && (sender || answer == shell::Answer::No)) DetachReadPage();
    return allow;
}

void TFormMain::PageControlChange() {
    TPanelFFind::CloseFastFind();
    frontPage_ = CurrentPageName();
    frontSub_ = CurrentSubPageName();

    if (TestPageInFront()) {
        pump_->ProcessEvents();
        if (TestPageInFront() && link_->PortEnsureOpen())
            testPage_->Start();
        else
            testPage_->Stop();
    } else {
        testPage_->Stop();
        link_->PortClose();
    }
    SwitchEventView();
}

void TFormMain::SwitchEventView() {
    const bool journalDate = CurrentPageName() == QLatin1String("TabSheetEvents") &&
                             CurrentSubPageName() == QLatin1String("TabSheetKDDEvents");
    const bool archiveDate = CurrentPageName() == QLatin1String("TabSheetAEvents") &&
                             CurrentSubPageName() == QLatin1String("TabSheetKDDAEvents");
    SwitchPair(dm_->TableKDEvents(), dm_->TableKDREvents(), journalDate,
               filters::FilterPage::KDEvents, filters::FilterPage::KDDEvents);
    SwitchPair(dm_->TableKDAEvents(), dm_->TableKDRAEvents(), archiveDate,
               filters::FilterPage::KDAEvents, filters::FilterPage::KDDAEvents);
    ActionRefresh(true);
}

// Round mode: the touches follow the rounds, and the rounds carry the rounds
// page's filter. Date mode: the rounds follow the touches, which carry the
// date page's filter. The touch in front stays in front either way.
void TFormMain::SwitchPair(store::View& rounds, store::View& touches, bool datePageInFront,
                           filters::FilterPage roundsPage, filters::FilterPage datePage) {
    const bool dateMode = rounds.Master() == &touches;
    if (dateMode == datePageInFront || !rounds.IsOpen() || !touches.IsOpen()) return;
    // A round being read is not moved under the operator's hands.
    if (store::TDM::IsEditing(rounds) || store::TDM::IsEditing(touches)) return;
    const QStringList reg = {QStringLiteral("DateReg")};
    auto& buffer = dm_->Buffer();
    store::ControlsOff roundsOff(rounds);
    store::ControlsOff touchesOff(touches);
    buffer[0] = touches.IsEmpty() ? QVariant() : touches.Value(QStringLiteral("DateReg"));
    buffer[1] = touches.IsEmpty() ? QVariant() : touches.Value(QStringLiteral("ID"));
    // The remembered round and touch are sought also when the switch failed.
    auto findAgain = [&] {
        if (!datePageInFront && !buffer[0].isNull())
            rounds.Locate(QStringLiteral("DateReg"), buffer[0]);
        if (!buffer[1].isNull()) touches.Locate(QStringLiteral("ID"), buffer[1]);
    };
    try {
        if (datePageInFront) {
            touches.SetMaster(nullptr, {}, {});
            touches.SetFiltered(filters_->Page(datePage).Active());
            rounds.SetFiltered(false);
            rounds.SetMaster(&touches, reg, reg);
        } else {
            rounds.SetMaster(nullptr, {}, {});
            rounds.SetFiltered(filters_->Page(roundsPage).Active());
            touches.SetFiltered(false);
            touches.SetMaster(&rounds, reg, reg);
        }
    } catch (...) {
        try {
            findAgain();
        } catch (...) {
        }
        throw;
    }
    findAgain();
}

// --- Device

void TFormMain::ActionDReadExecute() {
    const LongOperations::Hold busy(operations_);
    ops_->ActionDReadExecute();
}

void TFormMain::ActionDWriteExecute() {
    const LongOperations::Hold busy(operations_);
    ops_->ActionDWriteExecute();
}

bool TFormMain::PageLeaveCheck() {
    return PageControlChanging(true);
}

void TFormMain::ShowReadPage() {
    ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetRead"));
}

void TFormMain::ShowWritePage() {
    ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetWrite"));
}

collector::ReadOptions TFormMain::ReadPageOptions() {
    return readPage_->Options();
}

void TFormMain::AttachReadPage() {
    readPage_->Attach();
}

void TFormMain::DetachReadPage() {
    readPage_->Detach();
}

collector::WriteChoices TFormMain::WritePageChoices() {
    return writePage_->Choices();
}

void TFormMain::FillWritePage(const QVariant& guardKey, const QVariant& pathId, int mode,
                              const QString& memo) {
    writePage_->Fill(guardKey, pathId, mode, memo);
}

void TFormMain::SetWriteInterval(int seconds) {
    writePage_->SetInterval(seconds);
}

void TFormMain::ClearWritePath() {
    writePage_->ClearPath();
}

void TFormMain::FocusGuardChoice() {
    writePage_->FocusGuard();
}

void TFormMain::FocusMemo(qsizetype position, qsizetype length) {
    writePage_->SelectMemo(position, length);
}

std::optional<double> TFormMain::ChooseRegistrationTime(store::View& entries) {
    return app::ChooseRegistrationTime(entries, *prompt_, DialogOwner(this));
}

// --- Help, About, printer

void TFormMain::ActionContextExecute() {
    const QString page = CurrentPageName();
    const QString topicPage = page == QLatin1String("TabSheetUsers") ? page : CurrentSubPageName();
    Help().ShowTopic(HelpTopicOf(topicPage));
}

void TFormMain::ActionHelpExecute() {
    Help().ShowContents();
}

void TFormMain::ActionAboutExecute() {
    about_->exec();
}

QPrinter& TFormMain::Printer() {
    if (!printer_) printer_ = std::make_unique<QPrinter>();
    return *printer_;
}

void TFormMain::PrinterSetup() {
    // The print dialog, not the page set-up one: that one takes only the
    // platform's own printers, and the operator chooses the printer here too.
    // Its page set-up sits behind the printer's properties. It prints nothing:
    // the printer keeps the choice for the reports.
    QPrintDialog dialog(&Printer(), this);
    dialog.setWindowTitle(QStringLiteral("Настройка принтера"));
    dialog.setOption(QAbstractPrintDialog::PrintShowPageSize);
    if (auto* box = dialog.findChild<QDialogButtonBox*>())
        if (QPushButton* ok = box->button(QDialogButtonBox::Ok)) ok->setText(QStringLiteral("OK"));
    dialog.exec();
}

// --- Close

void TFormMain::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    // A running operation is stopped from its status window, not by closing.
    if (Busy()) {
        event->ignore();
        return;
    }
    bool allow = false;
    Run([&] { allow = PageControlChanging(false); });
    if (!allow) {
        event->ignore();
        return;
    }
    Run([this] { FormClose(); });
    event->accept();
}

void TFormMain::FormClose() {
    if (closed_) return;
    closed_ = true;
    testPage_->Stop();
    while (link_->ReaderBusy() != 0)
        pump_->ProcessEvents();
    link_->PortClose();

    SaveLayout(MainLayout(), *settingsStore_, ProgramKey);
    SaveLayout(TableColsLayout(), *settingsStore_, ProgramKey);

    settings_.interval = writePage_->Interval();
    settings_.pathMode = writePage_->PathMode();
    settings_.TakeReadPageOptions(readPage_->Options());
    if (dm_->TableCurRegister().IsOpen()) settings_.user = rules_->CurrentRegistrarKey();
    // The ports keep the stored mapping: a mapping given for this run only
    // (the demo's) went to the reader link, not into the settings.
    settings_.Save(*settingsStore_);

    if (dm_->TablePrEvents().IsOpen()) rules_->AppendJournal(JournalExit);
}

}  // namespace kordex::app
