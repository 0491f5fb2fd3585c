// While a long operation runs the status window is the only way in: the main
// window starts nothing, and every message stands above the status window.
#include <QAbstractButton>
#include <QAction>
#include <QMessageBox>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "GuiFixture.h"
#include "app/device/DevicePageWidgets.h"
#include "app/window/Demo.h"
#include "app/window/MessagePrompt.h"
#include "app/window/StatusForm.h"
#include "collector/Operations.h"
#include "widgets/DBGrid.h"

using namespace kordex;
using namespace kordex::app;
using kordex::gui::MainWindowTest;

namespace {

// How many entries of the program journal read so.
int JournalCount(store::View& journal, const QString& text) {
    int n = 0;
    for (journal.First(); !journal.Eof(); journal.Next())
        if (journal.Text(QStringLiteral("Name")) == text) ++n;
    return n;
}

// Clicks the tab of a page as the operator does.
void ClickTab(QTabWidget* control, QWidget* page) {
    QTabBar* bar = control->tabBar();
    const int index = control->indexOf(page);
    ASSERT_GE(index, 0);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

}  // namespace

class ReadWithTheDemoCollector : public MainWindowTest {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(SeedDemoData(dir.path(), error)) << error.toStdString();
        sim::ApplyScenario(sim::DemoScenario(clock.Now()), collector, reader);
        Start();
        Login(sim::DemoKeyIds().registrar, {});
        // A login asked for from here on is only counted.
        window->PasswordDialog().exec = [this](TFormPWord&) {
            ++logins;
            return int(QDialog::Rejected);
        };
        prompt.Clear();
    }

    // Runs what the operator does at the first moment the read lets events
    // through, with the status window up.
    void WhileReading(std::function<void()> operatorDoes) {
        QTimer::singleShot(0, window.get(), [this, operatorDoes] {
            acted = true;
            statusShowing = window->Status().IsShowing();
            operatorDoes();
        });
    }

    int logins = 0;
    bool acted = false;
    bool statusShowing = false;
};

// Read pressed again (by its command and by its button), a tab clicked and
// the login shortcut typed in the middle of a read: none of them starts, and
// the read ends with its whole round pending on the read page.
TEST_F(ReadWithTheDemoCollector, NothingElseStartsWhileItRuns) {
    QTabWidget* pages = window->PageControl();
    QWidget* events = window->findChild<QWidget*>(QStringLiteral("TabSheetEvents"));
    auto* readButton = window->findChild<QToolButton*>(QStringLiteral("ToolButtonDRead"));
    ASSERT_NE(readButton, nullptr);
    WhileReading([&] {
        window->Action("ActionDRead")->trigger();
        QTest::mouseClick(readButton, Qt::LeftButton);
        ClickTab(pages, events);
        pages->setCurrentWidget(events);
        QTest::keyClick(window.get(), Qt::Key_A, Qt::ControlModifier);
        window->close();
    });
    window->Action("ActionDRead")->trigger();

    ASSERT_TRUE(acted);
    EXPECT_TRUE(statusShowing);
    EXPECT_EQ(prompt.Texts(), QStringList({collector::text::ReadDone}));
    EXPECT_EQ(logins, 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->CurrentPageName(), QStringLiteral("TabSheetKordex"));
    EXPECT_EQ(window->CurrentSubPageName(), QStringLiteral("TabSheetRead"));
    ReadPage& page = window->ReadPageWidget();
    EXPECT_TRUE(page.Attached());
    EXPECT_TRUE(store::TDM::IsEditing(Dm().TableKDEvents()));
    EXPECT_GT(page.TouchGrid()->model()->rowCount(), 0);
    EXPECT_EQ(JournalCount(Dm().TablePrEvents(), collector::text::JournalRead), 1);

    // Once the read is over the window takes commands again.
    prompt.Script({shell::Answer::Cancel});
    ClickTab(pages, events);
    EXPECT_EQ(prompt.Texts().last(), MsgSaveRead);
}

// --- Messages above the status window

namespace {

// Every message shown as the program shows it, in a real box, and answered
// from inside the box (No to the one question given, else Yes or OK); where
// the box stood when it came up is written down.
class RealBoxes : public shell::Prompt {
public:
    struct Seen {
        QString text;
        bool statusShowing = false;
        bool boxOnTopOfTheModals = false;  // the box is the modal window in front
        bool aboveStatus = false;          // the box belongs to the status window
        bool staysOnTop = false;
    };

    shell::Answer Ask(const QString& caption, const QString& text, shell::Icon icon,
                      shell::Buttons buttons) override {
        QTimer::singleShot(0, [this, text] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            Seen s;
            s.text = text;
            s.statusShowing = status != nullptr && status->isVisible();
            s.boxOnTopOfTheModals =
                box != nullptr && box->text() == QString(text).replace('\r', '\n');
            if (box != nullptr && status != nullptr && box->windowHandle() != nullptr)
                s.aboveStatus = box->windowHandle()->transientParent() == status->windowHandle();
            s.staysOnTop = box != nullptr && box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            seen.push_back(s);
            if (box == nullptr) return;
            const bool no = text == answerNoTo && box->button(QMessageBox::No) != nullptr;
            QAbstractButton* b = box->button(no ? QMessageBox::No : QMessageBox::Yes);
            if (b == nullptr) b = box->button(QMessageBox::Ok);
            if (b != nullptr) b->click();
        });
        return MessagePrompt(owner).Ask(caption, text, icon, buttons);
    }

    const Seen* Find(const QString& text) const {
        for (const Seen& s : seen)
            if (s.text == text) return &s;
        return nullptr;
    }

    QWidget* owner = nullptr;  // as the window's own message boxes have it
    QWidget* status = nullptr;
    QString answerNoTo;
    std::vector<Seen> seen;
};

}  // namespace

class MessagesDuringARead : public MainWindowTest {
protected:
    void SetUp() override {
        boxes = &real;
        QString error;
        ASSERT_TRUE(SeedDemoData(dir.path(), error)) << error.toStdString();
        sim::ApplyScenario(sim::DemoScenario(clock.Now()), collector, reader);
        Start();
        real.owner = window.get();
        real.status = &window->Status();
        Login(sim::DemoKeyIds().registrar, {});
    }

    RealBoxes real;
};

// A question of the read itself and the message of the operator's key in the
// status window: each box comes up in front of the status window, belongs to
// it and stays on top with it, so that the operator reads it before he answers.
TEST_F(MessagesDuringARead, StandAboveTheStatusWindow) {
    // The collector read and its round stored: the next read asks whether to
    // read it again.
    window->Action("ActionDRead")->trigger();
    real.answerNoTo = collector::text::AlreadyRead;
    window->Action("ActionDRead")->trigger();

    // A read stopped by a key in its status window.
    QTimer::singleShot(0, window.get(),
                       [this] { QTest::keyClick(&window->Status(), Qt::Key_Escape); });
    window->Action("ActionDRead")->trigger();

    for (const QString& text : {collector::text::AlreadyRead, MsgInterrupted}) {
        SCOPED_TRACE(text.toStdString());
        const RealBoxes::Seen* s = real.Find(text);
        ASSERT_NE(s, nullptr);
        EXPECT_TRUE(s->statusShowing);
        EXPECT_TRUE(s->boxOnTopOfTheModals);
        EXPECT_TRUE(s->aboveStatus);
        EXPECT_TRUE(s->staysOnTop);
    }
    // Shown after the status window closed, the message belongs to the main window.
    const RealBoxes::Seen* done = real.Find(collector::text::ReadDone);
    ASSERT_NE(done, nullptr);
    EXPECT_FALSE(done->statusShowing);
    EXPECT_FALSE(done->aboveStatus);
}
