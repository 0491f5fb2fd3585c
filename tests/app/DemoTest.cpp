#include "app/window/Demo.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>

#include "../store/ModuleFixture.h"
#include "app/settings/SettingsStore.h"
#include "collector/Operations.h"
#include "collector/Pages.h"
#include "collector/RoundBuilder.h"
#include "link/QtSerialPort.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/Scenario.h"
#include "store/DataModule.h"
#include "store/EventViews.h"
#include "store/Rules.h"

#if KORDEX_SIM_PTY
#include "sim/PtyReader.h"
#endif

using namespace kordex;
using app::DemoSession;
using store::testing::Column;

namespace {

const sim::DemoKeys& Keys() {
    return sim::DemoKeyIds();
}

int DemoPathId() {
    return sim::DemoScenario(QDateTime::currentDateTime()).path->id;
}

// The program's store over a directory, as the program opens it.
struct Store {
    explicit Store(const QString& directory) : dm(prompt, status, clock, pump, directory) {
        opened = dm.OpenDatabases();
        rules = std::make_unique<store::Rules>(dm);
    }

    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::SystemClock clock;
    shell::HookPump pump;
    store::TDM dm;
    std::unique_ptr<store::Rules> rules;
    bool opened = false;
};

// Every row of the view: its key and name.
QStringList KeysAndNames(store::View& view) {
    QStringList rows;
    const QStringList keys = Column(view, QStringLiteral("Key"));
    const QStringList names = Column(view, QStringLiteral("Name"));
    for (qsizetype i = 0; i < keys.size(); ++i)
        rows << keys[i] + QLatin1Char(' ') + names.value(i);
    rows.sort();
    return rows;
}

QString Row(const QString& key, const QString& name) {
    return key + QLatin1Char(' ') + name;
}

class DemoSeeding : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    bool Seed() {
        error.clear();
        return app::SeedDemoData(dir.path(), error);
    }

    QTemporaryDir dir;
    QString error;
};

}  // namespace

// A fresh directory gets the program's database directories and the rows the
// demo collector's keys need, each in the view the program shows it in.
TEST_F(DemoSeeding, FreshDirectoryGetsTheDemoCollectorsReferenceData) {
    ASSERT_TRUE(Seed()) << error.toStdString();
    for (const char* sub : {"DB", "DB.ARH", "DB.TMP"})
        EXPECT_TRUE(QDir(dir.filePath(QString::fromLatin1(sub))).exists()) << sub;

    Store s(dir.path());
    ASSERT_TRUE(s.opened);
    const sim::DemoKeys& k = Keys();
    QStringList points;
    for (qsizetype i = 0; i < k.points.size(); ++i)
        points << Row(k.points[i], app::demo::PointNames().value(i));
    points.sort();
    struct Case {
        store::View& view;
        QStringList rows;
    } cases[] = {
        {s.dm.TableRegisters(), {Row(k.registrar, app::demo::RegistrarName)}},
        {s.dm.TableGuards(), {Row(k.guard, app::demo::GuardName)}},
        {s.dm.TablePoints(), points},
        {s.dm.TablePrBook(), {Row(k.incident, app::demo::IncidentName)}},
        {s.dm.TableKDs(), {Row(k.collector, app::demo::CollectorName)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.view.Name().toStdString());
        EXPECT_EQ(KeysAndNames(c.view), c.rows);
    }
    EXPECT_EQ(s.dm.TableUsers().RecordCount(), 2);

    store::View& registrar = s.dm.TableRegisters();
    registrar.First();
    EXPECT_TRUE(registrar.Value(QStringLiteral("IsAdmin")).toBool());
    EXPECT_EQ(registrar.Text(QStringLiteral("Passwrd")), QString());
    EXPECT_EQ(app::demo::PointNames().size(), k.points.size());

    // The path the demo collector names, with its points in the collector's order.
    store::View& paths = s.dm.TablePathes();
    ASSERT_EQ(paths.RecordCount(), 1);
    paths.First();
    EXPECT_EQ(paths.Value(QStringLiteral("ID")).toInt(), DemoPathId());
    EXPECT_EQ(paths.Text(QStringLiteral("Name")), app::demo::PathName);
    EXPECT_EQ(Column(s.dm.TablePPathes(), QStringLiteral("Key")), k.points);
    EXPECT_EQ(s.prompt.Texts(), QStringList());
}

// Seeding is for a store nobody has used: once it holds people, whatever the
// operator changed stays as it is and nothing comes twice.
TEST_F(DemoSeeding, StoreWithPeopleIsLeftAsItIs) {
    ASSERT_TRUE(Seed()) << error.toStdString();
    const QString renamed = QStringLiteral("Сидоров С.С.");
    {
        Store s(dir.path());
        ASSERT_TRUE(s.opened);
        store::View& users = s.dm.TableUsers();
        ASSERT_TRUE(users.Locate(QStringLiteral("Key"), Keys().guard));
        users.Edit();
        users.SetValue(QStringLiteral("Name"), renamed);
        users.Post();
        s.dm.TablePrBook().First();
        store::ScopedFlag permit(s.dm.DeletePermitted, true);
        s.dm.TablePrBook().Delete();
    }
    ASSERT_TRUE(Seed()) << error.toStdString();

    Store s(dir.path());
    ASSERT_TRUE(s.opened);
    EXPECT_EQ(s.dm.TableUsers().RecordCount(), 2);
    EXPECT_EQ(KeysAndNames(s.dm.TableGuards()), QStringList{Row(Keys().guard, renamed)});
    EXPECT_FALSE(store::TDM::HasRows(s.dm.TablePrBook()));
    EXPECT_EQ(s.dm.TablePathes().RecordCount(), 1);
    EXPECT_EQ(s.dm.TablePPathes().RecordCount(), Keys().points.size());
}

// A key the store already uses otherwise refuses the seeding, with the
// store's own message, and leaves no half of the demo behind.
TEST_F(DemoSeeding, RefusedRowLeavesNothingBehind) {
    {
        Store s(dir.path());
        ASSERT_TRUE(s.opened);
        store::testing::Add(s.dm.TablePoints(), {{"Key", Keys().guard}, {"Name", "Ворота"}});
    }
    EXPECT_FALSE(Seed());
    EXPECT_TRUE(error.contains(Keys().guard)) << error.toStdString();

    Store s(dir.path());
    ASSERT_TRUE(s.opened);
    EXPECT_FALSE(store::TDM::HasRows(s.dm.TableUsers()));
    EXPECT_FALSE(store::TDM::HasRows(s.dm.TablePathes()));
    EXPECT_EQ(KeysAndNames(s.dm.TablePoints()), QStringList{Row(Keys().guard, "Ворота")});
}

TEST(DemoDirectory, LiesInTheUsersDataWhateverTheApplicationsName) {
    const QString before = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QString());
    const QString unnamed = DemoSession::DefaultDirectory();
    QCoreApplication::setApplicationName(QStringLiteral("kordex"));
    const QString named = DemoSession::DefaultDirectory();
    QCoreApplication::setApplicationName(before);

    EXPECT_EQ(unnamed, named);
    EXPECT_TRUE(QDir::isAbsolutePath(unnamed)) << unnamed.toStdString();
    EXPECT_TRUE(unnamed.endsWith(QStringLiteral("/Kordex/demo"))) << unnamed.toStdString();
}

#if KORDEX_SIM_PTY

namespace {

// The program's reader link on COM1 as the demo maps it.
struct Line {
    explicit Line(const link::PortMap& ports) : link(port, prompt, status, clock, pump, ports) {
        link.SetPortDigit(1);
    }

    link::QtSerialPort port;
    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::SystemClock clock;
    shell::QtEventPump pump;
    link::ReaderLink link;
};

class DemoRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QString error;
        ASSERT_TRUE(demo.Start(dir.path(), error)) << error.toStdString();
    }

    QTemporaryDir dir;
    DemoSession demo;
};

// The program's side of a read or write: store, reader link and pages.
struct Program {
    explicit Program(DemoSession& demo)
        : store(demo.ProgramDirectory()),
          line(demo.Ports()),
          ops(line.link, store.dm, *store.rules, line.prompt, line.status, line.clock, pages) {}

    // The touches of the round just read: key and judged type (-1: none).
    std::vector<std::pair<QString, int>> Touches() {
        std::vector<std::pair<QString, int>> out;
        store::View& touches = store.dm.TableKDREvents();
        for (touches.First(); !touches.Eof(); touches.Next())
            out.emplace_back(touches.Text(QStringLiteral("Key")),
                             touches.IsNull(QStringLiteral("Type"))
                                 ? -1
                                 : touches.Value(QStringLiteral("Type")).toInt());
        return out;
    }
    int RoundValue(const char* field) {
        return store.dm.TableKDEvents().Value(QString::fromLatin1(field)).toInt();
    }

    Store store;
    collector::PlainPages pages;
    Line line;
    collector::Operations ops;
};

}  // namespace

// The demo works in its own directory with its own settings, and its reader
// answers on COM1 with the demo collector.
TEST_F(DemoRun, ServesTheDemoCollectorOnComOne) {
    EXPECT_TRUE(demo.IsRunning());
    EXPECT_EQ(demo.ProgramDirectory(), QDir(dir.path()).absolutePath());
    EXPECT_TRUE(demo.SettingsFile().startsWith(demo.ProgramDirectory() + QLatin1Char('/')));
    ASSERT_FALSE(demo.DevicePath().isEmpty());
    EXPECT_EQ(demo.Ports().DeviceFor(QStringLiteral("COM1")), demo.DevicePath());

    Line line(demo.Ports());
    ASSERT_TRUE(line.link.PortEnsureOpen());
    link::Block id{};
    EXPECT_EQ(line.link.ReadBlock(0x0000, false, id), link::ExchangeOk);
    EXPECT_EQ(link::KeyIdToText(id), Keys().collector);

    // Stopping ends the answers at once, also to a port left open.
    demo.Stop();
    demo.Stop();
    EXPECT_FALSE(demo.IsRunning());
    EXPECT_EQ(demo.DevicePath(), QString());
    EXPECT_EQ(demo.Server(), nullptr);
    EXPECT_NE(line.link.ReadBlock(0x0000, false, id), link::ExchangeOk);
}

// The settings a newcomer needs are preset once; what the operator chose
// later survives the next start, and the store is not seeded again.
TEST_F(DemoRun, PresetsSettingsOnceAndSeedsOnce) {
    {
        app::QSettingsStore settings(demo.SettingsFile());
        app::SettingsKey key(settings, app::ProgramKey);
        ASSERT_TRUE(key);
        EXPECT_EQ(key->ReadInteger(QStringLiteral("PathMode")),
                  sim::DemoScenario(QDateTime::currentDateTime()).path->mode);
        EXPECT_EQ(key->ReadString(QStringLiteral("User")), Keys().registrar);
        key->WriteInteger(QStringLiteral("PathMode"), 0);
    }
    QString error;
    ASSERT_TRUE(demo.Start(dir.path(), error)) << error.toStdString();
    EXPECT_TRUE(demo.IsRunning());
    EXPECT_FALSE(demo.DevicePath().isEmpty());

    app::QSettingsStore settings(demo.SettingsFile());
    app::SettingsKey key(settings, app::ProgramKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadInteger(QStringLiteral("PathMode")), 0);
    Store s(demo.ProgramDirectory());
    ASSERT_TRUE(s.opened);
    EXPECT_EQ(s.dm.TableUsers().RecordCount(), 2);
    EXPECT_EQ(s.dm.TablePPathes().RecordCount(), Keys().points.size());
}

// Reading the demo collector over the seeded store gives a round judged
// against the demo path in its order: every point of the path reached, none
// missed, the incident counted, no unknown collector or person added.
TEST_F(DemoRun, ReadJudgesTheDemoRoundAgainstItsPath) {
    const sim::Scenario scenario = sim::DemoScenario(QDateTime::currentDateTime());
    Program p(demo);
    ASSERT_TRUE(p.store.opened);
    ASSERT_TRUE(p.ops.ActionDReadExecute()) << p.line.prompt.Texts().join('|').toStdString();
    EXPECT_EQ(p.line.prompt.Texts(), QStringList{collector::text::ReadDone});

    EXPECT_EQ(p.RoundValue("PathID"), DemoPathId());
    EXPECT_EQ(p.RoundValue("Mode"), 2);
    EXPECT_EQ(p.store.dm.TableKDEvents().Text(QStringLiteral("IDKD")), Keys().collector);
    EXPECT_EQ(p.RoundValue("FromN"), Keys().points.size());
    EXPECT_EQ(p.RoundValue("N"), Keys().points.size());
    EXPECT_EQ(
        p.RoundValue("Incidents"),
        std::count_if(scenario.events.begin(), scenario.events.end(),
                      [](const sim::Scenario::Event& e) { return e.key == Keys().incident; }));
    EXPECT_FALSE(store::TDM::HasRows(p.store.dm.TableKDLEvents()));
    EXPECT_EQ(p.Touches().size(), scenario.events.size());
    EXPECT_EQ(p.store.dm.TableUsers().RecordCount(), 2);
    EXPECT_EQ(p.store.dm.TableKDs().RecordCount(), 1);
}

// Writing the demo collector for the demo path and reading it back at once
// shows the guard's fresh shift judged: the second point, walked after the
// third, is out of order; every other point is reached.
TEST_F(DemoRun, ReadRightAfterAWriteShowsTheFreshShiftJudged) {
    Program p(demo);
    ASSERT_TRUE(p.store.opened);
    p.pages.choices.guardKey = Keys().guard;
    p.pages.choices.pathId = DemoPathId();
    p.pages.choices.mode = 2;
    p.pages.choices.memo = QStringLiteral("Смена 2");
    ASSERT_TRUE(p.ops.ActionDWriteExecute()) << p.line.prompt.Texts().join('|').toStdString();
    p.line.prompt.Clear();
    ASSERT_TRUE(p.ops.ActionDReadExecute()) << p.line.prompt.Texts().join('|').toStdString();
    EXPECT_EQ(p.line.prompt.Texts(), QStringList{collector::text::ReadDone});

    const QStringList shift = app::DemoShiftKeys();
    const QString late = Keys().points[1];
    std::vector<std::pair<QString, int>> expected;
    for (const QString& key : shift)
        expected.emplace_back(key, key == Keys().incident ? -1
                                   : key == late          ? store::TouchOutOfOrder
                                                          : collector::TypeReached);
    EXPECT_EQ(p.Touches(), expected);
    EXPECT_EQ(p.RoundValue("N"), Keys().points.size());
    EXPECT_EQ(p.RoundValue("FromN"), Keys().points.size());
    EXPECT_EQ(p.RoundValue("Incidents"), 1);
    EXPECT_EQ(p.store.dm.TableKDEvents().Text(QStringLiteral("Memo")), QStringLiteral("Смена 2"));
    EXPECT_EQ(demo.Server()->ShiftsWalked(), 1);
}

#else

TEST(DemoRun, ReportsThatItIsNotAvailable) {
    QTemporaryDir dir;
    DemoSession demo;
    QString error;
    EXPECT_FALSE(demo.Start(dir.path(), error));
    EXPECT_EQ(error, app::demo::NotAvailable);
    EXPECT_FALSE(demo.IsRunning());
}

#endif
