#include <gtest/gtest.h>

#include "../ReaderRig.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <memory>

#include "../store/ModuleFixture.h"
#include "app/device/DateRegDialog.h"
#include "app/device/KeyDialogs.h"
#include "link/KeyId.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/SimPort.h"

using namespace kordex;
using namespace kordex::app;

namespace {

const QString KeyA = "01000000FBD8B3E6";
const QString KeyB = "01000000001A2C37";
const QString NoKey = "__ __ __ __ __ __ __ __";

// Renders a dialog into a PNG for a look at its layout.
void Shot(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("KORDEX_SHOT_DIR", QDir::currentPath());
    EXPECT_TRUE(w.grab().save(QDir(dir).filePath(name))) << name.toStdString();
}

QStringList LabelTexts(const QWidget& w) {
    QStringList texts;
    for (const QLabel* l : w.findChildren<QLabel*>())
        texts << l->text();
    return texts;
}

// The key dialogs over the in-process simulator: no collector in the reader
// and nothing on the key contact unless a test puts them there.
class KeyDialogTest : public ::testing::Test, protected kordex::rig::ReaderRig<> {
protected:
    KeyDialogTest() {
        collector.SetId(KeyA);
        reader.SetCollectorPresent(false);
        link.SetPortDigit(1);
    }

    template <typename Dialog, typename... Args>
    Dialog& Make(const KeyDialogTexts& setup, Args... args) {
        auto* d = new Dialog(link, prompt, setup, args...);
        dialog.reset(d);
        return *d;
    }

    QLineEdit* Edit(const char* name) { return dialog->findChild<QLineEdit*>(name); }
    QString ShownPage() { return dialog->NotebookInfo()->currentWidget()->objectName(); }
    void Click(const char* button) {
        QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
    }
    // Whether one tick of the timer talks to the reader.
    bool TickPolls() {
        reader.ClearLog();
        dialog->TimerPollTimer();
        return !reader.Exchanges().empty();
    }

    std::unique_ptr<KeyCaptureDialog> dialog;
};

}  // namespace

// --- what the dialogs show ------------------------------------------------------

TEST_F(KeyDialogTest, BothDialogsShowTheirTextsAndTheCallersSetup) {
    const QStringList common = {"Номер ключа", "Автоматический ввод номера ключа невозможен из-за",
                                "отмены этой операции по желанию пользователя",
                                "отсутствия связи с устройством"};
    struct Case {
        const char* shot;
        bool idDialog;
        QStringList texts;
    } cases[] = {
        {"FormGetKey.png",
         false,
         {"Для задания номера ключа наберите номер электронного",
          "идентификатора в последовательности:", "1. Тип", "2. Серийный номер",
          "3. Контрольная сумма", "Например, для номера на рисунке последовательность",
          "будет следующая: 01 00 00 00 FB D8 B3 E6",
          "Для автоматического ввода номера ключа коснитесь", "ключом контактора TouchMemory"}},
        {"FormGetIDKD.png",
         true,
         {"Для задания ID Kordex'а наберите ID, указанный", "в документации к устройству",
          "Для автоматического ввода ID Kordex'а поместите", "Kordex в устройство чтения",
          "Автоматический ввод ID Kordex'а невозможен из-за"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shot);
        const KeyDialogTexts setup{"Ключ охранника", "Наименование", "01 00 00", "Иванов"};
        if (c.idDialog)
            Make<TFormGetIDKD>(setup);
        else
            Make<TFormGetKey>(setup, false);
        const QStringList texts = LabelTexts(*dialog);
        for (const QString& t : common + c.texts)
            EXPECT_TRUE(texts.contains(t)) << t.toStdString();
        EXPECT_EQ(dialog->findChild<KeyTabletPicture*>() != nullptr, !c.idDialog);

        EXPECT_EQ(dialog->windowTitle(), "Ключ охранника");
        EXPECT_EQ(dialog->findChild<QLabel*>("LabelComment")->text(), "Наименование");
        EXPECT_EQ(Edit("MaskEditKey")->displayText(), "01 00 00 __ __ __ __ __");
        EXPECT_EQ(Edit("EditComment")->text(), "Иванов");
        EXPECT_EQ(Edit("EditComment")->maxLength(), 50);
        EXPECT_EQ(dialog->Key(), "010000");
        EXPECT_EQ(dialog->findChild<QPushButton*>("ButtonOK")->text(), "&OK");
        EXPECT_TRUE(dialog->findChild<QPushButton*>("ButtonOK")->isDefault());
        EXPECT_EQ(dialog->findChild<QPushButton*>("ButtonCancel")->text(), "Отмена");
        QStringList pages;
        for (int i = 0; i < dialog->NotebookInfo()->count(); ++i)
            pages << dialog->NotebookInfo()->widget(i)->objectName();
        EXPECT_EQ(pages, (QStringList{"Auto", "Error", "Cancel"}));

        dialog->show();
        EXPECT_EQ(ShownPage(), "Auto");
        EXPECT_EQ(dialog->focusWidget(), Edit("EditComment"));
        Shot(*dialog, c.shot);
    }
}

TEST_F(KeyDialogTest, CommentLabelIsKommentariyUnlessTheCallerSetsOne) {
    Make<TFormGetKey>({"Ключ", "", "", ""}, false);
    EXPECT_EQ(dialog->findChild<QLabel*>("LabelComment")->text(), "Комментарий");
}

// --- the key dialog -------------------------------------------------------------

TEST_F(KeyDialogTest, KeyTouchedToTheContactGoesIntoTheKeyField) {
    TFormGetKey& d = Make<TFormGetKey>({"Ключ", "", "", "Пост 1"}, false);
    d.show();
    EXPECT_TRUE(d.TimerPoll()->isActive());
    EXPECT_EQ(d.TimerPoll()->interval(), 200);
    EXPECT_TRUE(link.IsPortOpen());

    d.TimerPollTimer();  // nothing touching yet
    EXPECT_EQ(Edit("MaskEditKey")->displayText(), NoKey);
    reader.SetKeyContact(KeyA);
    d.TimerPollTimer();
    EXPECT_EQ(Edit("MaskEditKey")->displayText(), "01 00 00 00 FB D8 B3 E6");
    EXPECT_EQ(d.Key(), KeyA);
    EXPECT_EQ(ShownPage(), "Auto");

    Click("ButtonOK");
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(d.TimerPoll()->isActive());
    EXPECT_FALSE(link.IsPortOpen());
    EXPECT_EQ(d.Key(), KeyA);
    EXPECT_EQ(d.Comment(), "Пост 1");
    EXPECT_TRUE(prompt.Asked().empty());
}

TEST_F(KeyDialogTest, WithoutThePortTheKeyIsTypedInUpperCaseUpToF) {
    link.SetPortDigit(0);
    TFormGetKey& d = Make<TFormGetKey>({"Ключ", "", "", ""}, false);
    d.show();
    EXPECT_EQ(ShownPage(), "Error");
    EXPECT_EQ(d.focusWidget(), Edit("MaskEditKey"));
    EXPECT_FALSE(d.TimerPoll()->isActive());

    QLineEdit* key = Edit("MaskEditKey");
    key->setCursorPosition(0);
    QTest::keyClicks(key, "a");
    EXPECT_EQ(key->displayText(), "A_ __ __ __ __ __ __ __");
    QTest::keyClicks(key, "g");
    EXPECT_EQ(key->displayText(), "A_ __ __ __ __ __ __ __");
    EXPECT_EQ(d.Key(), "A");

    // The number of the picture typed in lower case, with some slips.
    key->clear();
    key->setCursorPosition(0);
    QTest::keyClicks(key, "0g10000z00fbd8hb3e6");
    EXPECT_EQ(key->displayText(), "01 00 00 00 FB D8 B3 E6");
    EXPECT_EQ(d.Key(), KeyA);
    QTest::keyClicks(Edit("EditComment"), "Post 7");
    QTest::keyClick(Edit("EditComment"), Qt::Key_Return);
    EXPECT_EQ(d.result(), QDialog::Accepted) << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(d.Comment(), "Post 7");
}

TEST_F(KeyDialogTest, OkWithoutACommentAsksForItAndStaysOpen) {
    const std::pair<QString, QString> cases[] = {
        {"", "Не задано комментарий !"},
        {"Наименование", "Не задано наименование !"},
    };
    for (const auto& [label, message] : cases) {
        SCOPED_TRACE(message.toStdString());
        prompt.Clear();
        TFormGetKey& d = Make<TFormGetKey>({"Ключ", label, KeyA, ""}, false);
        d.show();
        Edit("MaskEditKey")->setFocus();
        Click("ButtonOK");
        ASSERT_EQ(prompt.Texts(), QStringList{message});
        EXPECT_EQ(prompt.Asked()[0].caption, "Ошибка");
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.result(), 0);
        EXPECT_EQ(d.focusWidget(), Edit("EditComment"));
        EXPECT_TRUE(d.TimerPoll()->isActive());
        EXPECT_TRUE(link.IsPortOpen());
    }
}

TEST_F(KeyDialogTest, CollectorLeftInTheReaderIsAskedOutAndCancelGivesUpTheAutomaticEntry) {
    reader.SetCollectorPresent(true);
    reader.SetKeyContact(KeyB);
    prompt.Script({shell::Answer::Cancel});
    TFormGetKey& d = Make<TFormGetKey>({"Ключ", "", "", ""}, false);
    d.show();
    d.TimerPollTimer();
    EXPECT_EQ(prompt.Texts(), QStringList{collector::MsgRemoveCollector});
    EXPECT_EQ(ShownPage(), "Cancel");
    EXPECT_FALSE(d.TimerPoll()->isActive());
    EXPECT_FALSE(link.IsPortOpen());
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(Edit("MaskEditKey")->displayText(), NoKey);  // the key on the contact not taken
}

TEST_F(KeyDialogTest, KeyPressesAnywhereHoldThePollingOff) {
    for (const char* target : {"MaskEditKey", "EditComment", "ButtonCancel"}) {
        SCOPED_TRACE(target);
        Make<TFormGetKey>({"Ключ", "", "", ""}, false);
        dialog->show();
        QTest::keyClick(dialog->findChild<QWidget*>(target), Qt::Key_Right);
        for (int tick = 0; tick < 5; ++tick)
            EXPECT_FALSE(TickPolls()) << tick;
        EXPECT_TRUE(TickPolls());
    }
}

TEST_F(KeyDialogTest, CancelButtonAndEscapeCloseWithCancel) {
    for (bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Отмена");
        Make<TFormGetKey>({"Ключ", "", KeyA, "Пост 1"}, false);
        dialog->show();
        if (escape)
            QTest::keyClick(Edit("EditComment"), Qt::Key_Escape);
        else
            Click("ButtonCancel");
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_FALSE(link.IsPortOpen());
        EXPECT_EQ(dialog->Logic().Result(), collector::DialogResult::Cancel);
    }
}

// --- the collector-ID dialog ------------------------------------------------------

TEST_F(KeyDialogTest, IdDialogTakesTheCollectorsIdOnceAndKeepsTheOperatorsEdit) {
    reader.SetCollectorPresent(true);
    TFormGetIDKD& d = Make<TFormGetIDKD>({"Kordex", "", "", ""});
    d.show();
    d.TimerPollTimer();
    EXPECT_EQ(Edit("MaskEditKey")->displayText(), "01 00 00 00 FB D8 B3 E6");

    QLineEdit* key = Edit("MaskEditKey");
    key->setCursorPosition(23);
    QTest::keyClick(key, Qt::Key_Backspace);
    QTest::keyClicks(key, "7");
    for (int tick = 0; tick < 8; ++tick)  // past the hold-off
        d.TimerPollTimer();
    EXPECT_EQ(d.Key(), "01000000FBD8B3E7");
    EXPECT_EQ(key->displayText(), "01 00 00 00 FB D8 B3 E7");

    reader.SetCollectorPresent(false);
    d.TimerPollTimer();
    EXPECT_EQ(ShownPage(), "Auto");
    reader.Inject({sim::FaultKind::Silence, -1});
    d.TimerPollTimer();
    EXPECT_EQ(ShownPage(), "Error");
    EXPECT_TRUE(prompt.Asked().empty());
}

// --- the registration-time dialog -------------------------------------------------

namespace {

using store::testing::Add;
using store::testing::Stamp;

// Journal entries of two registrars, the view standing on the last one as
// the read leaves it.
class DateRegTest : public store::testing::ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        Open();
        Add(dm->TableUsers(), {{"Key", Petrov}, {"Name", "Петров"}, {"IsRegister", true}});
        Add(dm->TableUsers(), {{"Key", Ivanov}, {"Name", "Иванов"}, {"IsRegister", true}});
        store::View& v = dm->TablePrEventsReg();
        Add(v, {{"Date", Stamp(3, 9, 15)}, {"Key", Petrov}, {"Name", "Запись в Kordex"}});
        Add(v, {{"Date", Stamp(4, 17, 40)}, {"Key", Ivanov}, {"Name", "Запись в Kordex"}});
        Add(v, {{"Date", Stamp(12, 8, 5)}, {"Key", Petrov}, {"Name", "Запись в Kordex"}});
        v.Last();
        dialog = std::make_unique<TFormGetDateReg>(v, prompt);
    }

    QListWidget* List() { return dialog->DBLookupListBoxDateReg(); }
    void Click(const char* button) {
        QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
    }

    const QString Petrov = link::TouchKeyText(21);
    const QString Ivanov = link::TouchKeyText(22);
    std::unique_ptr<TFormGetDateReg> dialog;
};

}  // namespace

TEST_F(DateRegTest, ListsTheDatesWithTheRegistrarOfTheSelectedOne) {
    EXPECT_EQ(dialog->windowTitle(), "Выбор даты и времени регистрации");
    ASSERT_EQ(List()->objectName(), "DBLookupListBoxDateReg");
    QStringList dates;
    for (int i = 0; i < List()->count(); ++i)
        dates << List()->item(i)->text();
    EXPECT_EQ(dates,
              (QStringList{"03.03.2025 09:15:00", "04.03.2025 17:40:00", "12.03.2025 08:05:00"}));
    const QStringList labels = LabelTexts(*dialog);
    EXPECT_TRUE(labels.contains("Дата и время"));
    EXPECT_TRUE(labels.contains("Регистратор"));
    EXPECT_TRUE(dialog->DBEditReg()->isReadOnly());
    EXPECT_TRUE(dialog->findChild<QPushButton*>("ButtonOK")->isDefault());
    EXPECT_EQ(dialog->findChild<QPushButton*>("ButtonOK")->text(), "&OK");
    EXPECT_EQ(dialog->findChild<QPushButton*>("ButtonCancel")->text(), "Отмена");

    // The entry the view stands on comes selected.
    EXPECT_EQ(List()->currentRow(), 2);
    EXPECT_EQ(dialog->DBEditReg()->text(), "Петров");
    EXPECT_EQ(dialog->Date(), Stamp(12, 8, 5));
    dialog->show();
    Shot(*dialog, "FormGetDateReg.png");

    List()->setCurrentRow(1);
    EXPECT_EQ(dialog->DBEditReg()->text(), "Иванов");
    EXPECT_EQ(dialog->Date(), Stamp(4, 17, 40));
    Click("ButtonOK");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->Date(), Stamp(4, 17, 40));
    EXPECT_EQ(dm->TablePrEventsReg().RecNo(), 3);  // the caller's cursor stays
}

TEST_F(DateRegTest, NothingSelectedIsRefusedWithAMessage) {
    dialog->show();
    List()->clearSelection();
    EXPECT_EQ(dialog->DBEditReg()->text(), "");
    EXPECT_EQ(dialog->Date(), std::nullopt);
    Click("ButtonOK");
    ASSERT_EQ(prompt.Texts(), QStringList{"Не выбрана дата и время регистрации !"});
    EXPECT_EQ(prompt.Asked()[0].caption, "Ошибка");
    EXPECT_EQ(prompt.Asked()[0].icon, shell::Icon::Warning);
    EXPECT_EQ(prompt.Asked()[0].buttons, shell::Buttons::Ok);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), 0);
}

TEST_F(DateRegTest, DoubleClickOnAnEntryChoosesIt) {
    dialog->show();
    QListWidgetItem* first = List()->item(0);
    const QPoint at = List()->visualItemRect(first).center();
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->Date(), Stamp(3, 9, 15));
}

TEST_F(DateRegTest, ChooseRegistrationTimeAnswersTheChosenDateOrNothing) {
    dialog.reset();
    for (bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "OK" : "Отмена");
        QTimer::singleShot(0, [ok] {
            QWidget* shown = QApplication::activeModalWidget();
            ASSERT_NE(shown, nullptr);
            QTest::mouseClick(shown->findChild<QPushButton*>(ok ? "ButtonOK" : "ButtonCancel"),
                              Qt::LeftButton);
        });
        const std::optional<double> chosen = ChooseRegistrationTime(dm->TablePrEventsReg(), prompt);
        EXPECT_EQ(chosen, ok ? std::optional<double>(Stamp(12, 8, 5)) : std::nullopt);
    }
}
