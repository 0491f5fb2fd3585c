#pragma once

#include <QHash>
#include <QString>
#include <QVariant>
#include <array>
#include <cstdint>

namespace kordex::store {

class View;

// What a touched key turned out to be, and how a check-point touch fits its path.
enum TouchKind : int {
    TouchUnknown = 0,
    TouchPoint = 1,
    TouchIncident = 2,
    TouchRegistrar = 3,
    TouchGuard = 4,
    TouchUser = 5,
    TouchSuperfluous = 6,
    TouchOutOfOrder = 7,
    TouchOffPath = 8,
};

struct Rgb {
    int r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct TouchKindInfo {
    const char16_t* text;
    Rgb color;
};

// The text and the grid colour of each touch kind, by kind.
extern const std::array<TouchKindInfo, 9> TouchKinds;

QString TouchKindText(int kind);
Rgb TouchKindColor(int kind);

// "Без маршрута" without a path, else the mode in words ("Неизвестный" for
// any mode other than 0, 1, 2).
QString ModeText(const QVariant& pathId, const QVariant& mode);
// A round's duration (days with the time of day as fraction) as "%2d:%2.2d"
// hours and minutes; seconds are dropped, an empty duration is zero.
QString DurationText(const QVariant& duration);

// Finds what a key names, without moving any cursor: the first of check
// points, incidents, registrars, guards and other persons whose view holds
// the key. The maps are rebuilt when one of the views has changed.
class KeyClassifier {
public:
    struct Sources {
        View* points = nullptr;
        View* prBook = nullptr;
        View* registers = nullptr;
        View* guards = nullptr;
        View* users = nullptr;
    };
    struct Result {
        QString name;
        int kind = TouchUnknown;  // 0..5
    };

    explicit KeyClassifier(Sources sources) : sources_(sources) {}
    Result Classify(const QString& key);
    void Invalidate() { versions_.fill(0); }

private:
    void Rebuild();

    Sources sources_;
    std::array<uint64_t, 5> versions_{};
    QHash<QString, Result> map_;
};

// Calculated fields, for the views' calculation handlers.
// Journal and touches: CDate and CTime from Date.
void CalcDateTimeFields(View& v);
// Rounds: CMode and CDuration.
void CalcRoundFields(View& v);
// Touches: CDate, CTime, CPoint, CTComment, CComment (all empty when skip).
void CalcTouchFields(View& v, KeyClassifier& keys, bool skip);

}  // namespace kordex::store
