#include "Export.h"

#include <QCoreApplication>
#include <QFile>
#include <cmath>
#include <cstdio>
#include <optional>
#include <tuple>

#include "filters/PageFilters.h"
#include "link/DateTime.h"
#include "sheets/Sheet.h"
#include "shell/ScopeExit.h"
#include "store/DataModule.h"
#include "store/Rules.h"

namespace kordex::cli {

namespace {

void Err(const QString& s) {
    std::fputs(s.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
}

int Refuse(const QString& why) {
    Err(QStringLiteral("kordex-cli: ") + why);
    return 2;
}

// The filter dialog of a page, by what it holds.
enum class Dialog { None, PrEvents, Rounds, Touches };

struct PageFilterOf {
    const char* page;
    Dialog dialog;
    filters::FilterPage filter;
};

const PageFilterOf FilteredPages[] = {
    {"journal", Dialog::PrEvents, filters::FilterPage::PrEvents},
    {"rounds", Dialog::Rounds, filters::FilterPage::KDEvents},
    {"touches", Dialog::Touches, filters::FilterPage::KDDEvents},
    {"archive-rounds", Dialog::Rounds, filters::FilterPage::KDAEvents},
    {"archive-touches", Dialog::Touches, filters::FilterPage::KDDAEvents},
};

const PageFilterOf* FilterOf(const QString& page) {
    for (const PageFilterOf& p : FilteredPages)
        if (page == QLatin1String(p.page)) return &p;
    return nullptr;
}

// The filter options a dialog has: the interval block in every one.
bool DialogHas(Dialog d, const QString& option) {
    static const QStringList interval = {QStringLiteral("--from"), QStringLiteral("--to"),
                                         QStringLiteral("--per-day")};
    static const QStringList round = {QStringLiteral("--collector"), QStringLiteral("--guard"),
                                      QStringLiteral("--path")};
    static const QStringList touch = {QStringLiteral("--event"), QStringLiteral("--complex")};
    switch (d) {
        case Dialog::None:
            return false;
        case Dialog::PrEvents:
            return interval.contains(option) || option == QLatin1String("--registrar");
        case Dialog::Rounds:
            return interval.contains(option) || option == QLatin1String("--registrar") ||
                   round.contains(option);
        case Dialog::Touches:
            return interval.contains(option) || option == QLatin1String("--registrar") ||
                   round.contains(option) || touch.contains(option);
    }
    return false;
}

struct Options {
    QString page;
    std::optional<QString> csv, xlsx, home;
    std::optional<QString> from, to;
    bool perDay = false;
    bool complex = false;
    std::optional<QString> collector, registrar, guard, event;
    std::optional<qint32> path;
    QStringList filterOptions;  // as given
};

// The interval of the options; false with the reason when it is refused.
bool Interval(const Options& o, filters::IntervalSettings& s, QString& why) {
    if (!o.from && !o.to) {
        if (o.perDay) {
            why = QStringLiteral("--per-day needs --from and --to");
            return false;
        }
        s.noInterval = true;  // "не учитывать"
        return true;
    }
    if (!o.from || !o.to) {
        why = QStringLiteral("--from and --to go together");
        return false;
    }
    const auto from = link::DateTime::FromText(*o.from);
    const auto to = link::DateTime::FromText(*o.to);
    for (const auto& [name, text, value] :
         {std::tuple{"--from", *o.from, from}, std::tuple{"--to", *o.to, to}})
        if (!value) {
            why = QStringLiteral("%1: \"%2\" is no date and time dd.mm.yyyy hh:mm:ss")
                      .arg(QLatin1String(name), text);
            return false;
        }
    s.noInterval = false;
    s.kind = o.perDay ? filters::IntervalKind::PerDay : filters::IntervalKind::Continuous;
    s.dateFrom = std::floor(from->Days());
    s.timeFrom = from->Days() - s.dateFrom;
    s.dateTo = std::floor(to->Days());
    s.timeTo = to->Days() - s.dateTo;
    if (!filters::IntervalAccepted(s)) {
        why = shell::CaptionError + QStringLiteral(": ") + filters::text::BadInterval;
        return false;
    }
    return true;
}

// Parses the words after "export"; false after the refusal has been printed.
// Without wantCsv only a page and its filter options are taken.
bool Parse(const QStringList& args, Options& o, bool wantCsv = true) {
    static const QStringList valued = {QStringLiteral("--csv"),       QStringLiteral("--xlsx"),
                                       QStringLiteral("--home"),      QStringLiteral("--from"),
                                       QStringLiteral("--to"),        QStringLiteral("--collector"),
                                       QStringLiteral("--registrar"), QStringLiteral("--guard"),
                                       QStringLiteral("--path"),      QStringLiteral("--event")};
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!a.startsWith(QLatin1String("--")) || a == QLatin1String("-")) {
            if (!o.page.isEmpty()) return Refuse(QStringLiteral("bad argument ") + a), false;
            o.page = a;
            continue;
        }
        const bool flag = a == QLatin1String("--per-day") || a == QLatin1String("--complex");
        if ((!flag && !valued.contains(a)) ||
            (!wantCsv && (a == QLatin1String("--csv") || a == QLatin1String("--xlsx") ||
                          a == QLatin1String("--home"))))
            return Refuse(QStringLiteral("bad argument ") + a), false;
        if (!flag && i + 1 >= args.size())
            return Refuse(a + QStringLiteral(" needs a value")), false;
        const QString value = flag ? QString() : args[++i];
        if (a == QLatin1String("--csv"))
            o.csv = value;
        else if (a == QLatin1String("--xlsx"))
            o.xlsx = value;
        else if (a == QLatin1String("--home"))
            o.home = value;
        else {
            o.filterOptions << a;
            if (a == QLatin1String("--per-day"))
                o.perDay = true;
            else if (a == QLatin1String("--complex"))
                o.complex = true;
            else if (a == QLatin1String("--from"))
                o.from = value;
            else if (a == QLatin1String("--to"))
                o.to = value;
            else if (a == QLatin1String("--collector"))
                o.collector = value;
            else if (a == QLatin1String("--registrar"))
                o.registrar = value;
            else if (a == QLatin1String("--guard"))
                o.guard = value;
            else if (a == QLatin1String("--event"))
                o.event = value;
            else if (a == QLatin1String("--path")) {
                bool ok = false;
                const qint32 id = value.toInt(&ok);
                if (!ok) return Refuse(QStringLiteral("--path takes a path ID, a number")), false;
                o.path = id;
            }
        }
    }
    if (o.page.isEmpty()) return Refuse(QStringLiteral("export needs a page")), false;
    if (store::FindExportPage(o.page) == nullptr)
        return Refuse(QStringLiteral("no page ") + o.page), false;
    if (wantCsv) {
        if (o.csv && o.xlsx)
            return Refuse(QStringLiteral("export takes --csv FILE or --xlsx FILE, not both")),
                   false;
        if ((!o.csv || o.csv->isEmpty()) && (!o.xlsx || o.xlsx->isEmpty()))
            return Refuse(QStringLiteral("export needs --csv FILE or --xlsx FILE")), false;
        // A workbook is a zip file: it goes to a file, never to a terminal.
        if (o.xlsx && *o.xlsx == QLatin1String("-"))
            return Refuse(QStringLiteral("--xlsx needs a file, not standard output")), false;
    }
    // An empty directory would quietly mean the executable's own.
    if (o.home && o.home->trimmed().isEmpty())
        return Refuse(QStringLiteral("--home needs a directory")), false;
    const PageFilterOf* f = FilterOf(o.page);
    for (const QString& option : o.filterOptions)
        if (!DialogHas(f != nullptr ? f->dialog : Dialog::None, option))
            return Refuse(
                       QStringLiteral("the page %1 has no filter option %2").arg(o.page, option)),
                   false;
    if (o.complex && !o.event) return Refuse(QStringLiteral("--complex needs --event")), false;
    filters::IntervalSettings check;
    QString why;
    if (!Interval(o, check, why)) {
        // The dialog's own refusal reads as its message box would.
        if (why.startsWith(shell::CaptionError)) return Err(why), false;
        return Refuse(why), false;
    }
    return true;
}

// The chosen key, when the list the dialog chooses it from holds it.
bool Holds(store::View& list, const QString& field, const QVariant& value) {
    return list.IsOpen() && list.Locate(field, value);
}

// Puts the options into the page's filter settings; false after a refusal.
bool Choose(store::TDM& dm, const Options& o, filters::PageFilter& page) {
    auto key = [&](const std::optional<QString>& chosen, store::View& list, const char* what,
                   filters::KeyChoice& into) {
        if (!chosen) return true;
        if (!Holds(list, QStringLiteral("Key"), *chosen)) {
            Refuse(QStringLiteral("no %1 has the key %2").arg(QLatin1String(what), *chosen));
            return false;
        }
        into = *chosen;
        return true;
    };
    QString why;
    if (auto* p = dynamic_cast<filters::ProgramEventFilter*>(&page)) {
        filters::ProgramEventFilterSettings& s = p->Settings();
        Interval(o, s.interval, why);
        return key(o.registrar, dm.TableRegisters(), "registrar", s.registrar);
    }
    filters::RoundFilterSettings* s = nullptr;
    if (auto* r = dynamic_cast<filters::RoundFilter*>(&page)) s = &r->Settings();
    auto* t = dynamic_cast<filters::TouchFilter*>(&page);
    if (t != nullptr) s = &t->Settings();
    if (s == nullptr) return false;
    Interval(o, s->interval, why);
    if (!key(o.collector, dm.TableKDs(), "collector", s->collector) ||
        !key(o.registrar, dm.TableRegisters(), "registrar", s->registrar) ||
        !key(o.guard, dm.TableGuards(), "guard", s->guard))
        return false;
    if (o.path) {
        if (!Holds(dm.TablePathes(), QStringLiteral("ID"), *o.path)) {
            Refuse(QStringLiteral("no path has the ID %1").arg(*o.path));
            return false;
        }
        s->path = *o.path;
    }
    if (t == nullptr || !o.event) return true;
    // The event kind is the list that holds the key; the complex filter
    // follows a user's key.
    filters::TouchFilterSettings& ts = t->Settings();
    const QString k = QStringLiteral("Key");
    if (o.complex) {
        if (!Holds(dm.TableUsers(), k, *o.event)) {
            Refuse(QStringLiteral("--complex: no user has the key ") + *o.event);
            return false;
        }
        ts.ChooseEventKind(filters::EventKind::User);
        ts.complex = true;
    } else if (Holds(dm.TablePoints(), k, *o.event)) {
        ts.ChooseEventKind(filters::EventKind::Point);
    } else if (Holds(dm.TablePrBook(), k, *o.event)) {
        ts.ChooseEventKind(filters::EventKind::Incident);
    } else if (Holds(dm.TableUsers(), k, *o.event)) {
        ts.ChooseEventKind(filters::EventKind::User);
    } else {
        Refuse(QStringLiteral("no check point, incident or user has the key ") + *o.event);
        return false;
    }
    ts.event = *o.event;
    return true;
}

}  // namespace

bool CheckFilterOptions(const QString& page, const QStringList& options) {
    Options o;
    return Parse(QStringList{page} + options, o, false);
}

int SetFilterOptions(const QString& page, const QStringList& options, store::TDM& dm,
                     filters::PageFilters& pageFilters) {
    Options o;
    if (!Parse(QStringList{page} + options, o, false)) return 2;
    const PageFilterOf* f = FilterOf(o.page);
    if (f == nullptr || o.filterOptions.isEmpty()) return 0;
    filters::PageFilter& filter = pageFilters.Page(f->filter);
    if (!Choose(dm, o, filter)) return 2;
    return filter.Set() ? 0 : 1;
}

QString ExportUsage() {
    return QStringLiteral(
        "       kordex-cli export PAGE --csv FILE|- | --xlsx FILE [--home DIR]\n"
        "                  [--from \"dd.mm.yyyy hh:mm:ss\" --to \"dd.mm.yyyy hh:mm:ss\"] "
        "[--per-day]\n"
        "                  [--collector KEY] [--registrar KEY] [--guard KEY] [--path ID]\n"
        "                  [--event KEY [--complex]]\n"
        "       PAGE: users registrars guards points prbook kds pathes journal rounds\n"
        "             touches archive-rounds archive-touches");
}

int RunExport(const QStringList& args, shell::Prompt& prompt, shell::StatusWindow& status) {
    Options o;
    if (!Parse(args, o)) return 2;
    const store::ExportPage& page = *store::FindExportPage(o.page);
    const QString home = o.home.value_or(QCoreApplication::applicationDirPath());

    shell::SystemClock clock;
    shell::QtEventPump pump;
    // Read only and without the directory's lock: a program may work there.
    store::TDM dm(prompt, status, clock, pump, home, store::TDM::Access::ReadOnly);
    if (!dm.OpenDatabases()) return 1;
    store::Rules rules(dm);  // lookups and calculated fields
    filters::PageFilters pageFilters(dm);

    store::View& view = dm.ViewAt(page.view);
    // The touches by date and time follow no round.
    if (page.dateMode) view.SetMaster(nullptr, {}, {});
    if (const PageFilterOf* f = FilterOf(o.page); f != nullptr && !o.filterOptions.isEmpty()) {
        filters::PageFilter& filter = pageFilters.Page(f->filter);
        if (!Choose(dm, o, filter)) return 2;
        // A complex build that fails has said why.
        if (!filter.Set()) return 1;
    }

    const sheets::Sheet sheet = sheets::PageSheet(view, page.columns);
    // Ctrl+C closes the status window: the export stops at its next batch.
    status.Show(sheets::text::ExportCaption, sheets::text::ExportStatus, 100);
    const shell::Finally closeStatus([&] { status.Close(); });
    const sheets::Progress progress = [&](int64_t done, int64_t total) {
        status.SetPosition(total > 0 ? static_cast<int>(done * 100 / total) : 100);
        status.Pump();
        return status.IsShowing();
    };
    if (o.csv && *o.csv == QLatin1String("-")) {
        QFile out;
        out.setObjectName(QStringLiteral("stdout"));
        if (!out.open(stdout, QIODevice::WriteOnly)) {
            Err(QStringLiteral("kordex-cli: cannot write to standard output"));
            return 1;
        }
        const bool done = sheets::WriteCsv(sheet, out, progress);
        out.flush();
        return done ? 0 : 1;
    }
    // The file appears whole or not at all.
    const QString file = o.csv ? *o.csv : *o.xlsx;
    return sheets::WriteFile(sheet, file, o.csv ? sheets::FileKind::Csv : sheets::FileKind::Xlsx,
                             progress)
               ? 0
               : 1;
    return 0;
}

}  // namespace kordex::cli
