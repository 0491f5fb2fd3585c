#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QSignalSpy>
#include <algorithm>
#include <cmath>

#include "../store/ModuleFixture.h"
#include "link/KeyId.h"
#include "store/Rules.h"
#include "widgets/GridModel.h"

using namespace kordex;
using namespace kordex::widgets;
using namespace kordex::store;
using namespace kordex::store::testing;

namespace {

QString KeyOf(uint32_t serial) {
    return link::TouchKeyText(serial);
}

double At(int month, int day, int hour, int minute, int second) {
    return link::DateTime::FromDate(QDate(2025, month, day), QTime(hour, minute, second)).Days();
}

// The data module with its rules, opened, as the program runs it.
class GridModelTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        Open();
        rules = std::make_unique<Rules>(*dm);
    }

    static QStringList Texts(const GridModel& m, int column) {
        QStringList out;
        for (int r = 0; r < m.rowCount(); ++r)
            out << m.data(m.index(r, column)).toString();
        return out;
    }

    std::unique_ptr<Rules> rules;
};

}  // namespace

TEST_F(GridModelTest, RowsFollowThePostsAndDeletesOfTheView) {
    View& points = dm->TablePoints();
    GridModel model(points, {{"Key", "Ключ"}, {"Name", "Наименование"}});
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.CurrentRow(), -1);

    Add(points, {{"Key", KeyOf(1)}, {"Name", "Въезд"}});
    Add(points, {{"Key", KeyOf(2)}, {"Name", "Анкер"}});
    Add(points, {{"Key", KeyOf(3)}, {"Name", "Склад"}});
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_GE(resets.count(), 3);
    EXPECT_EQ(Texts(model, 1), (QStringList{"Анкер", "Въезд", "Склад"}));
    EXPECT_EQ(model.data(model.index(2, 0)).toString(), KeyOf(3));
    EXPECT_EQ(model.CurrentRow(), 2);  // the row just posted

    // Moving the cursor redraws the row left and the row reached.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    points.First();
    EXPECT_EQ(model.CurrentRow(), 0);
    QList<int> rows;
    for (const QList<QVariant>& args : changed)
        rows << args.at(0).toModelIndex().row();
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (QList<int>{0, 2}));

    {
        ScopedFlag permit(dm->DeletePermitted, true);
        points.Delete();
    }
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(Texts(model, 1), (QStringList{"Въезд", "Склад"}));
}

TEST_F(GridModelTest, WhileControlsAreOffTheGridStaysAsItWasAndReadsNothing) {
    View& paths = dm->TablePathes();
    Add(paths, {{"Name", "Первый"}});
    GridModel model(paths, {{"Name", "Маршрут"}});
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("Первый"));
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    {
        ControlsOff off(paths);
        Add(paths, {{"Name", "Второй"}});
        Add(paths, {{"Name", "Третий"}});
        paths.First();
        EXPECT_EQ(model.rowCount(), 1);
        EXPECT_EQ(resets.count(), 0);
        const int reads = model.RowReads();
        EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("Первый"));
        EXPECT_EQ(model.RowReads(), reads);
    }
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(Texts(model, 0), (QStringList{"Второй", "Первый", "Третий"}));
}

TEST_F(GridModelTest, OnlyTheRowsAskedForAreReadAndFewAreKept) {
    View& paths = dm->TablePathes();
    for (int i = 0; i < 30; ++i)
        Add(paths, {{"Name", QStringLiteral("Маршрут %1").arg(i, 2, 10, QLatin1Char('0'))}});
    GridModel model(paths, {{"ID", "№"}, {"Name", "Маршрут"}}, nullptr, 8);
    EXPECT_EQ(model.rowCount(), 30);
    EXPECT_EQ(model.RowReads(), 0);

    auto show = [&](int from, int to) {
        for (int r = from; r < to; ++r)
            for (int c = 0; c < model.columnCount(); ++c)
                for (int role : {int(Qt::DisplayRole), int(Qt::TextAlignmentRole),
                                 int(Qt::ForegroundRole), int(Qt::CheckStateRole)})
                    model.data(model.index(r, c), role);
    };
    show(10, 15);
    EXPECT_EQ(model.RowReads(), 5);
    show(10, 15);
    EXPECT_EQ(model.RowReads(), 5);
    EXPECT_EQ(model.data(model.index(12, 1)).toString(), QStringLiteral("Маршрут 12"));
    show(0, 10);
    EXPECT_EQ(model.RowReads(), 15);
    EXPECT_EQ(model.CachedRows(), 8);
    show(9, 10);  // among the last kept
    EXPECT_EQ(model.RowReads(), 15);

    Add(paths, {{"Name", "Маршрут 30"}});
    EXPECT_EQ(model.CachedRows(), 0);
    EXPECT_EQ(model.rowCount(), 31);
    EXPECT_EQ(model.data(model.index(30, 1)).toString(), QStringLiteral("Маршрут 30"));
}

TEST_F(GridModelTest, TheRowBeingEditedShowsWhatIsTyped) {
    View& paths = dm->TablePathes();
    Add(paths, {{"Name", "А"}});
    Add(paths, {{"Name", "Б"}});
    GridModel model(paths, {{"Name", "Маршрут"}});
    paths.First();
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("А"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    paths.Edit();
    paths.SetValue("Name", "Я");
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_EQ(changed.last().at(0).toModelIndex().row(), 0);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("Я"));
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), QStringLiteral("Б"));
    paths.Cancel();
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("А"));
}

TEST_F(GridModelTest, RoundColumnsShowTitlesFormattedStampsLookupsAndWidths) {
    Add(dm->TableKDs(), {{"Key", KeyOf(5)}, {"Name", "Kordex 1"}});
    Add(dm->TableUsers(), {{"Key", KeyOf(6)}, {"Name", "Иванов"}, {"IsRegister", true}});
    View& rounds = dm->TableKDEvents();
    Add(rounds, {{"DateReg", At(3, 5, 14, 7, 9)},
                 {"IDKD", KeyOf(5)},
                 {"KeyReg", KeyOf(6)},
                 {"Mode", 2},
                 {"N", 4}});
    Add(rounds, {{"DateReg", At(11, 6, 9, 30, 0)},
                 {"IDKD", KeyOf(9)},
                 {"PathID", 77},
                 {"Mode", 5},
                 {"N", 12}});
    const std::vector<GridColumn> columns = {{"DateReg", "Регистрация"},
                                             {"LKD", "Kordex"},
                                             {"LRegister", "Регистратор"},
                                             {"CMode", "Режим обхода точек"},
                                             {"N", "Точек"}};
    GridModel model(rounds, columns);

    QStringList titles;
    for (int c = 0; c < model.columnCount(); ++c)
        titles << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles,
              (QStringList{"Регистрация", "Kordex", "Регистратор", "Режим обхода точек", "Точек"}));

    EXPECT_EQ(Texts(model, 0), (QStringList{"05.03.2025 14:07:09", "06.11.2025 09:30:00"}));
    EXPECT_EQ(Texts(model, 1), (QStringList{"Kordex 1", ""}));  // an unknown collector
    EXPECT_EQ(Texts(model, 2), (QStringList{"Иванов", ""}));
    EXPECT_EQ(Texts(model, 3), (QStringList{"Без маршрута", "Неизвестный"}));
    EXPECT_EQ(Texts(model, 4), (QStringList{"4", "12"}));
    EXPECT_TRUE(model.data(model.index(0, 4), Qt::TextAlignmentRole).toInt() & Qt::AlignRight);
    EXPECT_EQ(model.data(model.index(0, 0), Qt::EditRole).toDouble(), At(3, 5, 14, 7, 9));

    struct Width {
        const char* field;
        int chars;
    } widths[] = {{"DateReg", 19}, {"LKD", 20}, {"LRegister", 20}, {"CMode", 20}, {"N", 6}};
    for (const auto& w : widths) {
        const int c = model.ColumnOf(QString::fromLatin1(w.field));
        ASSERT_GE(c, 0) << w.field;
        EXPECT_EQ(model.WidthChars(c), w.chars) << w.field;
        EXPECT_EQ(model.headerData(c, Qt::Horizontal, GridModel::WidthCharsRole).toInt(), w.chars);
    }
    // In pixels: the characters at the font's average width, or the title when it is wider.
    const QFontMetrics fm(QApplication::font());
    for (int c = 0; c < model.columnCount(); ++c) {
        EXPECT_GE(model.WidthHint(c, fm), model.WidthChars(c) * fm.averageCharWidth());
        EXPECT_GE(model.WidthHint(c, fm), fm.horizontalAdvance(columns[c].title));
    }
    EXPECT_GT(model.WidthHint(model.ColumnOf("N"), fm), 6 * fm.averageCharWidth());

    EXPECT_THROW({ GridModel wrong(rounds, {{"NoSuchField", "?"}}); }, Error);
}

TEST_F(GridModelTest, BooleansAreCheckMarksAndEmptyOnesHaveNone) {
    View& users = dm->TableUsers();
    Add(users, {{"Key", KeyOf(1)}, {"Name", "Антонов"}, {"IsRegister", true}});
    Add(users, {{"Key", KeyOf(2)}, {"Name", "Борисов"}, {"IsRegister", false}});
    Add(users, {{"Key", KeyOf(3)}, {"Name", "Васильев"}});
    GridModel model(users, {{"Name", "Имя"}, {"IsRegister", "Регистратор"}});
    const QVariant checked = static_cast<int>(Qt::Checked);
    const QVariant unchecked = static_cast<int>(Qt::Unchecked);
    EXPECT_EQ(model.data(model.index(0, 1), Qt::CheckStateRole), checked);
    EXPECT_EQ(model.data(model.index(1, 1), Qt::CheckStateRole), unchecked);
    EXPECT_FALSE(model.data(model.index(2, 1), Qt::CheckStateRole).isValid());
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::CheckStateRole).isValid());
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QString());
    EXPECT_FALSE(model.flags(model.index(0, 1)) & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable));
}

TEST(GridFormat, TheCatalogueFormatsOfDateTimes) {
    // Month and minute differ, so a minute shown as a month shows.
    const double stamp = At(3, 5, 14, 7, 9);
    const double timeOfDay = At(3, 5, 8, 4, 2) - At(3, 5, 0, 0, 0);
    struct Case {
        double value;
        const char* format;
        const char* text;
    } cases[] = {
        {stamp, "dd.mm.yyyy hh:mm:ss", "05.03.2025 14:07:09"},
        {stamp, "dd.mm.yyyy hh:mm", "05.03.2025 14:07"},
        {stamp, "dd.mm.yyyy", "05.03.2025"},
        {stamp, "hh:mm:ss", "14:07:09"},
        {stamp, "hh:mm", "14:07"},
        {timeOfDay, "hh:mm", "08:04"},
        {std::floor(stamp), "dd.mm.yyyy", "05.03.2025"},
        {stamp, "d.m.yy h:nn", "5.3.25 14:07"},
        {stamp, "DD.MM.YYYY 'г.'", "05.03.2025 г."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDateTime(c.value, QString::fromUtf8(c.format)), QString::fromUtf8(c.text))
            << c.format;
}

TEST_F(GridModelTest, TouchRowsCarryTheirKindAndItsColour) {
    Add(dm->TablePoints(), {{"Key", KeyOf(11)}, {"Name", "Ворота"}});
    Add(dm->TablePoints(), {{"Key", KeyOf(12)}, {"Name", "Склад"}});
    Add(dm->TablePrBook(), {{"Key", KeyOf(13)}, {"Name", "Пожар"}});
    Add(dm->TableUsers(), {{"Key", KeyOf(14)}, {"Name", "Петров"}, {"IsRegister", false}});
    Add(dm->TableKDEvents(), {{"DateReg", At(3, 5, 8, 0, 0)}});
    View& touches = dm->TableKDREvents();
    struct Case {
        QString key;
        QVariant type;
        int kind;
        Rgb colour;
        const char* point;
        const char* comment;
    } cases[] = {
        {KeyOf(11), 0, 1, {0, 0, 0}, "Ворота", "Контрольная точка"},
        {KeyOf(12), 7, 7, {128, 0, 128}, "Склад", "Точка не по порядку"},
        {KeyOf(13), {}, 2, {255, 0, 0}, "Пожар", "Происшествие"},
        {KeyOf(14), {}, 4, {0, 0, 255}, "Петров", "Охранник"},
        {KeyOf(99), {}, 0, {128, 128, 128}, "", "Неизвестная точка"},
    };
    int minute = 0;
    for (const auto& c : cases)
        Add(touches, {{"Date", At(3, 5, 9, ++minute, 0)}, {"Key", c.key}, {"Type", c.type}});

    GridModel model(touches, {{"Date", "Дата и время"},
                              {"CPoint", "Событие"},
                              {"CComment", "Комментарий"},
                              {"CTime", "Время"}});
    ASSERT_TRUE(model.IsTouchGrid());
    ASSERT_EQ(model.rowCount(), static_cast<int>(std::size(cases)));
    for (int r = 0; r < model.rowCount(); ++r) {
        const Case& c = cases[r];
        SCOPED_TRACE(c.comment);
        EXPECT_EQ(model.data(model.index(r, 1)).toString(), QString::fromUtf8(c.point));
        EXPECT_EQ(model.data(model.index(r, 2)).toString(), QString::fromUtf8(c.comment));
        EXPECT_EQ(model.data(model.index(r, 0)).toString(),
                  QStringLiteral("05.03.2025 09:%1").arg(r + 1, 2, 10, QLatin1Char('0')));
        EXPECT_EQ(model.data(model.index(r, 3)).toString(),
                  QStringLiteral("09:%1").arg(r + 1, 2, 10, QLatin1Char('0')));
        for (int col = 0; col < model.columnCount(); ++col) {
            EXPECT_EQ(model.data(model.index(r, col), GridModel::TouchKindRole).toInt(), c.kind);
            EXPECT_EQ(model.data(model.index(r, col), Qt::ForegroundRole).value<QColor>(),
                      QColor(c.colour.r, c.colour.g, c.colour.b));
        }
    }

    // Without the touch calculation every kind is empty and reads as unknown.
    {
        ScopedFlag skip(dm->SkipTouchCalc, true);
        touches.Refresh();
        for (int r = 0; r < model.rowCount(); ++r)
            EXPECT_EQ(model.data(model.index(r, 0), Qt::ForegroundRole).value<QColor>(),
                      QColor(128, 128, 128));
    }

    GridModel paths(dm->TablePathes(), {{"Name", "Маршрут"}});
    Add(dm->TablePathes(), {{"Name", "Обход"}});
    EXPECT_FALSE(paths.IsTouchGrid());
    EXPECT_FALSE(paths.data(paths.index(0, 0), Qt::ForegroundRole).isValid());
    EXPECT_FALSE(paths.data(paths.index(0, 0), GridModel::TouchKindRole).isValid());
}

TEST(GridFormat, TheSelectionRuleOfTheTouchGrids) {
    const QColor white(255, 255, 255), red(255, 0, 0), black(0, 0, 0), purple(128, 0, 128);
    struct Case {
        bool selected, focused;
        int kind;
        bool selectionColors;
        QColor text, background;
    } cases[] = {
        {false, false, 2, false, red, {}},
        {false, true, 2, false, red, {}},
        {false, true, 1, false, black, {}},
        {true, true, 2, false, white, red},
        {true, true, 7, false, white, purple},
        {true, true, 1, true, {}, {}},  // a check point keeps the selection colours
        {true, false, 2, false, red, {}},
        {true, false, 1, false, black, {}},
        {true, false, 7, false, purple, {}},
    };
    for (const auto& c : cases) {
        const CellColors got = TouchCellColors(c.selected, c.focused, c.kind);
        SCOPED_TRACE(::testing::Message() << c.selected << c.focused << c.kind);
        EXPECT_EQ(got.selectionColors, c.selectionColors);
        if (c.selectionColors) continue;
        EXPECT_EQ(got.text, c.text);
        EXPECT_EQ(got.background.isValid(), c.background.isValid());
        if (c.background.isValid()) {
            EXPECT_EQ(got.background, c.background);
        }
    }
}
