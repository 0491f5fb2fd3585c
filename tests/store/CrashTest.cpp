#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ModuleFixture.h"
#include "store/Rules.h"

using namespace kordex;
using namespace kordex::store;
using namespace kordex::store::testing;

namespace {

// A read that is cut short: the round is still pending in its transaction
// while its touches are posted one by one, and the process dies in the middle.
[[noreturn]] void WriteUntilKilled(const QString& dir, int progressFd) {
    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::FakeClock clock;
    shell::HookPump pump;
    TDM dm(prompt, status, clock, pump, dir);
    if (!dm.OpenDatabases()) _exit(3);
    Rules rules(dm);
    View& rounds = dm.TableKDEvents();
    View& touches = dm.TableKDREvents();
    dm.BeginRound();
    rounds.Append();
    rounds.SetValue("DateReg", Stamp(5, 8));
    for (int i = 0;; ++i) {
        touches.Append();
        touches.SetValue("Date", Stamp(5, 8) + i / 86400.0);
        touches.SetValue("Key", "0100000000000001");
        touches.Post();
        const char tick = 1;
        if (write(progressFd, &tick, 1) != 1) _exit(4);
    }
}

}  // namespace

TEST_F(ModuleTest, ACrashDuringAReadLeavesNoTouchesWithoutTheirRound) {
    // One posted round beforehand, which must survive with its touches.
    Open();
    Add(dm->TableKDEvents(), {{"DateReg", Stamp(1)}});
    Add(dm->TableKDREvents(), {{"Date", Stamp(1, 1)}, {"Key", "0100000000000002"}});
    dm->CloseDatabases();

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        WriteUntilKilled(dir.path(), pipeFds[1]);
    }
    close(pipeFds[1]);
    int posted = 0;
    char buf[64];
    while (posted < 25) {
        const ssize_t n = read(pipeFds[0], buf, sizeof buf);
        ASSERT_GT(n, 0) << "the writer stopped before it was killed";
        posted += static_cast<int>(n);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(pipeFds[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    // SQLite undoes the unfinished transaction from its journal; opening the
    // store deletes nothing of its own accord.
    Open();
    RawFile touches(PathOf("DB", "KDREvs.DB")), rounds(PathOf("DB", "KDEvents.DB"));
    EXPECT_EQ(touches.Scalar("SELECT count(*) FROM KDREvs"), "1");
    EXPECT_EQ(rounds.Scalar("SELECT count(*) FROM KDEvents"), "1");
    EXPECT_EQ(touches.Scalar("PRAGMA integrity_check"), "ok");
    dm->TableKDEvents().First();
    EXPECT_EQ(dm->TableKDREvents().RecordCount(), 1);
}
