#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <optional>

#include "shell/Clock.h"

namespace kordex::filters {

// Texts of the filter dialogs and of the complex filter build.
namespace text {
inline const QString DialogCaption = QStringLiteral("Установка фильтра");
inline const QString BadInterval = QStringLiteral("Неверно задан интервал !");
inline const QString BuildCaption = QStringLiteral("Формирование данных");
inline const QString Building = QStringLiteral("Идет формирование данных для сложного фильтра...");
inline const QString BuildFailed = QStringLiteral("Ошибка при формировании данных для фильтра !");
inline const QString Continuous = QStringLiteral("непрерывный");
inline const QString PerDay = QStringLiteral("временной по каждому дню");
inline const QString ComplexEvent = QStringLiteral("Сложный фильтр по пользователю");
inline const QString PlainEvent = QStringLiteral("Обычный фильтр");
}  // namespace text

// The day count of "23:59:59", the default end of the time window.
inline constexpr double EndOfDayTime = 86399.0 / 86400.0;

// The whole-day date of "today" by the clock, as a day count.
double Today(shell::Clock& clock);

enum class IntervalKind { Continuous, PerDay };

// The interval block every filter dialog holds. Dates are whole days, times
// fractions of a day, all in the program's day count.
struct IntervalSettings {
    bool noInterval = false;  // "не учитывать"
    double dateFrom = 0;
    double timeFrom = 0;
    double dateTo = 0;
    double timeTo = EndOfDayTime;
    IntervalKind kind = IntervalKind::Continuous;

    double From() const { return dateFrom + timeFrom; }
    double To() const { return dateTo + timeTo; }

    // Both dates today, the whole day, continuous, interval in force.
    static IntervalSettings Defaults(shell::Clock& clock);
};

// What OK of a dialog accepts: the lower bound not after the upper one
// (equal bounds are fine), unless the interval is ignored.
bool IntervalAccepted(const IntervalSettings& s);

// An optional choice of a key ID (registrar, collector, guard, event) or of
// a path; nothing chosen is "none".
using KeyChoice = std::optional<QString>;
using PathChoice = std::optional<qint32>;

// The round of a touch, as far as the filters compare it.
struct RoundValues {
    QString collector;  // IDKD
    QString registrar;  // KeyReg
    QString guard;      // KeyGuard
    PathChoice path;    // PathID, none for a round without a path
};

// Program event journal: interval and registrar.
struct ProgramEventFilterSettings {
    IntervalSettings interval;
    KeyChoice registrar;

    static ProgramEventFilterSettings Defaults(shell::Clock& clock);
};

// Rounds: interval, collector, registrar, guard, path.
struct RoundFilterSettings {
    IntervalSettings interval;
    KeyChoice collector;
    KeyChoice registrar;
    KeyChoice guard;
    PathChoice path;

    // Whether any of collector, registrar, guard, path is chosen.
    bool AnyRoundChoice() const { return collector || registrar || guard || path; }
    // Whether the round equals every chosen value (a round without a path
    // never matches a chosen path).
    bool RoundMatches(const RoundValues& r) const;

    static RoundFilterSettings Defaults(shell::Clock& clock);
};

// The list the complex filter builds: touch IDs in the order they were
// taken, with a set for the membership test of every row.
class ComplexIdList {
public:
    void Clear() {
        order_.clear();
        set_.clear();
    }
    void Add(qint32 id) {
        order_.append(id);
        set_.insert(id);
    }
    bool Contains(qint32 id) const { return set_.contains(id); }
    int Size() const { return static_cast<int>(order_.size()); }
    bool IsEmpty() const { return order_.isEmpty(); }
    // In the order of the build.
    const QList<qint32>& Ids() const { return order_; }

private:
    QList<qint32> order_;
    QSet<qint32> set_;
};

enum class EventKind { Point, Incident, User };

// Touches by date and time: everything of the rounds plus the event.
struct TouchFilterSettings : RoundFilterSettings {
    EventKind eventKind = EventKind::Point;
    KeyChoice event;
    bool complex = false;  // "Сложный" ticked
    ComplexIdList complexIds;

    // The complex box can be ticked only for "Имя пользователя".
    bool ComplexEnabled() const { return eventKind == EventKind::User; }
    // The complex filter decides the event step: enabled, ticked, a user chosen.
    bool ComplexInForce() const { return ComplexEnabled() && complex && event.has_value(); }
    // Choosing a kind clears the event and switches its list; the complex box
    // keeps its tick.
    void ChooseEventKind(EventKind kind) {
        eventKind = kind;
        event.reset();
    }

    static TouchFilterSettings Defaults(shell::Clock& clock);
};

// The caption of the chosen interval kind, as the reports print it.
QString IntervalKindCaption(const IntervalSettings& s);

}  // namespace kordex::filters
