// kordex-cli: reading and writing a collector and exporting the pages
// without a screen, for automation and for trying the program out.
//
//   kordex-cli read  [common options]
//   kordex-cli write --guard KEY [--path ID --mode N] [--memo TEXT] [--interval S]
//                    [common options]
//   kordex-cli export PAGE --csv FILE|- | --xlsx FILE [--home DIR] [filter options]
//   kordex-cli archive save|load|add FILE | add-current [rounds filter options]
//                      [--home DIR]
// common options: --port COMn | --device PATH, --home DIR, --registrar KEY,
//                 --password TEXT, --yes
//
// Messages go to standard error with their captions. Without --yes every
// question is answered No or Cancel (and printed); with it, Yes or OK.
// Exit status: 0 done, 1 stopped or failed, 2 bad usage.

#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>
#include <memory>

#include "Export.h"
#include "collector/Memo.h"
#include "collector/Operations.h"
#include "collector/Pages.h"
#include "link/DateTime.h"
#include "link/QtSerialPort.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "store/DataModule.h"
#include "store/EventViews.h"
#include "store/Rules.h"

using namespace kordex;

namespace {

volatile sig_atomic_t interrupted = 0;
void OnInterrupt(int) {
    interrupted = 1;
}

void Err(const QString& s) {
    std::fputs(s.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
}

void Out(const QString& s) {
    std::fputs(s.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
}

// Message boxes on standard error, answered by the --yes policy.
class ConsolePrompt : public shell::Prompt {
public:
    explicit ConsolePrompt(bool yes) : yes_(yes) {}
    shell::Answer Ask(const QString& caption, const QString& text, shell::Icon,
                      shell::Buttons buttons) override {
        const shell::Answer a =
            policy_.Next(text, buttons,
                         yes_ ? shell::DefaultAnswer::Affirmative : shell::DefaultAnswer::Negative);
        QString shown = text;
        shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QString answer;
        if (buttons != shell::Buttons::Ok) {
            switch (a) {
                case shell::Answer::Yes:
                    answer = QStringLiteral(" [Да]");
                    break;
                case shell::Answer::No:
                    answer = QStringLiteral(" [Нет]");
                    break;
                case shell::Answer::Ok:
                    answer = QStringLiteral(" [OK]");
                    break;
                case shell::Answer::Cancel:
                    answer = QStringLiteral(" [Отмена]");
                    break;
            }
        }
        Err(caption + QStringLiteral(": ") + shown + answer);
        return a;
    }

private:
    bool yes_;
    shell::PolicyAnswers policy_;
};

// The status window as lines on standard error; Ctrl+C closes it, which
// stops the operation at its next look.
class ConsoleStatus : public shell::StatusWindow {
public:
    void Show(const QString& caption, const QString& text, int maximum) override {
        showing_ = true;
        text_ = text;
        max_ = maximum;
        pos_ = 0;
        Err(caption + QStringLiteral(": ") + text);
    }
    void SetText(const QString& text) override {
        text_ = text;
        Err(text);
    }
    QString Text() const override { return text_; }
    void Step(int by) override { pos_ += by; }
    void SetPosition(int p) override { pos_ = p; }
    int Position() const override { return pos_; }
    int Maximum() const override { return max_; }
    void Pump() override {
        if (interrupted && showing_) {
            Err(QStringLiteral("Сообщение: Прервано пользователем !"));
            interrupted = 0;
            Close();
        }
    }
    bool IsShowing() const override { return showing_; }
    void Close() override { showing_ = false; }

private:
    bool showing_ = false;
    QString text_;
    int max_ = 0, pos_ = 0;
};

int Usage(const QString& why) {
    Err(QStringLiteral("kordex-cli: ") + why);
    Err(QStringLiteral(
            "Usage: kordex-cli read|write [--port COMn | --device PATH] [--home DIR]\n"
            "                  [--registrar KEY] [--password TEXT] [--yes]\n"
            "       write: --guard KEY [--path ID --mode N] [--memo TEXT] [--interval S]\n") +
        cli::ExportUsage() + QLatin1Char('\n') + cli::ArchiveUsage());
    return 2;
}

QString Text(const QVariant& v) {
    return v.isValid() && !v.isNull() ? v.toString() : QString();
}

QString When(const QVariant& v, bool seconds = true) {
    if (!v.isValid() || v.isNull()) return {};
    const link::DateTime t(v.toDouble());
    return seconds ? t.ToText() : t.DateText() + QLatin1Char(' ') + t.TimeText().left(5);
}

void PrintRound(store::TDM& dm) {
    store::View& r = dm.TableKDEvents();
    Out(QStringLiteral("Регистрация: ") + When(r.Value("DateReg")));
    Out(QStringLiteral("Kordex: ") + Text(r.Value("IDKD")) + QLatin1Char(' ') + r.Text("LKD"));
    Out(QStringLiteral("Регистратор: ") + Text(r.Value("KeyReg")) + QLatin1Char(' ') +
        r.Text("LRegister"));
    Out(QStringLiteral("Охранник: ") + Text(r.Value("KeyGuard")) + QLatin1Char(' ') +
        r.Text("LGuard"));
    Out(QStringLiteral("Маршрут: ") + Text(r.Value("PathID")) + QLatin1Char(' ') + r.Text("LPath"));
    Out(QStringLiteral("Режим обхода точек: ") + r.Text("CMode"));
    Out(QStringLiteral("Проверено точек: %1 из %2")
            .arg(Text(r.Value("N")), Text(r.Value("FromN"))));
    Out(QStringLiteral("Лишних и вне маршрута: ") + Text(r.Value("UnnecessaryN")));
    Out(QStringLiteral("Происшествий: ") + Text(r.Value("Incidents")));
    Out(QStringLiteral("Продолжительность: ") + r.Text("CDuration").trimmed());
    store::View& t = dm.TableKDREvents();
    for (int i = 0; i < t.RecordCount(); ++i) {
        const auto row = t.RowAt(i);
        QString name = row[t.FieldIndex("CPoint")].toString();
        if (name.isEmpty()) name = row[t.FieldIndex("Key")].toString();
        Out(When(row[t.FieldIndex("Date")], false) + QStringLiteral("  ") + name +
            QStringLiteral("  ") + row[t.FieldIndex("CComment")].toString());
    }
    store::View& m = dm.TableKDLEvents();
    for (int i = 0; i < m.RecordCount(); ++i) {
        const auto row = m.RowAt(i);
        Out(QStringLiteral("Пропущена: ") + row[m.FieldIndex("Key")].toString() + QLatin1Char(' ') +
            row[m.FieldIndex("LPoint")].toString());
    }
}

}  // namespace

int Run(QCoreApplication& app);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Whatever the store or the line refuses ends the command with its cause,
    // never with an abort of the process.
    try {
        return Run(app);
    } catch (const store::Abort&) {
        return 1;  // a rule refused and has said why
    } catch (const std::exception& e) {
        Err(QStringLiteral("Ошибка: ") +
            store::WithCause(QStringLiteral("Команда не выполнена !"), e)
                .replace(QLatin1Char('\r'), QLatin1Char('\n')));
        return 1;
    }
}

int Run(QCoreApplication& app) {
    const QStringList args = app.arguments();
    if (args.size() < 2) return Usage(QStringLiteral("no command"));
    const QString command = args[1];
    if (command == QLatin1String("export")) {
        signal(SIGINT, OnInterrupt);
        ConsolePrompt prompt(false);
        ConsoleStatus status;
        return cli::RunExport(args.mid(2), prompt, status);
    }
    if (command == QLatin1String("archive")) {
        ConsolePrompt prompt(false);
        ConsoleStatus status;
        signal(SIGINT, OnInterrupt);
        return cli::RunArchive(args.mid(2), prompt, status);
    }
    if (command != QLatin1String("read") && command != QLatin1String("write"))
        return Usage(QStringLiteral("unknown command ") + command);

    QString port, device, home, registrar, password, guard, memo;
    std::optional<QString> passwordGiven;
    std::optional<int> path, mode;
    int interval = 10;
    bool yes = false;
    for (int i = 2; i < args.size(); ++i) {
        const QString a = args[i];
        auto value = [&](QString& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        auto number = [&](int lo, int hi, std::optional<int>& out) {
            QString v;
            bool ok = false;
            if (!value(v)) return false;
            const int n = v.toInt(&ok);
            if (!ok || n < lo || n > hi) return false;
            out = n;
            return true;
        };
        std::optional<int> n;
        if (a == QLatin1String("--yes"))
            yes = true;
        else if (a == QLatin1String("--port") && value(port)) {
        } else if (a == QLatin1String("--device") && value(device)) {
        } else if (a == QLatin1String("--home") && value(home)) {
            // An empty directory would quietly mean the executable's own.
            if (home.trimmed().isEmpty()) return Usage(QStringLiteral("--home needs a directory"));
        } else if (a == QLatin1String("--registrar") && value(registrar)) {
        } else if (a == QLatin1String("--password") && value(password))
            passwordGiven = password;
        else if (command == QLatin1String("write") && a == QLatin1String("--guard") &&
                 value(guard)) {
        } else if (command == QLatin1String("write") && a == QLatin1String("--memo") &&
                   value(memo)) {
        } else if (command == QLatin1String("write") && a == QLatin1String("--path") &&
                   number(INT32_MIN, INT32_MAX, path)) {
        } else if (command == QLatin1String("write") && a == QLatin1String("--mode") &&
                   number(0, 2, mode)) {
        } else if (command == QLatin1String("write") && a == QLatin1String("--interval") &&
                   number(0, 255, n))
            interval = *n;
        else
            return Usage(QStringLiteral("bad argument ") + a);
    }
    int digit = 0;
    if (!port.isEmpty() && !device.isEmpty())
        return Usage(QStringLiteral("--port or --device, not both"));
    if (!port.isEmpty()) {
        if (port.size() != 4 || !port.startsWith(QLatin1String("COM")) || port[3] < QChar('1') ||
            port[3] > QChar('4'))
            return Usage(QStringLiteral("--port takes COM1..COM4"));
        digit = port[3].unicode() - '0';
    }
    if (!device.isEmpty()) digit = 1;
    if (command == QLatin1String("write")) {
        if (guard.isEmpty()) return Usage(QStringLiteral("write needs --guard"));
        if (path.has_value() != mode.has_value())
            return Usage(QStringLiteral("--path and --mode go together"));
        if (memo.size() > 32) return Usage(QStringLiteral("the memo takes at most 32 characters"));
        // The collector keeps the memo in Windows-1251; nothing is sent when it cannot.
        if (const auto foreign = collector::FirstOutsideCp1251(memo))
            return Usage(QStringLiteral("the memo character \"%1\" (position %2) cannot be "
                                        "written to a collector: Windows-1251 only")
                             .arg(foreign->character)
                             .arg(memo.left(foreign->position).toUcs4().size() + 1));
    }
    if (home.isEmpty()) home = QCoreApplication::applicationDirPath();
    QDir().mkpath(home);
    signal(SIGINT, OnInterrupt);

    ConsolePrompt prompt(yes);
    ConsoleStatus status;
    shell::SystemClock clock;
    shell::QtEventPump pump;
    store::TDM dm(prompt, status, clock, pump, home);
    if (!dm.OpenDatabases()) return 1;
    store::Rules rules(dm);

    // The login: the registrar chosen, his password checked.
    store::View& cur = dm.TableCurRegister();
    if (!registrar.isEmpty()) {
        if (!cur.Locate(QStringLiteral("Key"), registrar)) {
            Err(QStringLiteral("kordex-cli: no registrar has the key ") + registrar);
            return 1;
        }
        if (cur.Text(QStringLiteral("Passwrd")) != passwordGiven.value_or(QString())) {
            prompt.Ask(shell::CaptionError, QStringLiteral("Неверный пароль !"), shell::Icon::Error,
                       shell::Buttons::Ok);
            rules.AppendJournal(QStringLiteral("Отказ в доступе. Неверный пароль: ") +
                                passwordGiven.value_or(QString()));
            return 1;
        }
        rules.AppendJournal(QStringLiteral("Разрешен доступ"));
    } else {
        // Nobody logged in: the journal entries carry no registrar, and a
        // write finds none to put into the collector.
        rules.SetNobodyLoggedIn(true);
    }

    link::QtSerialPort serial;
    link::PortMap ports;
    if (!device.isEmpty()) ports.Set(QStringLiteral("COM1"), device);
    link::ReaderLink link(serial, prompt, status, clock, pump, ports);
    link.SetPortDigit(digit);

    collector::PlainPages pages;
    collector::Operations ops(link, dm, rules, prompt, status, clock, pages);
    if (command == QLatin1String("read")) {
        const bool ok = ops.ActionDReadExecute();
        store::View& rounds = dm.TableKDEvents();
        if (!ok) {
            // Nothing of a failed read is kept: a round left pending is dropped.
            if (store::TDM::IsEditing(rounds)) dm.DiscardInsert(rounds);
            return 1;
        }
        // Kept, as the save question's Yes keeps it; a round that cannot be
        // stored has been reported by the rule that stores it.
        rounds.Post();
        PrintRound(dm);
        return 0;
    }

    store::View& guards = dm.TableGuards();
    if (!guards.Locate(QStringLiteral("Key"), guard)) {
        Err(QStringLiteral("kordex-cli: no guard has the key ") + guard);
        return 2;
    }
    if (path && !dm.TablePathes().Locate(QStringLiteral("ID"), *path)) {
        Err(QStringLiteral("kordex-cli: no path has the ID %1").arg(*path));
        return 2;
    }
    pages.choices.guardKey = guard;
    pages.choices.pathId = path;
    pages.choices.mode = mode.value_or(0);
    pages.choices.memo = memo;
    pages.choices.interval = interval;
    return ops.ActionDWriteExecute() ? 0 : 1;
}
