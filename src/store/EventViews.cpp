#include "EventViews.h"

#include <cmath>

#include "View.h"

namespace kordex::store {

const std::array<TouchKindInfo, 9> TouchKinds = {{
    {u"Неизвестная точка", {128, 128, 128}},
    {u"Контрольная точка", {0, 0, 0}},
    {u"Происшествие", {255, 0, 0}},
    {u"Регистратор", {0, 0, 255}},
    {u"Охранник", {0, 0, 255}},
    {u"Пользователь", {0, 0, 255}},
    {u"Лишняя точка", {128, 0, 0}},
    {u"Точка не по порядку", {128, 0, 128}},
    {u"Точка вне маршрута", {128, 0, 0}},
}};

QString TouchKindText(int kind) {
    if (kind < 0 || kind >= static_cast<int>(TouchKinds.size())) kind = TouchUnknown;
    return QString::fromUtf16(TouchKinds[kind].text);
}

Rgb TouchKindColor(int kind) {
    if (kind < 0 || kind >= static_cast<int>(TouchKinds.size())) kind = TouchUnknown;
    return TouchKinds[kind].color;
}

QString ModeText(const QVariant& pathId, const QVariant& mode) {
    if (!pathId.isValid() || pathId.isNull()) return QStringLiteral("Без маршрута");
    if (mode.isValid() && !mode.isNull()) {
        switch (mode.toInt()) {
            case 0:
                return QStringLiteral("Случайный");
            case 1:
                return QStringLiteral("Случайный с полным контролем");
            case 2:
                return QStringLiteral("В порядке маршрута обхода");
        }
    }
    return QStringLiteral("Неизвестный");
}

QString DurationText(const QVariant& duration) {
    const double d = duration.isValid() && !duration.isNull() ? duration.toDouble() : 0.0;
    // To whole milliseconds first, so that 26:05:59 is not read as 26:05:58.999.
    const qint64 ms = std::llround(d * 86400000.0);
    const qint64 minutes = ms / 60000;
    return QString::asprintf("%2lld:%02lld", minutes / 60, minutes % 60);
}

void KeyClassifier::Rebuild() {
    View* views[5] = {sources_.points, sources_.prBook, sources_.registers, sources_.guards,
                      sources_.users};
    const int kinds[5] = {TouchPoint, TouchIncident, TouchRegistrar, TouchGuard, TouchUser};
    map_.clear();
    for (int i = 0; i < 5; ++i) {
        View* v = views[i];
        versions_[i] = v ? v->ContentVersion() : 0;
        if (v == nullptr || !v->IsOpen()) continue;
        const int keyField = v->Def().FieldIndex(QStringLiteral("Key"));
        const int nameField = v->Def().FieldIndex(QStringLiteral("Name"));
        v->ForEachRow([&](const std::vector<QVariant>& row) {
            const QString key = row[keyField].toString();
            if (!map_.contains(key)) map_.insert(key, Result{row[nameField].toString(), kinds[i]});
        });
    }
}

KeyClassifier::Result KeyClassifier::Classify(const QString& key) {
    View* views[5] = {sources_.points, sources_.prBook, sources_.registers, sources_.guards,
                      sources_.users};
    bool stale = false;
    for (int i = 0; i < 5 && !stale; ++i)
        stale = versions_[i] != (views[i] ? views[i]->ContentVersion() : 0) || versions_[i] == 0;
    if (stale) Rebuild();
    return map_.value(key);
}

void CalcDateTimeFields(View& v) {
    const QVariant date = v.Value(QStringLiteral("Date"));
    if (!date.isValid() || date.isNull()) return;
    const double d = date.toDouble();
    const double day = std::floor(d + 0.5 / 86400000.0);
    v.SetValue(QStringLiteral("CDate"), day);
    v.SetValue(QStringLiteral("CTime"), d - day);
}

void CalcRoundFields(View& v) {
    v.SetValue(QStringLiteral("CMode"),
               ModeText(v.Value(QStringLiteral("PathID")), v.Value(QStringLiteral("Mode"))));
    v.SetValue(QStringLiteral("CDuration"), DurationText(v.Value(QStringLiteral("Duration"))));
}

void CalcTouchFields(View& v, KeyClassifier& keys, bool skip) {
    if (skip) return;
    CalcDateTimeFields(v);
    const KeyClassifier::Result r = keys.Classify(v.Text(QStringLiteral("Key")));
    int kind = r.kind;
    if (kind == TouchPoint) {
        const QVariant type = v.Value(QStringLiteral("Type"));
        const int t = type.isValid() && !type.isNull() ? type.toInt() : -1;
        if (t == TouchSuperfluous || t == TouchOutOfOrder || t == TouchOffPath) kind = t;
    }
    if (kind != TouchUnknown) {
        v.SetValue(QStringLiteral("CPoint"), r.name);
        v.SetValue(QStringLiteral("CTComment"), kind);
    }
    v.SetValue(QStringLiteral("CComment"), TouchKindText(kind));
}

}  // namespace kordex::store
