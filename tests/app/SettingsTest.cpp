#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <climits>
#include <functional>
#include <vector>

#include "app/settings/ProgramSettings.h"
#include "app/settings/SettingsStore.h"
#include "app/settings/WindowSettings.h"

using namespace kordex;
using namespace kordex::app;

namespace {

const QString PortsPath = SubKey(ProgramKey, PortsKey);

void ExpectSame(const ProgramSettings& got, const ProgramSettings& want) {
    EXPECT_EQ(got.savedPort, want.savedPort);
    EXPECT_EQ(got.port, want.port);
    EXPECT_EQ(got.interval, want.interval);
    EXPECT_EQ(got.pathMode, want.pathMode);
    EXPECT_EQ(got.autoKDAdd, want.autoKDAdd);
    EXPECT_EQ(got.autoRegAdd, want.autoRegAdd);
    EXPECT_EQ(got.autoGuardAdd, want.autoGuardAdd);
    EXPECT_EQ(got.autoPAdd, want.autoPAdd);
    EXPECT_EQ(got.checkOver, want.checkOver);
    EXPECT_EQ(got.user, want.user);
    for (const char* name : {"COM1", "COM2", "COM3", "COM4"})
        EXPECT_EQ(got.ports.DeviceFor(name), want.ports.DeviceFor(name)) << name;
}

// A program key that opens and holds nothing gives these.
ProgramSettings FirstStart() {
    ProgramSettings s;
    s.interval = 10;
    return s;
}

}  // namespace

TEST(ProgramSettingsLoad, ValuesDefaultsAndClamps) {
    struct Case {
        const char* what;
        std::vector<std::pair<QString, QVariant>> stored;
        std::function<void(ProgramSettings&)> expect;
    };
    const auto none = [](ProgramSettings&) {};
    const std::vector<Case> cases = {
        {"nothing stored", {}, none},
        {"interval kept", {{"Interval", 255}}, [](auto& s) { s.interval = 255; }},
        {"interval 0 kept", {{"Interval", 0}}, [](auto& s) { s.interval = 0; }},
        {"interval 256 cut", {{"Interval", 256}}, [](auto& s) { s.interval = 255; }},
        {"interval 300 cut", {{"Interval", 300}}, [](auto& s) { s.interval = 255; }},
        {"interval -5 raised", {{"Interval", -5}}, [](auto& s) { s.interval = 0; }},
        {"interval as text is no integer", {{"Interval", QString("300")}}, none},
        {"Com 1", {{"Com", 1}}, [](auto& s) { s.savedPort = 1; }},
        {"Com 3", {{"Com", 3}}, [](auto& s) { s.savedPort = 3; }},
        {"Com 4", {{"Com", 4}}, [](auto& s) { s.savedPort = 4; }},
        {"Com 7 names no port", {{"Com", 7}}, none},
        {"Com 0 names no port", {{"Com", 0}}, none},
        {"Com -48 after a close without port", {{"Com", -48}}, none},
        {"path mode 2", {{"PathMode", 2}}, [](auto& s) { s.pathMode = 2; }},
        {"path mode 3 is out of range", {{"PathMode", 3}}, none},
        {"path mode -1 is out of range", {{"PathMode", -1}}, none},
        {"AutoKDAdd off", {{"AutoKDAdd", 0}}, [](auto& s) { s.autoKDAdd = false; }},
        {"AutoRegAdd off", {{"AutoRegAdd", 0}}, [](auto& s) { s.autoRegAdd = false; }},
        {"AutoGuardAdd off", {{"AutoGuardAdd", 0}}, [](auto& s) { s.autoGuardAdd = false; }},
        {"AutoPAdd off", {{"AutoPAdd", 0}}, [](auto& s) { s.autoPAdd = false; }},
        {"CheckOver off", {{"CheckOver", 0}}, [](auto& s) { s.checkOver = false; }},
        {"any non-zero is true", {{"CheckOver", 5}, {"AutoPAdd", 1}}, none},
        {"user",
         {{"User", QString("0100000012345678")}},
         [](auto& s) { s.user = QString("0100000012345678"); }},
        {"empty user is still a user", {{"User", QString()}}, [](auto& s) { s.user = QString(); }},
        {"value names are exact", {{"interval", 300}, {"com", 3}}, none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemorySettingsStore store;
        for (const auto& [name, value] : c.stored)
            store.Put(ProgramKey, name, value);
        ProgramSettings got;
        got.Load(store);
        ProgramSettings want = FirstStart();
        c.expect(want);
        ExpectSame(got, want);
        EXPECT_FALSE(store.IsOpen());
    }
}

TEST(ProgramSettingsLoad, MissingValuesKeepWhatTheMembersHold) {
    MemorySettingsStore store;
    store.Put(ProgramKey, "AutoKDAdd", 1);
    ProgramSettings s;
    s.savedPort = 2;
    s.pathMode = 1;
    s.autoKDAdd = false;
    s.checkOver = false;
    s.user = "X";
    ProgramSettings want = s;
    want.interval = 10;
    want.autoKDAdd = true;
    s.Load(store);
    ExpectSame(s, want);
}

TEST(ProgramSettingsLoad, PortDevicesFromThePortsKey) {
    MemorySettingsStore store;
    store.Put(PortsPath, "COM2", QString("/dev/ttyUSB0"));
    store.Put(PortsPath, "COM3", QString());  // empty: the default
    ProgramSettings s;
    s.Load(store);
    EXPECT_EQ(s.ports.DeviceFor("COM1"), link::PortMap::DefaultDevice("COM1"));
    EXPECT_EQ(s.ports.DeviceFor("COM2"), "/dev/ttyUSB0");
    EXPECT_EQ(s.ports.DeviceFor("COM3"), link::PortMap::DefaultDevice("COM3"));
}

TEST(ProgramSettingsSave, ComIsThePortDigitOrMinus48AndBooleansAreIntegers) {
    const std::pair<int, int> cases[] = {{0, -48}, {1, 1}, {4, 4}};
    for (const auto& [port, written] : cases) {
        MemorySettingsStore store;
        ProgramSettings s = FirstStart();
        s.port = port;
        s.autoGuardAdd = false;
        s.Save(store);
        EXPECT_EQ(store.Get(ProgramKey, "Com"), QVariant(written)) << port;
        EXPECT_EQ(store.Get(ProgramKey, "AutoGuardAdd"), QVariant(0));
        EXPECT_EQ(store.Get(ProgramKey, "CheckOver"), QVariant(1));
        // Nobody logged in: no "User".
        EXPECT_FALSE(store.Get(ProgramKey, "User"));
        EXPECT_EQ(store.Get(PortsPath, "COM4"), QVariant(link::PortMap::DefaultDevice("COM4")));
        EXPECT_FALSE(store.IsOpen());
    }
}

TEST(ProgramSettingsStore, AKeyThatDoesNotOpenIsSkippedSilently) {
    MemorySettingsStore failing;
    failing.Put(ProgramKey, "Interval", 300);
    failing.Put(ProgramKey, "Com", 3);
    failing.Put(PortsPath, "COM1", QString("/dev/ttyUSB0"));
    failing.FailOpen(ProgramKey);
    failing.FailOpen(PortsPath);

    // Nothing read: the design-time state, the interval list without a selection.
    ProgramSettings s;
    s.Load(failing);
    ExpectSame(s, ProgramSettings{});
    EXPECT_EQ(s.interval, NoSelection);

    // Nothing written.
    s.pathMode = 2;
    s.Save(failing);
    EXPECT_EQ(failing.Get(ProgramKey, "Interval"), QVariant(300));
    EXPECT_FALSE(failing.Get(ProgramKey, "PathMode"));
    EXPECT_FALSE(failing.IsOpen());

    // At the next orderly close with a working key the missing selection is written as -1.
    MemorySettingsStore working;
    s.Save(working);
    EXPECT_EQ(working.Get(ProgramKey, "Interval"), QVariant(-1));
    EXPECT_EQ(working.Get(ProgramKey, "Com"), QVariant(-48));
}

TEST(ProgramSettingsPort, StartPortIsTheFirstExistingUnlessTheSavedOneExists) {
    struct Case {
        std::array<bool, 4> exists;
        std::optional<int> saved;
        int chosen;
    } cases[] = {
        {{true, true, false, false}, std::nullopt, 1},
        {{true, true, false, false}, 2, 2},
        {{true, true, false, false}, 3, 1},  // COM3 saved but gone
        {{false, false, true, true}, std::nullopt, 3},
        {{false, false, false, true}, 4, 4},
        {{false, false, false, false}, 1, 0},
    };
    for (const auto& c : cases) {
        ProgramSettings s;
        s.savedPort = c.saved;
        EXPECT_EQ(s.StartPort(c.exists), c.chosen) << c.saved.value_or(0);
    }
}

TEST(ProgramSettingsPages, EachOptionReachesItsOwnField) {
    using Member = bool ProgramSettings::*;
    using Option = bool collector::ReadOptions::*;
    const std::pair<Member, Option> pairs[] = {
        {&ProgramSettings::autoKDAdd, &collector::ReadOptions::autoKDAdd},
        {&ProgramSettings::autoRegAdd, &collector::ReadOptions::autoRegAdd},
        {&ProgramSettings::autoGuardAdd, &collector::ReadOptions::autoGuardAdd},
        {&ProgramSettings::autoPAdd, &collector::ReadOptions::autoPAdd},
        {&ProgramSettings::checkOver, &collector::ReadOptions::checkOver},
    };
    for (const auto& [member, option] : pairs) {
        ProgramSettings s;
        s.*member = false;
        const collector::ReadOptions o = s.ReadPageOptions();
        for (const auto& [otherMember, otherOption] : pairs)
            EXPECT_EQ(o.*otherOption, otherOption != option);

        ProgramSettings back;
        back.TakeReadPageOptions(o);
        for (const auto& [otherMember, otherOption] : pairs)
            EXPECT_EQ(back.*otherMember, otherMember != member);
    }

    ProgramSettings s;
    s.interval = 42;
    s.pathMode = 2;
    collector::WriteChoices choices;
    choices.memo = "memo";
    s.FillWritePage(choices);
    EXPECT_EQ(choices.interval, 42);
    EXPECT_EQ(choices.mode, 2);
    EXPECT_EQ(choices.memo, "memo");
}

// The user's INI file, in a temporary configuration directory.
class IniStore : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    }
    void TearDown() override {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }
    QString File() const { return dir.filePath("Kordex/Kordex Commander 2.0.ini"); }

    QTemporaryDir dir;
};

#ifndef Q_OS_WIN
TEST_F(IniStore, SaveThenLoadThroughTheUsersIniFile) {
    ProgramSettings saved = FirstStart();
    saved.port = 3;
    saved.interval = 42;
    saved.pathMode = 2;
    saved.autoPAdd = false;
    saved.checkOver = false;
    saved.user = "0100000012345678";
    saved.ports.Set("COM1", "/dev/ttyUSB7");
    {
        QSettingsStore store;
        EXPECT_EQ(QFileInfo(store.Location()).absoluteFilePath(),
                  QFileInfo(File()).absoluteFilePath());
        saved.Save(store);
        FormPlacement::Of(QRect(10, 20, 700, 500), Qt::WindowMaximized)
            .Save(store, "FormMain", false);
    }
    ASSERT_TRUE(QFile::exists(File()));

    QSettings ini(File(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Com").toString(), "3");
    EXPECT_EQ(ini.value("Interval").toString(), "42");
    EXPECT_EQ(ini.value("PathMode").toString(), "2");
    EXPECT_EQ(ini.value("AutoKDAdd").toString(), "1");
    EXPECT_EQ(ini.value("CheckOver").toString(), "0");
    EXPECT_EQ(ini.value("User").toString(), "0100000012345678");
    EXPECT_EQ(ini.value("Ports/COM1").toString(), "/dev/ttyUSB7");
    EXPECT_EQ(ini.value("Ports/COM2").toString(), "/dev/ttyS1");
    EXPECT_EQ(ini.value("FormMain/Width").toString(), "700");
    EXPECT_EQ(ini.value("FormMain/State").toString(), "2");

    QSettingsStore store;
    ProgramSettings loaded;
    loaded.Load(store);
    ProgramSettings want = saved;
    want.savedPort = 3;
    want.port = 0;  // the chosen port comes from probing, not from the store
    ExpectSame(loaded, want);

    FormPlacement placement;
    placement.Load(store, "FormMain");
    EXPECT_EQ(placement.left, 10);
    EXPECT_EQ(placement.top, 20);
    EXPECT_EQ(placement.height, 500);
    EXPECT_EQ(placement.state, 2);
}
#endif

TEST_F(IniStore, HandEditedFileReadsAsText) {
    QDir().mkpath(QFileInfo(File()).path());
    QFile f(File());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "[General]\nInterval=300\nCom=abc\nPathMode= 1 \nCheckOver=0\nUser=ABC\n"
        "[Ports]\nCOM2=/dev/ttyUSB0\n");
    f.close();

    QSettingsStore store(File());
    ProgramSettings s;
    s.Load(store);
    ProgramSettings want = FirstStart();
    want.interval = 255;
    want.pathMode = 1;
    want.checkOver = false;
    want.user = "ABC";
    want.ports.Set("COM2", "/dev/ttyUSB0");
    ExpectSame(s, want);
}

TEST_F(IniStore, OnlyTheProgramKeyAndItsSubkeysOpen) {
    QSettingsStore store(File());
    EXPECT_TRUE(store.Open(ProgramKey));
    EXPECT_TRUE(store.Open("software\\kordex\\kordex commander 2.0\\FormMain\\DBGridUsers"));
    store.WriteInteger("Color", 5);
    EXPECT_FALSE(store.Open("Software\\Kordex"));
    EXPECT_FALSE(store.Open("Software\\Other\\Kordex Commander 2.0"));
    store.WriteInteger("Lost", 1);  // nothing open: goes nowhere
    store.Close();

    QSettings ini(File(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("FormMain/DBGridUsers/Color").toString(), "5");
    EXPECT_FALSE(ini.contains("Lost"));
}

TEST(FormBounds, SavedValuesAreMovedAndCutOntoTheScreen) {
    const QRect screen(0, 0, 1024, 768);
    const QSize design(640, 480);
    struct Case {
        const char* what;
        FormPlacement saved;
        bool dialogBorder;
        QRect screen, bounds;
    } cases[] = {
        {"first start: centred", {}, false, screen, {192, 144, 640, 480}},
        {"kept", {10, 20, 700, 500, {}}, false, screen, {10, 20, 700, 500}},
        {"right of a smaller screen",
         {1500, 100, 640, 480, {}},
         false,
         screen,
         {384, 100, 640, 480}},
        {"below the screen", {0, 700, 640, 480, {}}, false, screen, {0, 288, 640, 480}},
        {"above and left", {-50, -20, 640, 480, {}}, false, screen, {0, 0, 640, 480}},
        {"larger than the screen", {50, 50, 2000, 1000, {}}, false, screen, {0, 0, 1024, 768}},
        {"width 0: 4/5 by 2/3", {100, 100, 0, 480, {}}, false, screen, {100, 32, 719, 480}},
        {"height 0: 4/5 by 2/3", {100, 100, 640, 0, {}}, false, screen, {100, 100, 640, 412}},
        {"negative width", {100, 100, -5, 480, {}}, false, screen, {100, 100, 924, 480}},
        {"far right does not overflow",
         {INT_MAX, INT_MAX, 640, 480, {}},
         false,
         screen,
         {384, 288, 640, 480}},
        {"dialog border keeps its design size",
         {10, 20, 800, 600, {}},
         true,
         screen,
         {10, 20, 640, 480}},
        {"dialog border centred", {{}, {}, 800, 600, {}}, true, screen, {192, 144, 640, 480}},
        {"screen not at the origin: centred", {}, false, {0, 30, 1024, 738}, {192, 159, 640, 480}},
        {"screen not at the origin: pulled down",
         {0, 0, 640, 480, {}},
         false,
         {0, 30, 1024, 738},
         {0, 30, 640, 480}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormBounds(c.saved, design, c.dialogBorder, c.screen), c.bounds) << c.what;
}

TEST(FormPlacement, StoredValuesAndStates) {
    MemorySettingsStore store;
    const QString key = SubKey(ProgramKey, "FormTableCols");
    FormPlacement::Of(QRect(5, 6, 258, 333), Qt::WindowNoState).Save(store, "FormTableCols", true);
    EXPECT_EQ(store.Get(key, "Left"), QVariant(5));
    EXPECT_EQ(store.Get(key, "Top"), QVariant(6));
    // A dialog-bordered form stores its position only.
    EXPECT_FALSE(store.Get(key, "Width"));
    EXPECT_FALSE(store.Get(key, "Height"));
    EXPECT_FALSE(store.Get(key, "State"));

    store.FailOpen(SubKey(ProgramKey, "FormMain"));
    FormPlacement kept{1, 2, 3, 4, 0};
    kept.Load(store, "FormMain");
    EXPECT_EQ(kept.width, 3);

    const std::pair<int, Qt::WindowState> states[] = {
        {0, Qt::WindowNoState}, {1, Qt::WindowMinimized}, {2, Qt::WindowMaximized}};
    for (const auto& [value, state] : states) {
        EXPECT_EQ(WindowStateFromValue(value), state);
        EXPECT_EQ(WindowStateValue(state | Qt::WindowActive), value);
    }
    EXPECT_FALSE(WindowStateFromValue(3));
    EXPECT_EQ(WindowStateValue(Qt::WindowMinimized | Qt::WindowMaximized), 1);
}
