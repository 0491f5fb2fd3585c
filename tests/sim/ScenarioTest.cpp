#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <algorithm>

#include "Decode.h"
#include "link/Frames.h"
#include "link/KeyId.h"
#include "shell/Clock.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/Scenario.h"

using namespace kordex;
using simtest::DecodeMemo;
using simtest::DecodeStamp;
using simtest::DecodeTouch;
using simtest::EventSlots;
using simtest::SlotAddress;

namespace {

struct Answer {
    uint8_t status = 0;
    link::Block data{};
};

// One read exchange with the simulated reader, in-process.
Answer Ask(sim::Reader& reader, uint16_t address) {
    const sim::Bytes reply = reader.Answer(link::BuildRequest(link::CmdReadBlock, address, {}));
    Answer a;
    if (reply.size() != 15) {
        ADD_FAILURE() << "reply of " << reply.size() << " bytes";
        return a;
    }
    a.status = reply[2];
    std::copy(reply.begin() + 5, reply.begin() + 13, a.data.begin());
    return a;
}

link::Block Hex(const char* text) {
    const QByteArray b = QByteArray::fromHex(QByteArray(text));
    link::Block out{};
    std::copy(b.begin(), b.begin() + std::min<qsizetype>(b.size(), 8), out.begin());
    return out;
}

// A collector with its reader, on a clock that moves only when told.
struct Rig {
    explicit Rig(const QDateTime& now = QDateTime(QDate(2026, 3, 15), QTime(14, 30, 5)))
        : clock(1000, now), collector(clock), reader(collector) {}
    shell::FakeClock clock;
    sim::Collector collector;
    sim::Reader reader;
};

}  // namespace

TEST(ScenarioFile, RefusesBadInputNamingTheFieldAndWhy) {
    const char* key = "01000000001A2C37";
    struct Case {
        QByteArray json;
        QString error;  // the start of the message
    } cases[] = {
        {"{\"id\": \"0102\",", "line 1, column 15: "},
        {"[1, 2]", "a scenario is one JSON object"},
        {"{\"colour\": 1}", "colour: unknown field"},
        {"{\"id\": \"0102\"}", "id: \"0102\" is not a key ID"},
        {"{\"guard\": \"01000000001A2CZZ\"}", "guard: \"01000000001A2CZZ\" is not a key ID"},
        {"{\"registrar\": 5}", "registrar: expected a text, not 5"},
        {"{\"present\": \"yes\"}", "present: expected true or false, not \"yes\""},
        {"{\"stamp\": \"15.03.2026 14:30\"}", "stamp: expected \"dd.mm.yyyy hh:mm:ss\""},
        {"{\"stamp\": \"30.02.2026 14:30:00\"}", "stamp: \"30.02.2026 14:30:00\" is no date"},
        {"{\"stamp\": \"15.03.2026 24:00:00\"}", "stamp: \"15.03.2026 24:00:00\" is no date"},
        {"{\"interval\": 256}", "interval: expected a whole number from 0 to 255, not 256"},
        {"{\"interval\": 1.5}", "interval: expected a whole number from 0 to 255, not 1.5"},
        {"{\"path\": 1}", "path: expected {\"id\": N, \"mode\": 0..2} or null"},
        {"{\"path\": {\"id\": 1, \"mode\": 3}}", "path.mode: expected a whole number from 0 to 2"},
        {"{\"path\": {\"mode\": 1}}", "path.id: missing"},
        {"{\"path\": {\"id\": 1, \"mode\": 1, \"name\": \"x\"}}", "path.name: unknown field"},
        {"{\"path\": {\"id\": 2147483648, \"mode\": 1}}", "path.id: expected a whole number"},
        {"{\"memo\": \"日本\"}", "memo: must be at most 32 characters of the Windows-1251"},
        {"{\"memo\": \"Абвгдежзийклмнопрстуфхцчшщъыьэюя!\"}", "memo: must be at most 32"},
        {"{\"clock\": \"tomorrow\"}", "clock: expected \"dd.mm.yyyy hh:mm:ss\""},
        {"{\"battery\": -1}", "battery: expected a whole number from 0 to 255, not -1"},
        {"{\"keyContact\": true}", "keyContact: expected a text, not true"},
        {"{\"events\": {}}", "events: expected an array, not an object"},
        {"{\"events\": [7]}", "events[0]: expected {\"key\": ..., \"time\": ...}, not 7"},
        {"{\"events\": [{\"key\": \"\", \"time\": \"15.03.2026 14:30\"}]}",
         "events[0].key: a touch needs a key"},
        {QStringLiteral("{\"events\": [{\"key\": \"%1\", \"time\": \"15.03.2026 14:30\"},"
                        " {\"key\": \"%1\", \"time\": \"15.03.2026 14:31:00\"}]}")
             .arg(key)
             .toUtf8(),
         "events[1].time: expected \"dd.mm.yyyy hh:mm\""},
        {QStringLiteral("{\"events\": [{\"key\": \"%1\"}]}").arg(key).toUtf8(),
         "events[0].time: expected a text"},
        {"{\"events\": [{\"key\": \"1\", \"when\": 0}]}", "events[0].when: unknown field"},
        {"{\"pointer\": 65536}", "pointer: expected a whole number from 0 to 65535"},
        {"{\"overflow\": \"1\"}", "overflow: expected a whole number from 0 to 255"},
        {"{\"raw\": [{\"address\": \"0x1F91\", \"bytes\": \"0000000000000000\"}]}",
         "raw[0].address: \"0x1F91\" is not a block address"},
        {"{\"raw\": [{\"address\": \"1F90\", \"bytes\": \"0000000000000000\"}]}",
         "raw[0].address: \"1F90\" is not a block address"},
        {"{\"raw\": [{\"address\": \"0x2008\", \"bytes\": \"0000000000000000\"}]}",
         "raw[0].address: \"0x2008\" is answered by the reader itself"},
        {"{\"raw\": [{\"address\": 8, \"bytes\": \"55 55\"}]}",
         "raw[0].bytes: \"55 55\" is not 8 bytes in hexadecimal"},
        {"{\"raw\": [{\"address\": 8}]}", "raw[0].bytes: expected a text"},
        {"{\"id\": \"\", \"id\": \"\"}", "id: given twice (line 1, column 12)"},
        {"{\"path\": {\"id\": 1,\n\"mode\": 1, \"id\": 2}}",
         "path.id: given twice (line 2, column 12)"},
        {"{\"events\": [{}, {\"key\": \"1\", \"time\": \"t\", \"key\": \"2\"}]}",
         "events[1].key: given twice"},
        {"{\"memo\": \"a\", \"\\u006demo\": \"b\"}", "memo: given twice"},
        {"{\"faults\": \"silence\"}", "faults: expected an array, not \"silence\""},
        {"{\"faults\": [1]}", "faults[0]: expected a text, not 1"},
        {"{\"faults\": [\"silence\", \"hum\"]}", "faults[1]: \"hum\" is not a fault"},
    };
    for (const Case& c : cases) {
        QString error;
        const auto s = sim::ParseScenario(c.json, error);
        EXPECT_FALSE(s.has_value()) << c.json.constData();
        EXPECT_TRUE(error.startsWith(c.error))
            << c.json.constData() << "\n  gave: " << error.toStdString();
    }

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString error;
    const QString missing = dir.filePath(QStringLiteral("none.json"));
    EXPECT_FALSE(sim::LoadScenarioFile(missing, error).has_value());
    EXPECT_TRUE(error.startsWith(missing + QStringLiteral(": "))) << error.toStdString();
}

// Each scenario shows in the block the reader answers, as the collector
// would hold it.
TEST(ScenarioFile, EveryFieldShowsInTheBlockTheReaderAnswers) {
    const QByteArray touches =
        "\"events\": [{\"key\": \"01000000001A2C37\", \"time\": \"15.03.2026 14:30\"},"
        " {\"key\": \"0100000000ABCDEF\", \"time\": \"15.03.2026 14:31\"},"
        " {\"key\": \"0100000000ABCDEF\", \"time\": \"15.03.2026 14:32\"}]";
    struct Case {
        QByteArray json;
        uint16_t address;
        uint32_t advanceMs;  // after loading, before the read
        uint8_t status;
        const char* data;
    } cases[] = {
        {"{}", 0x0000, 0, 1, "0000000000000000"},
        {"{\"id\": \"01 00 00 00 fb d8 b3 e6\"}", 0x0000, 0, 1, "01B3D8FB000000E6"},
        {"{\"registrar\": \"81FEDCBA98765432\"}", 0x1F78, 0, 1, "81547698BADCFE32"},
        {"{\"guard\": \"\"}", 0x1F88, 0, 1, "0000000000000000"},
        {"{\"interval\": 42}", 0x1F80, 0, 1, "00000000002A0000"},
        {"{\"stamp\": \"29.02.2028 23:59:58\", \"interval\": 255}", 0x1F80, 0, 1,
         "5859232922FF0000"},
        {"{\"path\": {\"id\": -2, \"mode\": 1}}", 0x1F90, 0, 1, "FEFFFFFF01555555"},
        {"{\"path\": null}", 0x1F90, 0, 1, "55555555FF555555"},
        {"{\"memo\": \"Пост №1\"}", 0x1F50, 0, 1, "CFEEF1F220B93100"},
        {"{\"memo\": \"Пост №1\"}", 0x1F58, 0, 1, "0020202020202020"},
        {"{\"clock\": \"15.03.2026 14:30:05\"}", 0x1F48, 60000, 1, "05311495C3000000"},
        {"{\"clock\": \"now\"}", 0x1F48, 0, 1, "05301495C3000000"},
        {"{\"raw\": [{\"address\": \"0x1F48\", \"bytes\": \"59 59 23 31 12 05 00 01\"}]}", 0x1F48,
         60000, 1, "5959233112050001"},
        {"{" + touches + "}", 0x1F48, 0, 1, "05301495C3030000"},
        {"{" + touches + ", \"pointer\": 1, \"overflow\": 1}", 0x1F48, 0, 1, "05301495C3010001"},
        {"{" + touches + "}", 0x0008, 0, 1, "2C1A0000301495C3"},
        {"{" + touches + "}", 0x0018, 0, 1, "CDAB0000321495C3"},
        {"{" + touches + ", \"raw\": [{\"address\": 8, \"bytes\": \"0102030405060708\"}]}", 0x0008,
         0, 1, "0102030405060708"},
        {"{\"battery\": 143}", 0x2008, 0, 1, "8F00000000000000"},
        {"{\"keyContact\": \"0100000000123456\"}", 0x2000, 0, 1, "0134120000000056"},
        {"{}", 0x2000, 0, 0, "0000000000000000"},
        {"{\"present\": false, \"id\": \"01000000FBD8B3E6\"}", 0x0000, 0, 0, "0000000000000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.constData());
        QString error;
        const auto s = sim::ParseScenario(c.json, error);
        ASSERT_TRUE(s.has_value()) << error.toStdString();
        Rig rig;
        sim::ApplyScenario(*s, rig.collector, rig.reader);
        rig.clock.Advance(c.advanceMs);
        const Answer a = Ask(rig.reader, c.address);
        EXPECT_EQ(a.status, c.status);
        EXPECT_EQ(a.data, Hex(c.data));
    }
}

namespace {

void ExpectGenuineTouchKey(const QString& key) {
    EXPECT_EQ(key.size(), 16) << key.toStdString();
    EXPECT_TRUE(key.startsWith(QLatin1String("010000"))) << key.toStdString();
    EXPECT_TRUE(link::KeyIdCrcError(key).isEmpty()) << key.toStdString();
}

// The events of a collector as the program reads them: slots in ring order,
// each year rebuilt from the touch before, the first from the stamp.
std::vector<simtest::Touch> ReadEvents(sim::Reader& reader, const QDateTime& stamp) {
    std::vector<simtest::Touch> touches;
    QDateTime before = stamp;
    for (int slot : EventSlots(Ask(reader, sim::Collector::AddrClock).data)) {
        touches.push_back(DecodeTouch(Ask(reader, SlotAddress(slot)).data, before));
        before = touches.back().time;
    }
    return touches;
}

}  // namespace

TEST(DemoCollector, OneShiftOfThisDayAlongPathOneWithAnIncidentAndAnUnknownKey) {
    const sim::DemoKeys& k = sim::DemoKeyIds();
    for (const QString& key :
         QStringList{k.collector, k.registrar, k.guard, k.incident, k.unknown} + k.points)
        ExpectGenuineTouchKey(key);
    EXPECT_EQ(k.points.size(), 5);
    QStringList all =
        QStringList{k.collector, k.registrar, k.guard, k.incident, k.unknown} + k.points;
    EXPECT_EQ(all.removeDuplicates(), 0);

    const QDate day(2026, 3, 15);
    for (const QTime& t : {QTime(14, 30, 5), QTime(0, 0, 30), QTime(0, 45), QTime(23, 59, 59)}) {
        SCOPED_TRACE(t.toString().toStdString());
        const QDateTime now(day, t);
        Rig rig(now);
        sim::ApplyScenario(sim::DemoScenario(now), rig.collector, rig.reader);

        EXPECT_EQ(link::KeyIdToText(Ask(rig.reader, 0x0000).data), k.collector);
        EXPECT_EQ(link::KeyIdToText(Ask(rig.reader, 0x1F78).data), k.registrar);
        EXPECT_EQ(link::KeyIdToText(Ask(rig.reader, 0x1F88).data), k.guard);
        const link::Block path = Ask(rig.reader, 0x1F90).data;
        EXPECT_EQ(simtest::PathId(path), 1);
        EXPECT_EQ(path[4], 2);
        const QString memo =
            DecodeMemo({Ask(rig.reader, 0x1F50).data, Ask(rig.reader, 0x1F58).data,
                        Ask(rig.reader, 0x1F60).data, Ask(rig.reader, 0x1F68).data});
        EXPECT_TRUE(std::any_of(memo.begin(), memo.end(), [](QChar c) {
            return c.script() == QChar::Script_Cyrillic;
        })) << memo.toStdString();
        EXPECT_EQ(Ask(rig.reader, 0x2008).data[0], 100);
        const link::Block stampBlock = Ask(rig.reader, 0x1F80).data;
        EXPECT_GT(stampBlock[5], 0);  // an interval is set
        const QDateTime stamp = DecodeStamp(stampBlock, now);
        const link::Block counter = Ask(rig.reader, 0x1F48).data;
        EXPECT_EQ(counter[7], 0);

        const std::vector<simtest::Touch> touches = ReadEvents(rig.reader, stamp);
        ASSERT_GE(touches.size(), 30u);
        ASSERT_LE(touches.size(), 40u);
        const QDateTime wallNow(day, t, Qt::UTC);
        QMap<QString, int> count;
        QStringList pointOrder;
        QDateTime previous = stamp;
        for (const simtest::Touch& touch : touches) {
            ExpectGenuineTouchKey(touch.key);
            EXPECT_EQ(touch.time.date(), day);
            EXPECT_LE(touch.time, wallNow);
            EXPECT_GE(touch.time, previous);
            previous = touch.time;
            ++count[touch.key];
            if (k.points.contains(touch.key)) pointOrder << touch.key;
        }
        EXPECT_EQ(count.size(), 7);
        EXPECT_EQ(count.value(k.incident), 1);
        EXPECT_EQ(count.value(k.unknown), 1);
        for (const QString& p : k.points)
            EXPECT_GE(count.value(p), 5);
        // Mode 2: the points are walked in the path's order, round after round.
        for (int i = 0; i < pointOrder.size(); ++i)
            EXPECT_EQ(pointOrder[i], k.points[i % k.points.size()]) << i;
    }
}

TEST(GeneratedCollector, RingHoldsTheLastTouchesOneAMinuteUpToNow) {
    const QDateTime now(QDate(2026, 1, 1), QTime(0, 20, 30));  // the ring reaches back a year
    const QDateTime lastMinute(QDate(2026, 1, 1), QTime(0, 19), Qt::UTC);
    const sim::DemoKeys& k = sim::DemoKeyIds();
    struct Case {
        qint64 events;
        int pointer;
        uint8_t overflow;
    } cases[] = {{0, 0, 0},      {1, 1, 0},    {999, 999, 0}, {1000, 0, 1},   {1003, 3, 1},
                 {1999, 999, 1}, {2000, 0, 1}, {2001, 1, 1},  {2500, 500, 1}, {123457, 457, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.events);
        Rig rig(now);
        const sim::Scenario s = sim::GeneratedScenario(c.events, now);
        EXPECT_LT(s.events.size(), 2000u);
        sim::ApplyScenario(s, rig.collector, rig.reader);
        const link::Block counter = Ask(rig.reader, 0x1F48).data;
        EXPECT_EQ(simtest::Pointer(counter), c.pointer);
        EXPECT_EQ(counter[7], c.overflow);

        const QDateTime stamp = DecodeStamp(Ask(rig.reader, 0x1F80).data, now);
        const std::vector<simtest::Touch> touches = ReadEvents(rig.reader, stamp);
        const qint64 kept = std::min<qint64>(c.events, 1000);
        ASSERT_EQ(static_cast<qint64>(touches.size()), kept);
        EXPECT_LT(stamp, touches.empty() ? lastMinute.addSecs(60) : touches.front().time);
        for (qint64 j = 0; j < kept; ++j) {
            const qint64 index = c.events - kept + j;  // which touch of all made
            EXPECT_EQ(touches[j].key, k.points[static_cast<int>(index % 5)]) << j;
            EXPECT_EQ(touches[j].time, lastMinute.addSecs(-60 * (kept - 1 - j))) << j;
        }
    }
}

TEST(ScenarioFile, KeysOfOneNameInDifferentObjectsAreNoDuplicates) {
    QString error;
    const auto s = sim::ParseScenario(R"({"path": {"id": 1, "mode": 1},
        "raw": [{"address": 8, "bytes": "0000000000000000"},
                {"address": 16, "bytes": "0000000000000000"}],
        "memo": "a\"b", "id": "", "a\"b": 1})",
                                      error);
    EXPECT_FALSE(s.has_value());  // only the unknown field is wrong
    EXPECT_EQ(error, "a\"b: unknown field");
}

// A file one byte over the limit is refused, one at the limit is read.
TEST(ScenarioFile, FilesOverTheLimitAreRefused) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const qint64 size : {sim::MaxScenarioBytes, sim::MaxScenarioBytes + 1}) {
        const QString path = dir.filePath(QStringLiteral("big.json"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QByteArray json(size - 14, ' ');
        json += "{\"battery\": 7}";
        ASSERT_EQ(f.write(json), size);
        f.close();
        QString error;
        const auto s = sim::LoadScenarioFile(path, error);
        if (size <= sim::MaxScenarioBytes) {
            ASSERT_TRUE(s.has_value()) << error.toStdString();
            EXPECT_EQ(s->battery, 7);
        } else {
            EXPECT_FALSE(s.has_value());
            EXPECT_EQ(error, path + QStringLiteral(": larger than 4194304 bytes, too large for a "
                                                   "scenario"));
        }
    }
}

TEST(ScenarioFile, FaultTextsGiveTheirFaultOrSayWhatIsWrong) {
    using sim::FaultKind;
    const auto fault = [](FaultKind k, int times, qint64 from, int bytes = 8) {
        sim::Fault f(k, times, std::nullopt, bytes);
        f.from = from;
        return f;
    };
    const struct {
        const char* text;
        std::optional<sim::Fault> fault;
        const char* error;
    } cases[] = {
        {"silence", fault(FaultKind::Silence, 1, 1), ""},
        {"partial", fault(FaultKind::Partial, 1, 1, 8), ""},
        {"partial:0@3x2", fault(FaultKind::Partial, 2, 3, 0), ""},
        {"bad-crc@1000000000xall", fault(FaultKind::BadCrc, -1, 1000000000), ""},
        {"wrong-echo x2", std::nullopt, "\"wrong-echo x2\" is not KIND[:BYTES][@FROM][xCOUNT]"},
        {"bad-head@7", fault(FaultKind::BadHead, 1, 7), ""},
        {"status-zero", fault(FaultKind::StatusZero, 1, 1), ""},
        {"write-mismatchx3", fault(FaultKind::WriteMismatch, 3, 1), ""},
        {"stuck-counter@2", fault(FaultKind::StuckCounter, 1, 2), ""},
        {"Silence", std::nullopt, "\"Silence\" is not KIND"},
        {"noise", std::nullopt, "\"noise\" is not a fault (silence, partial, bad-crc, "},
        {"bad-crc:3", std::nullopt, "\"bad-crc:3\": only a partial reply takes :BYTES"},
        {"partial:15", std::nullopt, "\"partial:15\": BYTES is a whole number from 0 to 14"},
        {"silence@0", std::nullopt, "\"silence@0\": FROM is a whole number from 1 to "},
        {"silence@1000000001", std::nullopt, "FROM is a whole number from 1 to 1000000000"},
        {"silencex0", std::nullopt, "\"silencex0\": COUNT is a whole number from 1 to"},
        {"silencex99999999999999999999", std::nullopt, "COUNT is a whole number"},
        {"silence@-1", std::nullopt, "is not KIND"},
        {"", std::nullopt, "\"\" is not KIND"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QString error;
        const std::optional<sim::Fault> f = sim::ParseFault(QString::fromUtf8(c.text), error);
        EXPECT_EQ(f, c.fault);
        if (c.fault)
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        else
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.error))) << error.toStdString();
    }
}

// Each fault of a scenario, from the reader's second request on, for two:
// requests 1 and 4 are answered right, 2 and 3 as the fault has it.
TEST(ScenarioFile, FaultsActFromTheirRequestForTheirCount) {
    const auto plain = [](const sim::Bytes& r) {
        return r.size() == 15 && r[0] == 0xA2 && r[2] == 1 && r[3] == 0x88 &&
               r[13] == sim::Reader::Crc8(r.data(), 13);
    };
    const struct {
        const char* fault;
        bool (*faulty)(const sim::Bytes&);
    } cases[] = {
        {"silence", [](const sim::Bytes& r) { return r.empty(); }},
        {"partial:5", [](const sim::Bytes& r) { return r.size() == 5 && r[0] == 0xA2; }},
        {"bad-crc",
         [](const sim::Bytes& r) {
             return r.size() == 15 && r[13] != sim::Reader::Crc8(r.data(), 13);
         }},
        {"wrong-echo",
         [](const sim::Bytes& r) {
             return r.size() == 15 && r[3] != 0x88 && r[13] == sim::Reader::Crc8(r.data(), 13);
         }},
        {"bad-head",
         [](const sim::Bytes& r) {
             return r.size() == 15 && r[0] != 0xA2 && r[13] == sim::Reader::Crc8(r.data(), 13);
         }},
        {"status-zero", [](const sim::Bytes& r) { return r.size() == 15 && r[2] == 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        QString error;
        const auto s = sim::ParseScenario(
            QStringLiteral(R"({"guard": "01000000013A727D", "faults": ["%1@2x2"]})")
                .arg(QString::fromUtf8(c.fault))
                .toUtf8(),
            error);
        ASSERT_TRUE(s.has_value()) << error.toStdString();
        Rig rig;
        sim::ApplyScenario(*s, rig.collector, rig.reader);
        for (int request = 1; request <= 4; ++request) {
            const sim::Bytes r =
                rig.reader.Answer(link::BuildRequest(link::CmdReadBlock, 0x1F88, {}));
            const bool faultyOne = request == 2 || request == 3;
            EXPECT_TRUE(faultyOne ? c.faulty(r) : plain(r)) << "request " << request;
        }
        EXPECT_EQ(rig.reader.FaultsActed(), 2);
    }
}
