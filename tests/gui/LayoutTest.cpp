// The window's and the grids' layout across runs, columns moved by their
// titles, the column dialog and the normalising commands.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>

#include "GuiFixture.h"
#include "app/device/DevicePageWidgets.h"
#include "app/layout/ColumnDialog.h"
#include "app/layout/Layout.h"
#include "store/PageColumns.h"
#include "widgets/DBGrid.h"

using namespace kordex;
using namespace kordex::app;
using namespace kordex::widgets;
using kordex::gui::MainWindowTest;

namespace kordex::widgets {

// Looks in failure messages as a person reads them.
void PrintTo(const GridFont& f, std::ostream* os) {
    *os << f.name.toStdString() << " " << f.size << "pt cs" << f.charset << " #" << std::hex
        << f.color << std::dec << (f.bold ? " b" : "") << (f.italic ? " i" : "")
        << (f.underline ? " u" : "") << (f.strikeOut ? " s" : "");
}

void PrintTo(const GridLook& look, std::ostream* os) {
    *os << "{" << look.hint.toStdString() << (look.lines ? " lines" : " no lines") << " #"
        << std::hex << look.color << std::dec;
    for (const ColumnLook& c : look.columns) {
        *os << "\n  " << c.field.toStdString() << " w" << c.width << (c.visible ? "" : " hidden")
            << " #" << std::hex << c.color << " t#" << c.titleColor << std::dec << " font ";
        PrintTo(c.font, os);
        *os << " title ";
        PrintTo(c.titleFont, os);
    }
    *os << "}";
}

}  // namespace kordex::widgets

namespace {

class Layout : public MainWindowTest {
protected:
    void Begin() {
        Start();
        window->activateWindow();
        Login({}, {});
    }

    DBGrid* Focus(const QString& page, const QString& sub, const char* grid) {
        window->ShowPage(page, sub);
        DBGrid* g = window->Grid(QString::fromLatin1(grid));
        EXPECT_NE(g, nullptr) << grid;
        QApplication::setActiveWindow(window.get());
        g->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(window->FocusedGrid(), g) << grid;
        window->ActionRefresh(true);
        return g;
    }
    DBGrid* Users() { return Focus("TabSheetUsers", {}, "DBGridUsers"); }
    void Trigger(const char* action) { window->Action(QString::fromLatin1(action))->trigger(); }

    // Drags a column's title by the mouse onto the place of another column.
    static void DragTitle(DBGrid* grid, int fromLogical, int ontoLogical) {
        QHeaderView* header = grid->horizontalHeader();
        QWidget* vp = header->viewport();
        const int y = header->height() / 2;
        const QPoint from(header->sectionViewportPosition(fromLogical) + 10, y);
        const int onto = header->sectionViewportPosition(ontoLogical);
        const QPoint to(onto + header->sectionSize(ontoLogical) / 2 + (onto > from.x() ? 5 : -5),
                        y);
        QTest::mousePress(vp, Qt::LeftButton, {}, from);
        for (int step = 1; step <= 10; ++step) {
            const QPoint at = from + (to - from) * step / 10;
            QMouseEvent move(QEvent::MouseMove, at, vp->mapToGlobal(at), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(vp, &move);
        }
        QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
    }

    static QStringList Fields(const GridLook& look) {
        QStringList out;
        for (const ColumnLook& c : look.columns)
            out << c.field;
        return out;
    }
};

GridFont Font(const char* name, int size, ColorValue color, bool bold, bool italic) {
    GridFont f;
    f.name = QString::fromLatin1(name);
    f.size = size;
    f.color = color;
    f.bold = bold;
    f.italic = italic;
    return f;
}

}  // namespace

TEST_F(Layout, FirstStartIsCentredAtTheDesignSize) {
    Start();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize size = window->geometry().size();
    EXPECT_EQ(size.width(), 624);
    EXPECT_EQ(size.height() - window->menuBar()->sizeHint().height(), 417);
    EXPECT_EQ(window->geometry().topLeft(),
              screen.topLeft() + QPoint((screen.width() - size.width()) / 2,
                                        (screen.height() - size.height()) / 2));
}

TEST_F(Layout, SavedPlacesAreClampedOntoTheScreenAndTheDialogKeepsItsSize) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QString main = SubKey(ProgramKey, "FormMain");
    const QString cols = SubKey(ProgramKey, "FormTableCols");
    // Saved on a screen wider than this one.
    settings.Put(main, "Left", screen.right() + 400);
    settings.Put(main, "Top", screen.top() + 5);
    settings.Put(main, "Width", 700);
    settings.Put(main, "Height", 450);
    settings.Put(cols, "Left", screen.left() + 30);
    settings.Put(cols, "Top", screen.top() + 40);
    settings.Put(cols, "Width", 600);
    settings.Put(cols, "Height", 700);
    Start();
    EXPECT_EQ(window->geometry(),
              QRect(screen.left() + screen.width() - 700, screen.top() + 5, 700, 450));
    EXPECT_EQ(window->TableColsDialog().geometry(),
              QRect(screen.left() + 30, screen.top() + 40, 258, 333));
    window->TableColsDialog().move(screen.left() + 50, screen.top() + 60);
    Stop();
    EXPECT_EQ(settings.Get(cols, "Left"), QVariant(screen.left() + 50));
    EXPECT_EQ(settings.Get(cols, "Top"), QVariant(screen.top() + 60));
    EXPECT_EQ(settings.Get(cols, "Width"), QVariant(600));  // never written, so as it was

    // A window larger than the screen, and one saved with no width.
    settings.Put(main, "Left", 30);
    settings.Put(main, "Width", screen.width() + 300);
    settings.Put(main, "Height", screen.height() + 300);
    Start();
    // At the screen's corner (the platform may keep the frame on the screen).
    EXPECT_EQ(window->geometry().size(), screen.size());
    EXPECT_EQ(window->frameGeometry().topLeft(), screen.topLeft());
    Stop();
    settings.Put(main, "Left", screen.left());
    settings.Put(main, "Top", screen.top());
    settings.Put(main, "Width", 0);
    settings.Put(main, "Height", 500);
    Start();
    EXPECT_EQ(window->geometry().size(), QSize(screen.width() * 4 / 5, 500));
    EXPECT_EQ(window->frameGeometry().topLeft(), screen.topLeft());
}

TEST_F(Layout, TheColumnCommandsFollowTheFocusAndSitInTheMenus) {
    Begin();
    const char* commands[] = {"ActionTableProperty", "ActionDefaultWidth", "ActionDefaultColor",
                              "ActionDefaultFont"};
    Users();
    for (const char* c : commands)
        EXPECT_TRUE(window->Action(c)->isEnabled()) << c;
    auto* popup = window->findChild<QMenu*>("PopupMenuTable");
    auto* table = window->findChild<QMenu*>("MenuTable");
    for (const char* c : commands) {
        EXPECT_TRUE(popup->actions().contains(window->Action(c))) << c;
        EXPECT_TRUE(table->actions().contains(window->Action(c))) << c;
    }
    window->ActionRefresh(false);
    for (const char* c : commands)
        EXPECT_FALSE(window->Action(c)->isEnabled()) << c;
}

TEST_F(Layout, AColumnMovedByItsTitleComesBackAtItsPlaceWithItsLook) {
    Begin();
    auto points = [this] { return Focus("TabSheetRound", "TabSheetPoints", "DBGridPoints"); };
    DBGrid* grid = points();
    QHeaderView* header = grid->horizontalHeader();
    const int key = grid->Model()->ColumnOf("Key");
    const int name = grid->Model()->ColumnOf("Name");
    header->resizeSection(key, 140);
    // The key column dragged behind the name: it is now the last one, and
    // stretches to the grid's edge; what it keeps is its own width.
    DragTitle(grid, key, name);
    QApplication::processEvents();
    EXPECT_EQ(Fields(grid->Look()), QStringList({"Name", "Key"}));
    EXPECT_GT(header->sectionSize(key), 140);
    EXPECT_EQ(header->sectionViewportPosition(key) + header->sectionSize(key),
              grid->viewport()->width());
    EXPECT_EQ(header->sectionSize(name), grid->ColumnWidths().at(static_cast<size_t>(name)));
    EXPECT_EQ(grid->ColumnWidths().at(static_cast<size_t>(key)), 140);

    GridLook look = grid->Look();
    ColumnLook& k = *look.Column("Key");
    k.color = 0x00CCFFFF;
    k.titleColor = 0x00FF8080;
    k.font = Font("Courier", 11, 0x000000C0, true, false);
    k.titleFont = Font("Serif", 10, 0x00008000, false, true);
    grid->SetLook(look);
    const GridLook want = grid->Look();
    Close();

    Start();
    Login({}, {});
    grid = points();
    EXPECT_EQ(grid->Look(), want);
    EXPECT_EQ(grid->horizontalHeader()->visualIndex(key), 1);
    EXPECT_EQ(grid->ColumnWidths().at(static_cast<size_t>(key)), 140);
    // The title is drawn in its font and colour.
    EXPECT_EQ(grid->Model()->headerData(key, Qt::Horizontal, Qt::FontRole).value<QFont>().family(),
              "Serif");
    EXPECT_EQ(grid->Model()->headerData(key, Qt::Horizontal, Qt::BackgroundRole).value<QColor>(),
              QColor(0x80, 0x80, 0xFF));
}

TEST_F(Layout, TheColumnDialogAppliesOnlyWhenAsked) {
    Begin();
    DBGrid* users = Users();
    const GridLook before = users->Look();
    TFormTableCols& d = window->TableColsDialog();
    std::vector<ColorValue> colorStarts;
    std::vector<GridFont> fontStarts;
    d.pickColor = [&](ColorValue start) -> std::optional<ColorValue> {
        colorStarts.push_back(start);
        return 0x00112233;
    };
    d.pickFont = [&](const GridFont& start) -> std::optional<GridFont> {
        fontStarts.push_back(start);
        return Font("Courier", 14, 0x000000FF, true, true);
    };

    // Everything changed, then closed without applying: the grid stays as it was.
    d.exec = [&](TFormTableCols& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Параметры таблицы");
        EXPECT_EQ(dialog.EditedGrid(), users);
        EXPECT_EQ(dialog.CheckListBoxCols()->count(), 3);
        EXPECT_EQ(dialog.CheckListBoxCols()->item(1)->text(), "Имя пользователя");
        EXPECT_EQ(dialog.CheckListBoxCols()->currentRow(), 0);
        EXPECT_FALSE(dialog.EditName()->isVisibleTo(&dialog));
        dialog.CheckBoxGrid()->setChecked(false);
        dialog.ButtonColorClick();
        EXPECT_EQ(dialog.SwatchColor(), 0x00112233);
        dialog.CheckListBoxCols()->item(1)->setCheckState(Qt::Unchecked);
        dialog.Action("ActionColColor")->trigger();
        dialog.Action("ActionColFont")->trigger();
        dialog.Action("ActionColTColor")->trigger();
        dialog.Action("ActionColTFont")->trigger();
        dialog.ButtonClose()->click();
        return 0;
    };
    Trigger("ActionTableProperty");
    EXPECT_EQ(users->Look(), before);
    // Each picker starts from what the working copy holds.
    ASSERT_EQ(colorStarts.size(), 3u);
    EXPECT_EQ(colorStarts[0], before.color);
    EXPECT_EQ(colorStarts[1], before.columns[0].color);
    EXPECT_EQ(colorStarts[2], before.columns[0].titleColor);
    ASSERT_EQ(fontStarts.size(), 2u);
    EXPECT_EQ(fontStarts[0], before.columns[0].font);
    EXPECT_EQ(fontStarts[1], before.columns[0].titleFont);

    // The dialog opens again from the grid, not from what was left in it:
    // hiding the name column and applying hides it at once, the dialog still open.
    d.exec = [&](TFormTableCols& dialog) {
        EXPECT_TRUE(dialog.CheckBoxGrid()->isChecked());
        EXPECT_EQ(dialog.SwatchColor(), before.color);
        EXPECT_EQ(dialog.Rows()[0].color, before.columns[0].color);
        EXPECT_EQ(dialog.CheckListBoxCols()->item(1)->checkState(), Qt::Checked);
        dialog.CheckListBoxCols()->item(1)->setCheckState(Qt::Unchecked);
        dialog.CheckListBoxCols()->setCurrentRow(2);
        dialog.Action("ActionColTColor")->trigger();
        dialog.CheckBoxGrid()->setChecked(false);
        dialog.ButtonOk()->click();
        EXPECT_TRUE(users->isColumnHidden(users->Model()->ColumnOf("Name")));
        EXPECT_FALSE(users->showGrid());
        return 0;
    };
    Trigger("ActionTableProperty");
    const GridLook after = users->Look();
    EXPECT_FALSE(after.Column("Name")->visible);
    EXPECT_EQ(after.Column("Passwrd")->titleColor, 0x00112233);
    EXPECT_EQ(after.Column("Key")->titleColor, before.columns[0].titleColor);
    EXPECT_FALSE(after.lines);
}

TEST_F(Layout, ADoubleClickRunsTheCommandOfTheZonePressed) {
    const int w = 240, h = TFormTableCols::RowHeight;
    const struct {
        int x;
        TFormTableCols::Zone zone;
    } zones[] = {
        {0, TFormTableCols::Zone::None},
        {h, TFormTableCols::Zone::None},
        {h + 1, TFormTableCols::Zone::ColColor},
        {2 * h, TFormTableCols::Zone::ColColor},
        {2 * h + 1, TFormTableCols::Zone::ColFont},
        {w / 2, TFormTableCols::Zone::ColFont},
        {w / 2 + 1, TFormTableCols::Zone::TColor},
        {w / 2 + h, TFormTableCols::Zone::TColor},
        {w / 2 + h + 1, TFormTableCols::Zone::TFont},
    };
    for (const auto& z : zones)
        EXPECT_EQ(TFormTableCols::ZoneAt(z.x, w), z.zone) << z.x;

    Begin();
    Users();
    TFormTableCols& d = window->TableColsDialog();
    QStringList asked;
    d.pickColor = [&](ColorValue) -> std::optional<ColorValue> {
        asked << "color";
        return std::nullopt;  // cancelled: the working copy stays
    };
    d.pickFont = [&](const GridFont&) -> std::optional<GridFont> {
        asked << "font";
        return std::nullopt;
    };
    d.exec = [&](TFormTableCols& dialog) {
        dialog.show();
        QApplication::processEvents();
        QListWidget* list = dialog.CheckListBoxCols();
        const int width = list->viewport()->width();
        const int y = list->visualItemRect(list->item(1)).center().y();
        for (const int x : {h + 4, 2 * h + 10, width / 2 + 4, width / 2 + h + 10, 4}) {
            // As the window system sends it: a click, then the double click.
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(x, y));
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(x, y));
            EXPECT_EQ(dialog.PressedZone(), TFormTableCols::Zone::None);  // forgotten
        }
        EXPECT_EQ(list->currentRow(), 1);
        dialog.hide();
        return 0;
    };
    Trigger("ActionTableProperty");
    EXPECT_EQ(asked, QStringList({"color", "font", "color", "font"}));
}

TEST_F(Layout, NormalisingGivesTheColumnsTheGridsWidthsColoursAndFonts) {
    Begin();
    DBGrid* points = Focus("TabSheetRound", "TabSheetPoints", "DBGridPoints");
    GridLook look = points->Look();
    for (ColumnLook& c : look.columns) {
        c.width += 37;
        c.color = 0x0000FFFF;
        c.titleColor = 0x00FF0000;
        c.font = Font("Courier", 15, 0x000000FF, true, false);
        c.titleFont = Font("Serif", 13, 0x00FF00FF, false, true);
    }
    points->SetLook(look);

    Trigger("ActionDefaultFont");
    for (const ColumnLook& c : points->Look().columns) {
        EXPECT_EQ(c.font, points->CellFont()) << c.field.toStdString();
        EXPECT_EQ(c.titleFont, points->TitleFont()) << c.field.toStdString();
        EXPECT_EQ(c.color, 0x0000FFFF);
    }
    Trigger("ActionDefaultColor");
    for (const ColumnLook& c : points->Look().columns) {
        EXPECT_EQ(c.color, points->GridColor());
        EXPECT_EQ(c.titleColor, ClBtnFace);
    }
    Trigger("ActionDefaultWidth");
    const GridLook normal = points->Look();
    for (size_t i = 0; i < normal.columns.size(); ++i) {
        const int column = points->Model()->ColumnOf(normal.columns[i].field);
        EXPECT_EQ(normal.columns[i].width, points->DefaultWidth(column));
        EXPECT_EQ(normal.columns[i].width + 37, look.columns[i].width);
    }
}

// Lines, colours, fonts, widths, order and visibility of several grids, the
// read page's among them, through a real settings file: all of it is back
// after a restart, and the file holds the layout's keys and nothing else.
TEST_F(Layout, EverythingComesBackAfterARestartAndTheFileHoldsTheLayoutKeys) {
    const QString file = dir.filePath("settings.ini");
    QSettingsStore ini(file);
    store = &ini;
    Begin();

    std::map<QString, GridLook> want;
    int n = 0;
    auto change = [&](GridLook look) {
        ++n;
        look.hint = QStringLiteral("Таблица %1").arg(n);
        look.lines = n % 2 == 0;
        look.color = 0x00F0F0F0 - n;
        std::rotate(look.columns.begin(), look.columns.begin() + 1, look.columns.end());
        for (ColumnLook& c : look.columns) {
            c.width = 50 + 10 * n;
            c.color = 0x00010203 * n;
            c.titleColor = n % 2 == 0 ? ClHighlight : 0x00ABCDEF;
            c.font = Font("Courier", 8 + n, 0x00000080 + n, n % 2 == 1, false);
            c.font.charset = 204;
            c.font.strikeOut = true;
            c.titleFont = Font("Serif", 9 + n, ClBtnText, false, true);
            c.titleFont.underline = true;
        }
        if (look.columns.size() > 1) look.columns.back().visible = false;
        return look;
    };
    for (const char* name : {"DBGridUsers", "DBGridPoints", "DBGridKDEvents", "DBGridKDDEvs"}) {
        DBGrid* g = window->Grid(QString::fromLatin1(name));
        g->SetLook(change(g->Look()));
        want[name] = g->Look();
    }
    ReadPage& read = window->ReadPageWidget();
    read.SetLook("DBGridKDREvents", change(read.Look("DBGridKDREvents")));
    want["DBGridKDREvents"] = read.Look("DBGridKDREvents");
    const LayoutForm form = window->MainLayout();
    std::map<QString, QStringList> fields;
    for (const LayoutGrid& g : form.grids)
        fields[g.name] = Fields(g.look());
    Close();

    Start();
    Login({}, {});
    for (const auto& [name, look] : want) {
        const GridLook got = name == "DBGridKDREvents" ? window->ReadPageWidget().Look(name)
                                                       : window->Grid(name)->Look();
        EXPECT_EQ(got, look) << name.toStdString();
    }
    // The read page's grids take their look when a round comes.
    window->ReadPageWidget().Attach();
    EXPECT_EQ(window->ReadPageWidget().TouchGrid()->Look(), want["DBGridKDREvents"]);
    Stop();

    // The layout's keys, exactly.
    QSet<QString> expected = {"FormMain/Left",    "FormMain/Top",   "FormMain/Height",
                              "FormMain/Width",   "FormMain/State", "FormTableCols/Left",
                              "FormTableCols/Top"};
    for (const auto& [grid, columns] : fields) {
        const QString g = "FormMain/" + grid + "/";
        for (const char* v : {"Name", "Grid", "Color"})
            expected << g + v;
        for (const QString& f : columns) {
            for (const char* v : {"Width", "Visible", "Index", "Color", "TColor"})
                expected << g + f + "/" + v;
            for (const char* sub : {"Font", "TFont"})
                for (const char* v : {"Name", "Charset", "Size", "Color", "fsBold", "fsItalic",
                                      "fsUnderline", "fsStrikeOut"})
                    expected << g + f + "/" + sub + "/" + v;
        }
    }
    QSettings s(file, QSettings::IniFormat);
    QSet<QString> layout;
    for (const QString& k : s.allKeys())
        if (k.startsWith("FormMain/") || k.startsWith("FormTableCols/")) layout << k;
    EXPECT_EQ(layout - expected, QSet<QString>());
    EXPECT_EQ(expected - layout, QSet<QString>());
    for (const QString& g : s.childGroups())
        EXPECT_TRUE(g == "FormMain" || g == "FormTableCols" || g == "Ports") << g.toStdString();

    // Values as the table gives them: integers, booleans 0 or 1, strings.
    EXPECT_EQ(s.value("FormMain/DBGridUsers/Name").toString(), "Таблица 1");
    EXPECT_EQ(s.value("FormMain/DBGridUsers/Grid").toString(), "0");
    EXPECT_EQ(s.value("FormMain/DBGridUsers/Name/Index").toString(), "0");
    EXPECT_EQ(s.value("FormMain/DBGridUsers/Key/Visible").toString(), "0");  // rotated to the end
    EXPECT_EQ(s.value("FormMain/DBGridUsers/Key/Font/Charset").toString(), "204");
    EXPECT_EQ(s.value("FormMain/DBGridUsers/Key/Font/fsStrikeOut").toString(), "1");
    EXPECT_EQ(s.value("FormMain/DBGridUsers/Key/TFont/Color").toString(),
              QString::number(static_cast<int>(ClBtnText)));
    EXPECT_EQ(s.value("FormMain/DBGridUsers/Key/TFont/Name").toString(), "Serif");
}
