#include "Scenario.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSet>
#include <QStringEncoder>
#include <QTime>
#include <cmath>
#include <string_view>

#include "Reader.h"
#include "link/Crc8.h"
#include "link/KeyId.h"

namespace kordex::sim {

namespace {

constexpr int MemoBytes = 32;

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString Describe(const QJsonValue& v) {
    switch (v.type()) {
        case QJsonValue::String:
            return Quoted(v.toString());
        case QJsonValue::Double:
            return QString::number(v.toDouble(), 'g', 17);
        case QJsonValue::Bool:
            return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        case QJsonValue::Null:
            return QStringLiteral("null");
        case QJsonValue::Array:
            return QStringLiteral("an array");
        case QJsonValue::Object:
            return QStringLiteral("an object");
        default:
            return QStringLiteral("nothing");
    }
}

bool IsHex(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
}

// Reads one JSON object into a scenario, remembering the first thing wrong.
class Parser {
public:
    bool Failed() const { return !error_.isEmpty(); }
    const QString& Error() const { return error_; }

    void Fail(const QString& field, const QString& why) {
        if (error_.isEmpty()) error_ = field + QStringLiteral(": ") + why;
    }

    void Top(const QJsonObject& o, Scenario& s);

private:
    void OnlyFields(const QJsonObject& o, const QString& prefix, const QStringList& known);
    bool Bool(const QJsonValue& v, const QString& field, bool& out);
    bool Integer(const QJsonValue& v, const QString& field, qint64 lo, qint64 hi, qint64& out);
    bool Text(const QJsonValue& v, const QString& field, QString& out);
    bool Key(const QJsonValue& v, const QString& field, QString& out);
    bool Time(const QJsonValue& v, const QString& field, bool withSeconds, QDateTime& out);
    void Path(const QJsonValue& v, Scenario& s);
    void Events(const QJsonValue& v, Scenario& s);
    void Raw(const QJsonValue& v, Scenario& s);
    void Faults(const QJsonValue& v, Scenario& s);
    bool Address(const QJsonValue& v, const QString& field, uint16_t& out);
    bool Bytes(const QJsonValue& v, const QString& field, Block& out);

    QString error_;
};

void Parser::OnlyFields(const QJsonObject& o, const QString& prefix, const QStringList& known) {
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!known.contains(it.key())) Fail(prefix + it.key(), QStringLiteral("unknown field"));
}

bool Parser::Bool(const QJsonValue& v, const QString& field, bool& out) {
    if (!v.isBool()) {
        Fail(field, QStringLiteral("expected true or false, not ") + Describe(v));
        return false;
    }
    out = v.toBool();
    return true;
}

bool Parser::Integer(const QJsonValue& v, const QString& field, qint64 lo, qint64 hi, qint64& out) {
    const double d = v.toDouble();
    if (!v.isDouble() || std::floor(d) != d || d < static_cast<double>(lo) ||
        d > static_cast<double>(hi)) {
        Fail(field, QStringLiteral("expected a whole number from %1 to %2, not %3")
                        .arg(lo)
                        .arg(hi)
                        .arg(Describe(v)));
        return false;
    }
    out = static_cast<qint64>(d);
    return true;
}

bool Parser::Text(const QJsonValue& v, const QString& field, QString& out) {
    if (!v.isString()) {
        Fail(field, QStringLiteral("expected a text, not ") + Describe(v));
        return false;
    }
    out = v.toString();
    return true;
}

bool Parser::Key(const QJsonValue& v, const QString& field, QString& out) {
    QString text;
    if (!Text(v, field, text)) return false;
    const QString key = link::StripSpaces(text).toUpper();
    if (key.isEmpty()) {
        out.clear();
        return true;
    }
    bool hex = key.size() == 16;
    for (QChar c : key)
        hex = hex && IsHex(c);
    if (!hex) {
        Fail(field,
             Quoted(text) +
                 QStringLiteral(" is not a key ID (16 hexadecimal digits, or \"\" for none)"));
        return false;
    }
    out = key;
    return true;
}

bool Parser::Time(const QJsonValue& v, const QString& field, bool withSeconds, QDateTime& out) {
    QString text;
    if (!Text(v, field, text)) return false;
    static const QRegularExpression form(
        QStringLiteral("^(\\d{2})\\.(\\d{2})\\.(\\d{4}) (\\d{2}):(\\d{2})(?::(\\d{2}))?$"));
    const QString expected = withSeconds ? QStringLiteral("\"dd.mm.yyyy hh:mm:ss\"")
                                         : QStringLiteral("\"dd.mm.yyyy hh:mm\"");
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch() || m.hasCaptured(6) != withSeconds) {
        Fail(field,
             QStringLiteral("expected ") + expected + QStringLiteral(", not ") + Quoted(text));
        return false;
    }
    const QDate date(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(),
                     withSeconds ? m.captured(6).toInt() : 0);
    if (!date.isValid() || !time.isValid()) {
        Fail(field, Quoted(text) + QStringLiteral(" is no date and time"));
        return false;
    }
    out = QDateTime(date, time, Qt::UTC);
    return true;
}

void Parser::Path(const QJsonValue& v, Scenario& s) {
    if (v.isNull()) {
        s.path.reset();
        return;
    }
    if (!v.isObject()) {
        Fail(QStringLiteral("path"),
             QStringLiteral("expected {\"id\": N, \"mode\": 0..2} or null, not ") + Describe(v));
        return;
    }
    const QJsonObject o = v.toObject();
    OnlyFields(o, QStringLiteral("path."), {QStringLiteral("id"), QStringLiteral("mode")});
    if (!o.contains(QLatin1String("id")))
        Fail(QStringLiteral("path.id"), QStringLiteral("missing"));
    if (!o.contains(QLatin1String("mode")))
        Fail(QStringLiteral("path.mode"), QStringLiteral("missing"));
    qint64 id = 0, mode = 0;
    if (Failed() ||
        !Integer(o.value(QLatin1String("id")), QStringLiteral("path.id"), INT32_MIN, INT32_MAX, id))
        return;
    if (!Integer(o.value(QLatin1String("mode")), QStringLiteral("path.mode"), 0, 2, mode)) return;
    s.path = Scenario::Path{static_cast<int32_t>(id), static_cast<uint8_t>(mode)};
}

void Parser::Events(const QJsonValue& v, Scenario& s) {
    if (!v.isArray()) {
        Fail(QStringLiteral("events"), QStringLiteral("expected an array, not ") + Describe(v));
        return;
    }
    const QJsonArray a = v.toArray();
    s.events.reserve(static_cast<size_t>(a.size()));
    for (qsizetype i = 0; i < a.size() && !Failed(); ++i) {
        const QString at = QStringLiteral("events[%1]").arg(i);
        if (!a[i].isObject()) {
            Fail(at,
                 QStringLiteral("expected {\"key\": ..., \"time\": ...}, not ") + Describe(a[i]));
            return;
        }
        const QJsonObject o = a[i].toObject();
        OnlyFields(o, at + QLatin1Char('.'), {QStringLiteral("key"), QStringLiteral("time")});
        Scenario::Event e;
        if (Failed() || !Key(o.value(QLatin1String("key")), at + QStringLiteral(".key"), e.key))
            return;
        if (e.key.isEmpty()) {
            Fail(at + QStringLiteral(".key"), QStringLiteral("a touch needs a key"));
            return;
        }
        if (!Time(o.value(QLatin1String("time")), at + QStringLiteral(".time"), false, e.time))
            return;
        s.events.push_back(e);
    }
}

bool Parser::Address(const QJsonValue& v, const QString& field, uint16_t& out) {
    bool ok = false;
    uint value = 0;
    if (v.isString()) {
        value = v.toString().trimmed().toUInt(&ok, 0);  // 0x... hexadecimal, else decimal
    } else if (v.isDouble()) {
        const double d = v.toDouble();
        ok = std::floor(d) == d && d >= 0 && d <= 0xFFFF;
        value = ok ? static_cast<uint>(d) : 0;
    }
    if (!ok || value > 0xFFF8 || value % 8 != 0) {
        Fail(field, Describe(v) + QStringLiteral(
                                      " is not a block address (a multiple of 8, 0x0000..0xFFF8)"));
        return false;
    }
    if (value == Reader::AddrKeyContact || value == Reader::AddrBattery ||
        value == Reader::AddrCompletion) {
        Fail(field, Describe(v) + QStringLiteral(" is answered by the reader itself (use "
                                                 "\"keyContact\" or \"battery\")"));
        return false;
    }
    out = static_cast<uint16_t>(value);
    return true;
}

bool Parser::Bytes(const QJsonValue& v, const QString& field, Block& out) {
    QString text;
    if (!Text(v, field, text)) return false;
    const QString digits = link::StripSpaces(text);
    bool hex = digits.size() == 16;
    for (QChar c : digits)
        hex = hex && IsHex(c);
    if (!hex) {
        Fail(field, Quoted(text) + QStringLiteral(" is not 8 bytes in hexadecimal"));
        return false;
    }
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<uint8_t>(digits.mid(2 * i, 2).toUInt(nullptr, 16));
    return true;
}

void Parser::Raw(const QJsonValue& v, Scenario& s) {
    if (!v.isArray()) {
        Fail(QStringLiteral("raw"), QStringLiteral("expected an array, not ") + Describe(v));
        return;
    }
    const QJsonArray a = v.toArray();
    for (qsizetype i = 0; i < a.size() && !Failed(); ++i) {
        const QString at = QStringLiteral("raw[%1]").arg(i);
        if (!a[i].isObject()) {
            Fail(at, QStringLiteral("expected {\"address\": ..., \"bytes\": ...}, not ") +
                         Describe(a[i]));
            return;
        }
        const QJsonObject o = a[i].toObject();
        OnlyFields(o, at + QLatin1Char('.'), {QStringLiteral("address"), QStringLiteral("bytes")});
        Scenario::RawBlock b;
        if (Failed() ||
            !Address(o.value(QLatin1String("address")), at + QStringLiteral(".address"),
                     b.address) ||
            !Bytes(o.value(QLatin1String("bytes")), at + QStringLiteral(".bytes"), b.bytes))
            return;
        s.raw.push_back(b);
    }
}

void Parser::Faults(const QJsonValue& v, Scenario& s) {
    if (!v.isArray()) {
        Fail(QStringLiteral("faults"), QStringLiteral("expected an array, not ") + Describe(v));
        return;
    }
    const QJsonArray a = v.toArray();
    for (qsizetype i = 0; i < a.size() && !Failed(); ++i) {
        const QString at = QStringLiteral("faults[%1]").arg(i);
        QString text;
        if (!Text(a[i], at, text)) return;
        QString why;
        const std::optional<Fault> f = ParseFault(text, why);
        if (!f) {
            Fail(at, why);
            return;
        }
        s.faults.push_back(*f);
    }
}

void Parser::Top(const QJsonObject& o, Scenario& s) {
    OnlyFields(o, QString(),
               {"id", "present", "registrar", "guard", "stamp", "interval", "path", "memo", "clock",
                "battery", "keyContact", "events", "pointer", "overflow", "raw", "faults"});
    const auto has = [&](const char* f) { return !Failed() && o.contains(QLatin1String(f)); };
    const auto at = [&](const char* f) { return o.value(QLatin1String(f)); };
    qint64 n = 0;

    if (has("id")) Key(at("id"), QStringLiteral("id"), s.id);
    if (has("present")) Bool(at("present"), QStringLiteral("present"), s.present);
    if (has("registrar")) Key(at("registrar"), QStringLiteral("registrar"), s.registrar);
    if (has("guard")) Key(at("guard"), QStringLiteral("guard"), s.guard);
    if (has("stamp")) {
        QDateTime t;
        if (Time(at("stamp"), QStringLiteral("stamp"), true, t)) s.stamp = t;
    }
    if (has("interval") && Integer(at("interval"), QStringLiteral("interval"), 0, 255, n))
        s.interval = static_cast<int>(n);
    if (has("path")) Path(at("path"), s);
    if (has("memo") && Text(at("memo"), QStringLiteral("memo"), s.memo)) {
        QByteArray bytes;
        if (!EncodeMemo(s.memo, bytes))
            Fail(QStringLiteral("memo"),
                 QStringLiteral("must be at most 32 characters of the Windows-1251 code page"));
    }
    if (has("clock")) {
        if (at("clock").toString() != QLatin1String("now")) {
            QDateTime t;
            if (Time(at("clock"), QStringLiteral("clock"), true, t))
                s.clock = QDateTime(t.date(), t.time());  // the running clock is local time
        }
    }
    if (has("battery") && Integer(at("battery"), QStringLiteral("battery"), 0, 255, n))
        s.battery = static_cast<uint8_t>(n);
    if (has("keyContact")) Key(at("keyContact"), QStringLiteral("keyContact"), s.keyContact);
    if (has("events")) Events(at("events"), s);
    if (has("pointer") && Integer(at("pointer"), QStringLiteral("pointer"), 0, 0xFFFF, n))
        s.pointer = static_cast<uint16_t>(n);
    if (has("overflow") && Integer(at("overflow"), QStringLiteral("overflow"), 0, 255, n))
        s.overflow = static_cast<uint8_t>(n);
    if (has("raw")) Raw(at("raw"), s);
    if (has("faults")) Faults(at("faults"), s);
}

// Where the parser stopped, as a line and column of the text.
QString PlaceOf(const QByteArray& json, int offset) {
    const QByteArray before = json.left(offset);
    const int line = static_cast<int>(before.count('\n')) + 1;
    const int column = offset - static_cast<int>(before.lastIndexOf('\n'));
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

// Finds a key given twice in one object of a text that is valid JSON (the
// document keeps only one of them, so a typo'd copy would pass unnoticed).
class DuplicateKeys {
public:
    explicit DuplicateKeys(const QByteArray& json) : j_(json) {}

    // The first key given twice, as "field: given twice (line, column)"; empty for none.
    QString Find() {
        if (j_.startsWith("\xEF\xBB\xBF")) i_ = 3;
        Value(QString());
        return found_;
    }

private:
    bool Stop() const { return !found_.isEmpty() || broken_ || i_ >= j_.size(); }
    char At() const { return i_ < j_.size() ? j_[i_] : '\0'; }
    void Space() {
        while (i_ < j_.size() && (At() == ' ' || At() == '\t' || At() == '\n' || At() == '\r'))
            ++i_;
    }
    bool Expect(char c) {
        Space();
        if (At() != c) {
            broken_ = true;  // cannot happen after a successful parse; stop looking
            return false;
        }
        ++i_;
        return true;
    }

    void Value(const QString& field) {
        Space();
        if (Stop()) return;
        const char c = At();
        if (c == '{') {
            Object(field);
        } else if (c == '[') {
            Array(field);
        } else if (c == '"') {
            String();
        } else {
            const qsizetype start = i_;
            static constexpr std::string_view ends = ",]} \t\r\n";
            while (i_ < j_.size() && ends.find(At()) == std::string_view::npos)
                ++i_;
            broken_ = broken_ || i_ == start;
        }
    }

    void Object(const QString& field) {
        ++i_;
        Space();
        if (At() == '}') {
            ++i_;
            return;
        }
        QSet<QString> keys;
        const QString prefix = field.isEmpty() ? QString() : field + QLatin1Char('.');
        while (!Stop()) {
            Space();
            const qsizetype at = i_;
            if (At() != '"') {
                broken_ = true;
                return;
            }
            const QString key = String();
            if (keys.contains(key)) {
                found_ =
                    prefix + key +
                    QStringLiteral(": given twice (%1)").arg(PlaceOf(j_, static_cast<int>(at)));
                return;
            }
            keys.insert(key);
            if (!Expect(':')) return;
            Value(prefix + key);
            Space();
            if (At() == ',') {
                ++i_;
                continue;
            }
            Expect('}');
            return;
        }
    }

    void Array(const QString& field) {
        ++i_;
        Space();
        if (At() == ']') {
            ++i_;
            return;
        }
        for (int n = 0; !Stop(); ++n) {
            Value(field + QStringLiteral("[%1]").arg(n));
            Space();
            if (At() == ',') {
                ++i_;
                continue;
            }
            Expect(']');
            return;
        }
    }

    // The string at the cursor, its escapes decoded, so that "a" and "\u0061" are one key.
    QString String() {
        ++i_;
        QString out;
        qsizetype run = i_;
        while (i_ < j_.size() && At() != '"') {
            if (At() != '\\') {
                ++i_;
                continue;
            }
            out += QString::fromUtf8(j_.constData() + run, i_ - run);
            const char e = i_ + 1 < j_.size() ? j_[i_ + 1] : '\0';
            i_ += 2;
            switch (e) {
                case 'b':
                    out += QLatin1Char('\b');
                    break;
                case 'f':
                    out += QLatin1Char('\f');
                    break;
                case 'n':
                    out += QLatin1Char('\n');
                    break;
                case 'r':
                    out += QLatin1Char('\r');
                    break;
                case 't':
                    out += QLatin1Char('\t');
                    break;
                case 'u': {
                    bool ok = false;
                    const ushort unit = j_.mid(i_, 4).toUShort(&ok, 16);
                    if (!ok) {
                        broken_ = true;
                        return out;
                    }
                    out += QChar(unit);
                    i_ += 4;
                    break;
                }
                default:
                    out += QLatin1Char(e);
                    break;  // " \ /
            }
            run = i_;
        }
        out += QString::fromUtf8(j_.constData() + run, std::min(i_, j_.size()) - run);
        ++i_;  // the closing quote
        return out;
    }

    const QByteArray& j_;
    qsizetype i_ = 0;
    bool broken_ = false;
    QString found_;
};

constexpr int MaxFaultNumber = 1'000'000'000;
constexpr int MaxPartialBytes = 14;

}  // namespace

std::optional<Fault> ParseFault(const QString& text, QString& error) {
    static const struct {
        const char* name;
        FaultKind kind;
    } kinds[] = {
        {"silence", FaultKind::Silence},
        {"partial", FaultKind::Partial},
        {"bad-crc", FaultKind::BadCrc},
        {"wrong-echo", FaultKind::WrongEcho},
        {"bad-head", FaultKind::BadHead},
        {"status-zero", FaultKind::StatusZero},
        {"write-mismatch", FaultKind::WriteMismatch},
        {"stuck-counter", FaultKind::StuckCounter},
    };
    static const QRegularExpression form(
        QStringLiteral("^([a-z-]+)(?::([0-9]+))?(?:@([0-9]+))?(?:x([0-9]+|all))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) {
        error = Quoted(text) + QStringLiteral(" is not KIND[:BYTES][@FROM][xCOUNT]");
        return std::nullopt;
    }
    Fault f;
    bool known = false;
    QStringList names;
    for (const auto& k : kinds) {
        names << QLatin1String(k.name);
        if (m.captured(1) == QLatin1String(k.name)) {
            f.kind = k.kind;
            known = true;
        }
    }
    if (!known) {
        error = Quoted(m.captured(1)) + QStringLiteral(" is not a fault (") +
                names.join(QStringLiteral(", ")) + QLatin1Char(')');
        return std::nullopt;
    }
    const auto number = [&](int i, qint64 lo, qint64 hi, const char* what, qint64& out) {
        bool ok = false;
        out = m.captured(i).toLongLong(&ok);
        if (ok && out >= lo && out <= hi) return true;
        error = Quoted(text) + QStringLiteral(": %1 is a whole number from %2 to %3, not %4")
                                   .arg(QLatin1String(what))
                                   .arg(lo)
                                   .arg(hi)
                                   .arg(m.captured(i));
        return false;
    };
    qint64 n = 0;
    if (m.hasCaptured(2)) {
        if (f.kind != FaultKind::Partial) {
            error = Quoted(text) + QStringLiteral(": only a partial reply takes :BYTES");
            return std::nullopt;
        }
        if (!number(2, 0, MaxPartialBytes, "BYTES", n)) return std::nullopt;
        f.bytes = static_cast<int>(n);
    }
    if (m.hasCaptured(3)) {
        if (!number(3, 1, MaxFaultNumber, "FROM", n)) return std::nullopt;
        f.from = n;
    }
    if (m.captured(4) == QLatin1String("all")) {
        f.times = -1;
    } else if (m.hasCaptured(4)) {
        if (!number(4, 1, MaxFaultNumber, "COUNT", n)) return std::nullopt;
        f.times = static_cast<int>(n);
    }
    error.clear();
    return f;
}

bool EncodeMemo(const QString& text, QByteArray& cp1251) {
    QStringEncoder encoder("windows-1251");
    cp1251 = encoder.encode(text);
    return encoder.isValid() && !encoder.hasError() && cp1251.size() <= MemoBytes;
}

std::optional<Scenario> ParseScenario(const QByteArray& json, QString& error) {
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        error = PlaceOf(json, parse.offset) + QStringLiteral(": ") + parse.errorString();
        return std::nullopt;
    }
    if (!doc.isObject()) {
        error = QStringLiteral("a scenario is one JSON object {...}");
        return std::nullopt;
    }
    error = DuplicateKeys(json).Find();
    if (!error.isEmpty()) return std::nullopt;
    Parser parser;
    Scenario s;
    parser.Top(doc.object(), s);
    if (parser.Failed()) {
        error = parser.Error();
        return std::nullopt;
    }
    error.clear();
    return s;
}

std::optional<Scenario> LoadScenarioFile(const QString& path, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + QStringLiteral(": ") + file.errorString();
        return std::nullopt;
    }
    // A device or a huge file must not be read without end: one byte over
    // the limit is enough to refuse it.
    QByteArray json;
    while (json.size() <= MaxScenarioBytes) {
        const QByteArray chunk = file.read(MaxScenarioBytes + 1 - json.size());
        if (chunk.isEmpty()) break;
        json += chunk;
    }
    if (json.size() > MaxScenarioBytes) {
        error = path + QStringLiteral(": larger than %1 bytes, too large for a scenario")
                           .arg(MaxScenarioBytes);
        return std::nullopt;
    }
    if (file.error() != QFileDevice::NoError) {
        error = path + QStringLiteral(": ") + file.errorString();
        return std::nullopt;
    }
    std::optional<Scenario> s = ParseScenario(json, error);
    if (!s) error = path + QStringLiteral(": ") + error;
    return s;
}

void ApplyScenario(const Scenario& s, Collector& c, Reader& reader) {
    reader.SetCollectorPresent(s.present);
    reader.SetKeyContact(s.keyContact);

    c.SetId(s.id);
    c.SetRegistrar(s.registrar);
    c.SetGuard(s.guard);
    if (s.stamp)
        c.SetStamp(*s.stamp, s.interval);
    else
        c.SetRaw(Collector::AddrStamp, {0, 0, 0, 0, 0, static_cast<uint8_t>(s.interval), 0, 0});
    if (s.path)
        c.SetPath(s.path->id, s.path->mode);
    else
        c.ClearPath();
    QByteArray memo;
    EncodeMemo(s.memo, memo);
    c.SetMemo(memo.left(MemoBytes));
    if (s.clock) c.SetClock(*s.clock);  // otherwise it runs with the PC's time
    c.SetBattery(s.battery);

    c.SetPointer(0);
    c.SetOverflow(0);
    for (const Scenario::Event& e : s.events)
        c.Touch(e.key, e.time);
    if (s.pointer) c.SetPointer(*s.pointer);
    if (s.overflow) c.SetOverflow(*s.overflow);

    for (const Scenario::RawBlock& b : s.raw) {
        if (b.address == Collector::AddrClock) {
            // The clock block is made on every read: its bytes become a clock
            // that stands still and the counter.
            c.SetRawClock({b.bytes[0], b.bytes[1], b.bytes[2], b.bytes[3], b.bytes[4]});
            c.SetPointer(static_cast<uint16_t>(b.bytes[5] | (b.bytes[6] << 8)));
            c.SetOverflow(b.bytes[7]);
        } else {
            c.SetRaw(b.address, b.bytes);
        }
    }
    for (const Fault& f : s.faults)
        reader.Inject(f);
}

const DemoKeys& DemoKeyIds() {
    static const DemoKeys keys = [] {
        DemoKeys k;
        k.collector = TouchKeyText(0x00F4D2B1);
        k.registrar = TouchKeyText(0x00013A71);
        k.guard = TouchKeyText(0x00013A72);
        for (uint32_t p = 1; p <= 5; ++p)
            k.points << TouchKeyText(0x0003A000 + p);
        k.incident = TouchKeyText(0x0003B001);
        k.unknown = TouchKeyText(0x0003C0DE);
        return k;
    }();
    return keys;
}

namespace {

constexpr int DemoInterval = 10;
const int DemoPathId = 1;
const uint8_t DemoPathMode = 2;  // in the order of the path

// The demo collector as it was written by the program, without touches.
Scenario DemoHeader(const QDateTime& stamp) {
    const DemoKeys& k = DemoKeyIds();
    Scenario s;
    s.id = k.collector;
    s.registrar = k.registrar;
    s.guard = k.guard;
    s.stamp = stamp;
    s.interval = DemoInterval;
    s.path = Scenario::Path{DemoPathId, DemoPathMode};
    s.memo = QStringLiteral("Обход территории, смена 1");
    return s;
}

// The last whole minute before now, as a wall-clock value.
QDateTime LastMinute(const QDateTime& now) {
    const QTime t = now.time();
    return QDateTime(now.date(), QTime(t.hour(), t.minute()), Qt::UTC).addSecs(-60);
}

}  // namespace

Scenario DemoScenario(const QDateTime& now) {
    const DemoKeys& k = DemoKeyIds();
    const QDateTime dayStart(now.date(), QTime(0, 0), Qt::UTC);
    const QDateTime end = std::max(LastMinute(now), dayStart);
    const QDateTime start = std::max(end.addSecs(-8 * 3600), dayStart);

    // Seven rounds along the path; an incident is noted on the third, and
    // after the fifth the guard touches a key nobody has registered.
    QStringList keys;
    for (int round = 0; round < 7; ++round) {
        for (int p = 0; p < k.points.size(); ++p) {
            keys << k.points[p];
            if (round == 2 && p == 2) keys << k.incident;
        }
        if (round == 4) keys << k.unknown;
    }

    Scenario s = DemoHeader(start);
    const qint64 span = start.secsTo(end);
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QDateTime t = start.addSecs(span * i / (keys.size() - 1));
        s.events.push_back(
            {keys[i], QDateTime(t.date(), QTime(t.time().hour(), t.time().minute()), Qt::UTC)});
    }
    return s;
}

Scenario GeneratedScenario(qint64 events, const QDateTime& now) {
    const DemoKeys& k = DemoKeyIds();
    const QDateTime end = LastMinute(now);
    const qint64 n = std::max<qint64>(events, 0);
    Scenario s = DemoHeader(end.addSecs(-60 * n));
    // Touches older than the last full turn of the ring before the kept ones
    // would be overwritten anyway; starting at a multiple of the ring size
    // keeps every slot, the pointer and the flag as all n touches leave them.
    const qint64 first =
        n > Collector::Slots ? (n - Collector::Slots) / Collector::Slots * Collector::Slots : 0;
    s.events.reserve(static_cast<size_t>(n - first));
    for (qint64 i = first; i < n; ++i)
        s.events.push_back(
            {k.points[static_cast<int>(i % k.points.size())], end.addSecs(-60 * (n - 1 - i))});
    return s;
}

}  // namespace kordex::sim
