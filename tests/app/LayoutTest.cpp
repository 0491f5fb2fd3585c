// The layout kept in the settings: colours and fonts, a grid's look read over
// the design state, and a form's place on the screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "app/layout/Layout.h"
#include "app/settings/SettingsStore.h"

using namespace kordex;
using namespace kordex::app;
using namespace kordex::widgets;

namespace {

const QString FormKey = SubKey(ProgramKey, "FormMain");
const QString GridKey = SubKey(FormKey, "DBGridUsers");

QString Key(const QString& field, const char* sub = nullptr) {
    const QString k = SubKey(GridKey, field);
    return sub == nullptr ? k : SubKey(k, QString::fromLatin1(sub));
}

ColumnLook Column(const char* field, int width) {
    ColumnLook c;
    c.field = QString::fromLatin1(field);
    c.title = c.field;
    c.width = width;
    c.font = GridFont::Of(QFont("Sans", 9));
    c.titleFont = c.font;
    return c;
}

// The design look of a grid of four columns.
GridLook Design() {
    GridLook look;
    look.columns = {Column("Key", 100), Column("Name", 200), Column("Passwrd", 60),
                    Column("Date", 80)};
    return look;
}

QStringList Order(const GridLook& look) {
    QStringList out;
    for (const ColumnLook& c : look.columns)
        out << c.field;
    return out;
}

}  // namespace

TEST(LayoutColors, ValuesAreBgrOrSystemColoursOfThePalette) {
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(1, 2, 3));
    palette.setColor(QPalette::Button, QColor(4, 5, 6));
    palette.setColor(QPalette::Text, QColor(7, 8, 9));
    palette.setColor(QPalette::Highlight, QColor(10, 11, 12));
    const struct {
        ColorValue value;
        QColor color;
    } cases[] = {
        {0x000000FF, QColor(255, 0, 0)},  // clRed: red in the low byte
        {0x00FF0000, QColor(0, 0, 255)},  // clBlue
        {0x0080FF00, QColor(0, 255, 128)}, {ClWindow, QColor(1, 2, 3)},
        {ClBtnFace, QColor(4, 5, 6)},      {ClWindowText, QColor(7, 8, 9)},
        {ClHighlight, QColor(10, 11, 12)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToQColor(c.value, palette), c.color) << std::hex << c.value;
        if (!IsSystemColor(c.value)) {
            EXPECT_EQ(ToColorValue(c.color), c.value) << std::hex << c.value;
        }
    }
    EXPECT_TRUE(IsSystemColor(ClWindow));
    EXPECT_FALSE(IsSystemColor(0x00FFFFFF));
    // A colour chosen is kept as a colour of its own, also when the palette has it.
    EXPECT_EQ(ToColorValue(QColor(1, 2, 3)), 0x00030201);
}

TEST(LayoutFonts, WriteAllEightReadOnlyThosePresent) {
    MemorySettingsStore store;
    GridFont f;
    f.name = "Courier New";
    f.charset = 204;
    f.size = 12;
    f.color = 0x000000FF;
    f.bold = true;
    f.strikeOut = true;
    WriteFont(f, store, Key("Name", "Font"));
    const std::pair<const char*, QVariant> written[] = {
        {"Name", "Courier New"}, {"Charset", 204}, {"Size", 12},       {"Color", 255},
        {"fsBold", 1},           {"fsItalic", 0},  {"fsUnderline", 0}, {"fsStrikeOut", 1}};
    for (const auto& [name, value] : written)
        EXPECT_EQ(store.Get(Key("Name", "Font"), name), value) << name;

    GridFont read;
    ReadFont(read, store, Key("Name", "Font"));
    EXPECT_EQ(read, f);

    // Only what is there changes the font.
    MemorySettingsStore partial;
    partial.Put(Key("Key", "TFont"), "Size", 14);
    partial.Put(Key("Key", "TFont"), "fsItalic", 1);
    GridFont design = GridFont::Of(QFont("Sans", 9), 0x00123456);
    design.underline = true;
    GridFont want = design;
    want.size = 14;
    want.italic = true;
    ReadFont(design, partial, Key("Key", "TFont"));
    EXPECT_EQ(design, want);
}

TEST(LayoutGridLook, MissingValuesKeepTheDesignAndColumnsGoByFieldAndIndex) {
    MemorySettingsStore store;
    store.Put(GridKey, "Grid", 0);
    store.Put(GridKey, "Color", 0x00C0FFC0);
    store.Put(Key("Name"), "Width", 333);
    store.Put(Key("Name"), "Visible", 0);
    store.Put(Key("Name"), "TColor", 0x000000FF);
    store.Put(Key("Name", "Font"), "fsBold", 1);
    // Positions: Date first, then Passwrd at 1; Key and Name have none.
    store.Put(Key("Passwrd"), "Index", 1);
    store.Put(Key("Date"), "Index", 0);
    store.Put(Key("Unknown"), "Index", 0);  // a column the grid no longer has
    // A value of the wrong type is as good as none.
    store.Put(Key("Key"), "Width", QStringLiteral("wide"));

    GridLook look = Design();
    RestoreGridLook(look, store, GridKey);
    EXPECT_FALSE(look.lines);
    EXPECT_EQ(look.color, 0x00C0FFC0);
    EXPECT_EQ(look.hint, QString());
    EXPECT_EQ(Order(look), QStringList({"Date", "Passwrd", "Key", "Name"}));
    const ColumnLook* name = look.Column("Name");
    EXPECT_EQ(name->width, 333);
    EXPECT_FALSE(name->visible);
    EXPECT_EQ(name->titleColor, 0x000000FF);
    EXPECT_EQ(name->color, ClWindow);
    EXPECT_TRUE(name->font.bold);
    EXPECT_FALSE(name->titleFont.bold);
    EXPECT_EQ(look.Column("Key")->width, 100);

    // Nothing stored: the design as it was.
    MemorySettingsStore empty;
    GridLook design = Design();
    RestoreGridLook(design, empty, GridKey);
    EXPECT_EQ(design, Design());
}

TEST(LayoutGridLook, IndexesAreAppliedInAscendingOrder) {
    // Saved positions applied from the smallest: each move sees the ones
    // before it done. Out-of-range indexes put the column last.
    const struct {
        std::vector<std::pair<const char*, int>> indexes;
        QStringList order;
    } cases[] = {
        {{{"Date", 0}, {"Name", 1}, {"Key", 2}, {"Passwrd", 3}},
         {"Date", "Name", "Key", "Passwrd"}},
        {{{"Key", 3}, {"Name", 2}, {"Passwrd", 1}, {"Date", 0}},
         {"Date", "Passwrd", "Name", "Key"}},
        {{{"Key", 9}}, {"Name", "Passwrd", "Date", "Key"}},
        {{{"Date", -4}}, {"Date", "Key", "Name", "Passwrd"}},
        {{{"Key", 2}, {"Name", 2}}, {"Passwrd", "Key", "Name", "Date"}},
    };
    for (const auto& c : cases) {
        MemorySettingsStore store;
        for (const auto& [field, index] : c.indexes)
            store.Put(Key(field), "Index", index);
        GridLook look = Design();
        RestoreGridLook(look, store, GridKey);
        EXPECT_EQ(Order(look), c.order) << c.order.join(',').toStdString();
    }
}

TEST(LayoutGridLook, SavedLookReadsBackTheSame) {
    GridLook look = Design();
    look.hint = "Пользователи";
    look.lines = false;
    look.color = 0x00E0E0E0;
    std::swap(look.columns[0], look.columns[3]);
    look.columns[1].visible = false;
    look.columns[2].color = 0x0000FF00;
    look.columns[2].titleFont.italic = true;
    look.columns[3].titleColor = ClHighlight;

    MemorySettingsStore store;
    SaveGridLook(look, store, GridKey);
    EXPECT_EQ(store.Get(Key("Date"), "Index"), QVariant(0));
    EXPECT_EQ(store.Get(Key("Key"), "Index"), QVariant(3));
    EXPECT_EQ(store.Get(Key("Key"), "TColor"), QVariant(static_cast<int>(ClHighlight)));
    EXPECT_EQ(store.Get(GridKey, "Name"), QVariant(QStringLiteral("Пользователи")));
    GridLook read = Design();
    RestoreGridLook(read, store, GridKey);
    EXPECT_EQ(read, look);
}

TEST(LayoutForm, BoundsOnTheScreen) {
    // The screen is smaller than the one the values were saved on.
    const QRect screen(0, 0, 800, 600);
    const QSize design(624, 440);
    const struct {
        const char* what;
        bool dialogBorder;
        std::vector<std::pair<const char*, int>> saved;
        QRect bounds;
    } cases[] = {
        {"first start: centred at the design size", false, {}, {88, 80, 624, 440}},
        {"right of a smaller screen",
         false,
         {{"Left", 1200}, {"Top", 10}, {"Width", 700}, {"Height", 500}},
         {100, 10, 700, 500}},
        {"larger than the screen",
         false,
         {{"Left", 30}, {"Top", 40}, {"Width", 1600}, {"Height", 1200}},
         {0, 0, 800, 600}},
        {"width 0",
         false,
         {{"Left", 0}, {"Top", 0}, {"Width", 0}, {"Height", 300}},
         {0, 0, 640, 300}},
        {"height 0",
         false,
         {{"Left", 0}, {"Top", 0}, {"Width", 300}, {"Height", 0}},
         {0, 0, 300, 400}},
        {"dialog border keeps its size",
         true,
         {{"Left", 20}, {"Top", 30}, {"Width", 999}, {"Height", 999}},
         {20, 30, 624, 440}},
    };
    for (const auto& c : cases) {
        MemorySettingsStore store;
        for (const auto& [name, value] : c.saved)
            store.Put(FormKey, name, value);
        QWidget form;
        form.setObjectName("FormMain");
        form.resize(100, 100);
        RestoreLayout({&form, design, c.dialogBorder, {}}, store, ProgramKey, screen);
        EXPECT_EQ(form.geometry(), c.bounds) << c.what;
    }

    // A key that does not open leaves the form as it is.
    MemorySettingsStore failing;
    failing.FailOpen(FormKey);
    QWidget form;
    form.setObjectName("FormMain");
    form.setGeometry(5, 6, 100, 100);
    RestoreLayout({&form, design, false, {}}, failing, ProgramKey, screen);
    EXPECT_EQ(form.geometry(), QRect(5, 6, 100, 100));
}

TEST(LayoutForm, ADialogBorderedFormStoresItsPositionOnly) {
    MemorySettingsStore store;
    QWidget form;
    form.setObjectName("FormTableCols");
    form.setGeometry(40, 50, 258, 400);
    SaveLayout({&form, {258, 333}, true, {}}, store, ProgramKey);
    const QString key = SubKey(ProgramKey, "FormTableCols");
    EXPECT_EQ(store.Get(key, "Left"), QVariant(40));
    EXPECT_EQ(store.Get(key, "Top"), QVariant(50));
    for (const char* v : {"Width", "Height", "State"})
        EXPECT_FALSE(store.Get(key, v)) << v;
}
