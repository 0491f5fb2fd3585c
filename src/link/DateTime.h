#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>

namespace kordex::link {

// A date-time as the program stores it: days since 30 December 1899 with the
// time of day as the fraction (1 ms = 1/86 400 000 of a day). Only dates from
// 30.12.1899 on are used; earlier ones simply count negative whole days.
class DateTime {
public:
    static constexpr double MsPerDay = 86400000.0;

    DateTime() = default;
    explicit DateTime(double days) : days_(days) {}

    // A date and a time of day, or nothing when they do not form a valid one
    // (year 1..9999, a day that exists in its month, 0..23:0..59:0..59.0..999).
    static std::optional<DateTime> Compose(int year, int month, int day, int hour = 0,
                                           int minute = 0, int second = 0, int msec = 0);
    static bool IsValid(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                        int msec = 0);

    static DateTime FromQDateTime(const QDateTime& dt);
    static DateTime FromDate(const QDate& d, const QTime& t = QTime(0, 0));
    // Accepts "dd.mm.yyyy", "dd.mm.yyyy hh:mm" and "dd.mm.yyyy hh:mm:ss".
    static std::optional<DateTime> FromText(const QString& text);

    double Days() const { return days_; }
    QDate Date() const;
    QTime Time() const;
    QDateTime ToQDateTime() const { return QDateTime(Date(), Time()); }

    QString ToText() const;    // dd.mm.yyyy hh:mm:ss
    QString DateText() const;  // dd.mm.yyyy
    QString TimeText() const;  // hh:mm:ss

    DateTime AddMs(qint64 ms) const { return DateTime(days_ + ms / MsPerDay); }

    friend bool operator==(const DateTime& a, const DateTime& b) { return a.days_ == b.days_; }

private:
    // Whole days and milliseconds of the day, rounded to the millisecond.
    void Split(qint64& day, qint64& msOfDay) const;

    double days_ = 0.0;
};

// -1, 0, 1; equal when less than 1 ms apart.
int CompareDateTime(double a, double b);
inline int CompareDateTime(const DateTime& a, const DateTime& b) {
    return CompareDateTime(a.Days(), b.Days());
}

}  // namespace kordex::link
