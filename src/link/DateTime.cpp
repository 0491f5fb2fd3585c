#include "DateTime.h"

#include <QRegularExpression>
#include <cmath>

namespace kordex::link {

namespace {
const qint64 BaseJulianDay = QDate(1899, 12, 30).toJulianDay();
}

bool DateTime::IsValid(int year, int month, int day, int hour, int minute, int second, int msec) {
    if (year < 1 || year > 9999) return false;
    if (!QDate::isValid(year, month, day)) return false;
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           msec >= 0 && msec < 1000;
}

std::optional<DateTime> DateTime::Compose(int year, int month, int day, int hour, int minute,
                                          int second, int msec) {
    if (!IsValid(year, month, day, hour, minute, second, msec)) return std::nullopt;
    const qint64 d = QDate(year, month, day).toJulianDay() - BaseJulianDay;
    const qint64 ms = ((hour * 60LL + minute) * 60LL + second) * 1000LL + msec;
    return DateTime(static_cast<double>(d) + static_cast<double>(ms) / MsPerDay);
}

DateTime DateTime::FromDate(const QDate& d, const QTime& t) {
    const qint64 days = d.toJulianDay() - BaseJulianDay;
    return DateTime(static_cast<double>(days) + t.msecsSinceStartOfDay() / MsPerDay);
}

DateTime DateTime::FromQDateTime(const QDateTime& dt) {
    return FromDate(dt.date(), dt.time());
}

std::optional<DateTime> DateTime::FromText(const QString& text) {
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(\d{1,2})\.(\d{1,2})\.(\d{4})(?:\s+(\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*$)"));
    const auto m = re.match(text);
    if (!m.hasMatch()) return std::nullopt;
    auto num = [&](int i) { return m.captured(i).isEmpty() ? 0 : m.captured(i).toInt(); };
    return Compose(num(3), num(2), num(1), num(4), num(5), num(6));
}

void DateTime::Split(qint64& day, qint64& msOfDay) const {
    const qint64 totalMs = std::llround(days_ * MsPerDay);
    day = totalMs / 86400000LL;
    msOfDay = totalMs % 86400000LL;
    if (msOfDay < 0) {
        msOfDay += 86400000LL;
        --day;
    }
}

QDate DateTime::Date() const {
    qint64 d, ms;
    Split(d, ms);
    return QDate::fromJulianDay(BaseJulianDay + d);
}

QTime DateTime::Time() const {
    qint64 d, ms;
    Split(d, ms);
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

QString DateTime::ToText() const {
    return DateText() + QLatin1Char(' ') + TimeText();
}
QString DateTime::DateText() const {
    return Date().toString(QStringLiteral("dd.MM.yyyy"));
}
QString DateTime::TimeText() const {
    return Time().toString(QStringLiteral("hh:mm:ss"));
}

int CompareDateTime(double a, double b) {
    if (std::fabs(a - b) < 1.0 / DateTime::MsPerDay) return 0;
    return a > b ? 1 : -1;
}

}  // namespace kordex::link
