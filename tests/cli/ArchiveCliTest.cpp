#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "CliRun.h"
#include "link/DateTime.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "store/DataModule.h"

using namespace kordex;
using kordex::testing::Cli;
using kordex::testing::CliRun;

namespace {

double March(int day, int hour) {
    return link::DateTime::FromDate(QDate(2025, 3, day), QTime(hour, 0)).Days();
}

// A program directory with three working rounds of one touch each, on the
// 10th, 11th and 14th of March 2025.
class ArchiveCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        home = dir.path();
        store::TDM dm(prompt, status, clock, pump, home);
        ASSERT_TRUE(dm.OpenDatabases()) << prompt.Texts().join('|').toStdString();
        for (int day : {10, 11, 14}) {
            store::View& rounds = dm.TableKDEvents();
            rounds.Append();
            rounds.SetValue("DateReg", March(day, 9));
            rounds.SetValue("Memo", QString::number(day));
            rounds.Post();
            store::View& touches = dm.TableKDREvents();
            touches.Append();
            touches.SetValue("DateReg", March(day, 9));
            touches.SetValue("Date", March(day, 10));
            touches.Post();
        }
    }

    // Rounds of the archive database, by memo.
    QStringList Archived() {
        store::TDM dm(prompt, status, clock, pump, home, store::TDM::Access::ReadOnly);
        if (!dm.OpenDatabases()) return {"<not opened>"};
        QStringList out;
        store::View& v = dm.TableKDAEvents();
        for (v.First(); !v.Eof(); v.Next())
            out << v.Text("Memo").trimmed() + ':' +
                       QString::number(dm.TableKDRAEvents().RecordCount());
        return out;
    }

    QTemporaryDir dir;
    QString home;
    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::SystemClock clock;
    shell::HookPump pump;
};

TEST_F(ArchiveCliTest, AddsSaveAndLoadFromTheCommandLine) {
    CliRun r = Cli({"archive", "add-current", "--home", home, "--from", "10.03.2025 00:00:00",
                    "--to", "12.03.2025 23:59:59"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "rounds added=2 skipped=0\n");
    EXPECT_TRUE(r.err.contains("Добавление данных успешно завершено !")) << r.err.toStdString();
    EXPECT_EQ(Archived(), QStringList({"10:1", "11:1"}));

    r = Cli({"archive", "add-current", "--home", home});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "rounds added=1 skipped=2\n");

    const QString file = QDir(home).filePath("KDEv0325.zip");
    r = Cli({"archive", "save", file, "--home", home});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(file));
    r = Cli({"archive", "add", file, "--home", home});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "rounds added=0 skipped=3\n");
    r = Cli({"archive", "load", file, "--home", home});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(Archived(), QStringList({"10:1", "11:1", "14:1"}));

    r = Cli({"archive", "load", QDir(home).filePath("missing.zip"), "--home", home});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("Ошибка при разархивации данных !")) << r.err.toStdString();
}

TEST_F(ArchiveCliTest, BadUsageIsRefusedWithExitStatusTwo) {
    const QStringList cases[] = {
        {"archive"},
        {"archive", "copy", "x.zip"},
        {"archive", "save"},
        {"archive", "load", "a.zip", "b.zip"},
        {"archive", "add-current", "--csv", "x.csv"},
        {"archive", "add-current", "--event", "0100000000000001"},  // not the rounds page's
        {"archive", "add-current", "--from", "10.03.2025 00:00:00"},
        {"archive", "save", "x.zip", "--home", ""},
    };
    for (const QStringList& args : cases) {
        const CliRun r = Cli(args + QStringList{"--home", home});
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    EXPECT_EQ(Archived(), QStringList());
}

// The archive commands write the store: not while another program holds it.
TEST_F(ArchiveCliTest, RefusedWhileAnotherProgramHoldsTheDirectory) {
    store::TDM program(prompt, status, clock, pump, home);
    ASSERT_TRUE(program.OpenDatabases());
    const CliRun r = Cli({"archive", "add-current", "--home", home});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("Ошибка при открытии баз данных !")) << r.err.toStdString();
    program.CloseDatabases();
    EXPECT_EQ(Archived(), QStringList());
}

}  // namespace
